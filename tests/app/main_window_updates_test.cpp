// The main window's update check: which kinds are due at start, on a scheduler tick and on "Check Now",
// the updates window's settings copied in and back, the time of the last check and its settings write.
#include "app/main_window/main_window.h"
#include "tests/app/app_fixture.h"
#include "tests/support/http_server.h"
#include "tests/support/seams.h"
#include "updates/update_texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// 31 December 2025, midnight; the last check is stored as a date, so it counts from midnight.
constexpr double Dec31 = 46022;
const char* const Dec30 = "12/30/2025";

// Offers update 2.0.0.3 and upgrade 3.0.0.0 to the running 2.0.0.0.
const char* const Feed = "<versions>"
                         "<version major=\"2\" minor=\"0\" release=\"0\" build=\"3\"></version>"
                         "<version major=\"3\" minor=\"0\" release=\"0\" build=\"0\"></version>"
                         "</versions>";

class UpdateCheckTest : public MainWindowTest {
protected:
    UpdateCheckTest() {
        m_server.Serve("brimvale/updates.xml", Feed);
        UseFeed("/brimvale/updates.xml");
    }

    void UseFeed(const std::string& path) {
        // The variable goes back to what it was before the new value is set.
        m_feed.reset();
        m_feed = std::make_unique<ScopedEnv>("BRIMVALE_UPDATE_FEED", m_server.Url(path));
    }
    void SetNow(double now) {
        m_clock.reset();
        m_clock.emplace(now);
    }
    void WriteSettings(bool updates, int updateInterval, bool upgrades, int upgradeInterval) {
        WriteFile(SettingsFile(), "[Updates]\nAutoCheckUpdates=" + std::to_string(updates) +
                                      "\nAutoCheckUpdateInterval=" + std::to_string(updateInterval) +
                                      "\nAutoCheckUpgrades=" + std::to_string(upgrades) +
                                      "\nAutoCheckUpgradeInterval=" + std::to_string(upgradeInterval) +
                                      "\nLastUpdateCheck=" + Dec30 + "\n");
    }

    // Answers the next updates window: records what its two panels say, runs Act, closes it.
    void AnswerUpdatesWindow(const std::function<void(QDialog&)>& act = {}) {
        m_dialogs.dialogAnswers.push_back([this, act](QDialog& dialog) {
            m_panels.push_back(Find<QLabel>(&dialog, "lblUpdateText")->text().toStdString() + " | " +
                               Find<QLabel>(&dialog, "lblUpgradeText")->text().toStdString());
            if (act)
                act(dialog);
            return ClickButton("cmdClose")(dialog);
        });
    }

    const ScopedSeams m_seams;
    std::optional<ScopedClock> m_clock;
    HttpTestServer m_server;
    std::unique_ptr<ScopedEnv> m_feed;
    std::vector<std::string> m_panels;
};

std::string Panels(const char* updates, const char* upgrades) {
    return std::string(updates) + " | " + upgrades;
}

TEST_F(UpdateCheckTest, TheStartCheckTakesTheKindsWhoseIntervalIsDue) {
    using namespace update_texts;
    const std::string both = Panels(UpdateAvailable, UpgradeAvailable);
    const struct {
        const char* name;
        bool updates;
        int updateInterval;
        bool upgrades;
        int upgradeInterval;
        double sinceLastCheck; // days since midnight of the stored date
        std::string panels;    // empty: no check
    } cases[] = {
        {"both at startup", true, 0, true, 0, 0.5, both},
        {"a day less a moment", true, 1, true, 2, 0.999, ""},
        {"a whole day", true, 1, true, 2, 1.0, Panels(UpdateAvailable, UpgradesNotChecked)},
        {"seven days", false, 1, true, 2, 7.0, Panels(UpdatesNotChecked, UpgradeAvailable)},
        {"fifteen and thirty days", true, 3, true, 4, 15.0, Panels(UpdateAvailable, UpgradesNotChecked)},
        {"thirty days", true, 3, true, 4, 30.0, both},
        {"boxes cleared", false, 0, false, 1, 40.0, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        m_panels.clear();
        WriteSettings(row.updates, row.updateInterval, row.upgrades, row.upgradeInterval);
        const double now = Dec31 - 1 + row.sinceLastCheck;
        SetNow(now);
        if (!row.panels.empty())
            AnswerUpdatesWindow();
        auto window = Window();
        EXPECT_EQ(m_panels,
                  row.panels.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.panels});
        // Only a check moves the time of the last one and writes it.
        EXPECT_EQ(window->AppSettings().LastUpdateCheck, row.panels.empty() ? Dec31 - 1 : now);
        m_dialogs.dialogAnswers.clear();
    }
}

TEST_F(UpdateCheckTest, ATickChecksByIntervalButNeverAtStartupAndNotDuringACheck) {
    const ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "50");
    SetNow(Dec31 + 0.25);
    WriteSettings(true, 0, true, 0);
    AnswerUpdatesWindow();
    auto window = Window();
    ASSERT_EQ(m_panels.size(), 1u);
    // "at startup" is not due on a tick.
    WaitForTicks(window->findChild<QTimer*>("timMain"), 10);
    EXPECT_EQ(m_panels.size(), 1u);

    // "every day" is due on the next tick once a day has passed; the ticks served while its window is
    // open find the check running and return.
    Find<QComboBox>(window.get(), "cboUpdates")->setCurrentIndex(1);
    SetNow(Dec31 + 1.25);
    AnswerUpdatesWindow([&window](QDialog&) { WaitForTicks(window->findChild<QTimer*>("timMain"), 10); });
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_panels.size() == 2; }, 30000));
    EXPECT_EQ(m_panels[1], Panels(update_texts::UpdateAvailable, update_texts::UpgradesNotChecked));
    WaitForTicks(window->findChild<QTimer*>("timMain"), 6);
    EXPECT_EQ(m_panels.size(), 2u);
    EXPECT_EQ(window->AppSettings().LastUpdateCheck, Dec31 + 1.25);
}

TEST_F(UpdateCheckTest, CheckNowChecksBothKindsAndShowsTheWindowAlsoWhenTheCheckFailed) {
    SetNow(Dec31 + 0.5);
    WriteSettings(false, 0, false, 0);
    auto window = Window();
    window->show();
    AnswerUpdatesWindow();
    Click(window.get(), "cmdCheckUpdates");
    ASSERT_EQ(m_panels.size(), 1u);
    EXPECT_EQ(m_panels[0], Panels(update_texts::UpdateAvailable, update_texts::UpgradeAvailable));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A check that got no feed says so, with the client's reason, rather than that nothing is new.
    const struct {
        const char* name;
        std::string feed;
        std::string reason;
    } failures[] = {
        {"a status", m_server.Url("/status/404"), "HTTP/1.1 404 Not Found"},
        {"no server", "http://127.0.0.1:1/updates.xml", "Failed to connect to 127.0.0.1 port 1"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        m_panels.clear();
        const ScopedEnv feed("BRIMVALE_UPDATE_FEED", failure.feed);
        AnswerUpdatesWindow();
        Click(window.get(), "cmdCheckUpdates");
        ASSERT_EQ(m_panels.size(), 1u);
        EXPECT_EQ(m_panels[0].rfind(std::string(update_texts::UpdateCheckFailed) + failure.reason, 0), 0u)
            << m_panels[0];
        EXPECT_NE(m_panels[0].find(std::string(" | ") + update_texts::UpgradeCheckFailed + failure.reason),
                  std::string::npos)
            << m_panels[0];
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(UpdateCheckTest, TheWindowsSettingsComeFromThePageAndGoBackToItAndTheFile) {
    SetNow(Dec31 + 0.5);
    WriteSettings(true, 2, false, 3);
    auto window = Window();
    window->show();
    AnswerUpdatesWindow([](QDialog& dialog) {
        auto* updates = Find<QCheckBox>(&dialog, "chkAutoCheckUpdates");
        auto* upgrades = Find<QCheckBox>(&dialog, "chkAutoCheckUpgrades");
        EXPECT_TRUE(updates->isChecked());
        EXPECT_EQ(Find<QComboBox>(&dialog, "cboUpdatesInterval")->currentIndex(), 2);
        EXPECT_FALSE(upgrades->isChecked());
        EXPECT_EQ(Find<QComboBox>(&dialog, "cboUpgradesInterval")->currentIndex(), 3);
        EXPECT_FALSE(Find<QComboBox>(&dialog, "cboUpgradesInterval")->isEnabled());
        updates->click();
        upgrades->click();
        Find<QComboBox>(&dialog, "cboUpgradesInterval")->setCurrentIndex(4);
    });
    Click(window.get(), "cmdCheckUpdates");
    ASSERT_EQ(m_panels.size(), 1u);
    EXPECT_FALSE(Find<QCheckBox>(window.get(), "chkUpdates")->isChecked());
    EXPECT_FALSE(Find<QComboBox>(window.get(), "cboUpdates")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>(window.get(), "chkUpgrades")->isChecked());
    EXPECT_TRUE(Find<QComboBox>(window.get(), "cboUpgrades")->isEnabled());
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboUpgrades")->currentIndex(), 4);
    EXPECT_EQ(Stored("AutoCheckUpdates", "Updates"), "0");
    EXPECT_EQ(Stored("AutoCheckUpgrades", "Updates"), "1");
    EXPECT_EQ(Stored("AutoCheckUpgradeInterval", "Updates"), "4");
    EXPECT_EQ(Stored("LastUpdateCheck", "Updates"), "12/31/2025");
}

TEST_F(UpdateCheckTest, AFailedAutomaticCheckStillMovesTheLastCheck) {
    UseFeed("/status/500");
    SetNow(Dec31 + 0.5);
    WriteSettings(true, 1, true, 2);
    auto window = Window();
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());
    EXPECT_EQ(window->AppSettings().LastUpdateCheck, Dec31 + 0.5);
    EXPECT_EQ(Stored("LastUpdateCheck", "Updates"), "12/31/2025");
}

} // namespace

namespace {

// A clock that ran a year ahead moved the last check into the future; once the clock is right again,
// the interval counts from long ago instead of waiting for that date.
TEST_F(UpdateCheckTest, ALastCheckDatedInTheFutureCountsAsLongAgo) {
    const ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "50");
    WriteSettings(true, 1, false, 0);
    SetNow(Dec31 + 365.5);
    AnswerUpdatesWindow();
    auto window = Window();
    ASSERT_EQ(m_panels.size(), 1u);
    ASSERT_EQ(window->AppSettings().LastUpdateCheck, Dec31 + 365.5);

    SetNow(Dec31 + 0.5);
    AnswerUpdatesWindow();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_panels.size() == 2; }, 10000));
    EXPECT_EQ(window->AppSettings().LastUpdateCheck, Dec31 + 0.5);
}

// Exit while the start-up check waits for a feed that never answers: the program ends, the request is
// cancelled, and no updates window shows afterwards.
TEST_F(UpdateCheckTest, ExitDuringTheStartUpCheckEndsTheProgram) {
    UseFeed("/silent");
    WriteFile(SettingsFile(), "[Application]\nPromptBeforeExit=0\n[Updates]\nAutoCheckUpdates=1\n"
                              "AutoCheckUpdateInterval=0\n");
    TMainWindowOptions options;
    options.SystemTray = true;
    TfrmMain window(options);
    QObject::connect(&window, &TfrmMain::ProgramEnded, [this] { ++m_ended; });
    window.show();
    // The user's click arrives while the feed is awaited.
    QTimer::singleShot(200, &window, [&window] { Click(&window, "cmdExit"); });
    QElapsedTimer started;
    started.start();
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    EXPECT_EQ(m_ended, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());
    // The feed's own time limit is 30 s; a cancelled request ends within about a second.
    EXPECT_LT(started.elapsed(), 15000);
}

} // namespace
