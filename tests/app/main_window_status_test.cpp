// Starting and watching runs on the Status page: a real run from Backup Now, the slot's texts, five
// slots and a sixth due profile, a refused start, aborting, a failed run, and the scheduler's tick.
#include "engine/backup_profile.h"
#include "engine/backup_thread.h"
#include "engine/helpers.h"
#include "platform/clock.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"
#include "tests/app/app_fixture.h"
#include "tests/support/seams.h"

#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::WriteFile;

namespace {

// Holds every run at the opening of a source file below Folder until Open, so that a test can look at
// a slot while its run goes on.
class ReadGate {
public:
    explicit ReadGate(std::string folder)
        : m_folder(std::move(folder)), m_hook([this](platform::FaultOp op, const std::string& path) {
              if (op == platform::FaultOp::OpenRead && path.rfind(m_folder, 0) == 0) {
                  ++m_waiting;
                  while (!m_open)
                      std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
              return 0;
          }) {}
    ~ReadGate() { Open(); }
    void Open() { m_open = true; }
    int Waiting() const { return m_waiting; }

private:
    std::string m_folder;
    std::atomic<bool> m_open{false};
    std::atomic<int> m_waiting{0};
    // Last: removed before the state it reads goes.
    testing_support::ScopedFaultHook m_hook;
};

// From now on the system refuses every new thread of this process, as it does for a user at the limit
// of their processes: the test process becomes an unprivileged user of its own (the limit never holds
// for root), whose limit is the number of threads it has now. Its folder is handed over to that user
// first. Lift raises the limit again; the user stays.
class ThreadRefusal {
public:
    explicit ThreadRefusal(const std::string& folder) {
        const uid_t user = 200000 + static_cast<uid_t>(::getpid() % 100000);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            EXPECT_EQ(::lchown(entry.path().c_str(), user, user), 0) << entry.path();
        EXPECT_EQ(::lchown(folder.c_str(), user, user), 0);
        EXPECT_EQ(::setgroups(0, nullptr), 0);
        EXPECT_EQ(::setresgid(user, user, user), 0);
        EXPECT_EQ(::setresuid(user, user, user), 0);
        // The leak check at the end attaches to this process, which the change of user forbids.
        ::prctl(PR_SET_DUMPABLE, 1);
        EXPECT_EQ(::getrlimit(RLIMIT_NPROC, &m_limit), 0);
        rlimit refused = m_limit;
        refused.rlim_cur = Threads();
        EXPECT_EQ(::setrlimit(RLIMIT_NPROC, &refused), 0);
    }
    ~ThreadRefusal() { Lift(); }
    void Lift() { ::setrlimit(RLIMIT_NPROC, &m_limit); }

private:
    static rlim_t Threads() {
        rlim_t count = 0;
        for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
            ++count;
        return count;
    }
    rlimit m_limit{};
};

class StatusPageTest : public MainWindowTest {
protected:
    std::string Source() const { return Temp("source/"); }
    std::string Destination(const std::string& name) const { return Temp("dest/" + name + "/"); }
    std::string ProfileFile(const std::string& name) const { return Home() + "Profiles/" + name + ".bvf"; }

    // A profile that copies the source folder to its own destination folder.
    TBackupProfile Profile(const std::string& name, std::uint8_t kind = stManual) const {
        TBackupProfile p;
        p.Name = name;
        p.Sources = {Source() + "*"};
        p.DriveDestination = {true, Destination(name)};
        p.Schedule.ScheduleType = kind;
        return p;
    }
    void Write(TBackupProfile p) const {
        (void)platform::ForceDirectories(Home() + "Profiles/");
        ASSERT_TRUE(p.SaveToFile(ProfileFile(p.Name)));
    }
    TBackupProfile Stored(const std::string& name) const {
        TBackupProfile p;
        EXPECT_TRUE(p.LoadFromFile(ProfileFile(name)));
        return p;
    }
    static bool Idle(const TfrmMain& window) { return window.RunningBackupCount() == 0; }
    static QString Text(const QObject* window, const QString& name) {
        return Find<QLabel>(window, name)->text();
    }
};

TEST_F(StatusPageTest, BackupNowRunsTheSelectedProfileAndShowsItsProgressInASlot) {
    WriteFile(Source() + "letter.txt", std::string(3000, 'x'));
    Write(Profile("Documents"));
    auto window = Window();
    window->show();
    ReadGate gate(Source());
    Click(window.get(), "cmdBackupNow");
    EXPECT_EQ(Find<QTabWidget>(window.get(), "pagMain")->currentWidget()->objectName(), "tabStatus");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return gate.Waiting() == 1 && !Text(window.get(), "lblStsFile1").isEmpty(); }, 20000));
    EXPECT_EQ(Find<QGroupBox>(window.get(), "grpBkUpProcess1")->title(), " 1. Documents");
    EXPECT_TRUE(Find<QToolButton>(window.get(), "cmdAbort1")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(window.get(), "cmdBackupNow")->isEnabled());
    EXPECT_TRUE(Text(window.get(), "lblStsFile1").endsWith("/letter.txt"));
    EXPECT_EQ(Text(window.get(), "lblStsSize1"), "Size: 3.00 KB");
    EXPECT_EQ(Text(window.get(), "lblStsPrcsd1"), "Processed: 0 B");
    EXPECT_EQ(Text(window.get(), "lblTotalFiles1"), "Total Files: 1");
    EXPECT_EQ(Text(window.get(), "lblRemainingFiles1"), "Remaining Files: 1");
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(), "Brimvale is working.");

    // Resting the mouse on the file label or the gauge shows its whole text below the cursor.
    auto* hint = window->findChild<QLabel*>("FHintWindow");
    ASSERT_NE(hint, nullptr);
    auto* file = Find<QLabel>(window.get(), "lblStsFile1");
    // The mouse moves there, and with it the cursor the hint is placed by.
    QCursor::setPos(file->mapToGlobal(file->rect().center()));
    QTest::mouseMove(file, file->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return hint->isVisible(); }, 5000));
    EXPECT_EQ(hint->text().toStdString(), Source() + "letter.txt");
    auto* gauge = Find<QProgressBar>(window.get(), "prgBkUpProcess1");
    QCursor::setPos(gauge->mapToGlobal(gauge->rect().center()));
    QTest::mouseMove(gauge, gauge->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return hint->text() == "0 B of 3.00 KB processed."; }, 5000));
    EXPECT_TRUE(hint->isVisible());
    QCursor::setPos(window->mapToGlobal(QPoint(2, 2)));
    QTest::mouseMove(window.get(), QPoint(2, 2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hint->isVisible(); }, 5000));

    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
    EXPECT_EQ(ReadFile(Destination("Documents") + "source/letter.txt"), std::string(3000, 'x'));
    EXPECT_EQ(Find<QGroupBox>(window.get(), "grpBkUpProcess1")->title(), " 1. ");
    EXPECT_FALSE(Find<QToolButton>(window.get(), "cmdAbort1")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(window.get(), "cmdBackupNow")->isEnabled());
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(), "Brimvale is idle.");
    EXPECT_GT(Stored("Documents").LastBackup, 0);
    EXPECT_TRUE(Text(window.get(), "lblLastBackup").startsWith("Last backup: "));
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(StatusPageTest, SlotCaptionsCutLongNamesAndASixthDueProfileWaitsForAFreeSlot) {
    WriteFile(Source() + "a.txt", "a");
    const std::string thirty(30, 'n');
    const std::vector<std::string> names = {thirty, thirty + "x", "p3", "p4", "p5", "p6"};
    for (const std::string& name : names)
        Write(Profile(name, stHourly));
    ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "100");
    ReadGate gate(Source());
    auto window = Window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() == 5; }, 20000));
    testing_support::WaitForTicks(window->findChild<QTimer*>("timMain"), 5);
    EXPECT_EQ(window->RunningBackupCount(), 5);
    EXPECT_EQ(gate.Waiting(), 5);
    QStringList titles;
    for (int slot = 1; slot <= 5; ++slot)
        titles << Find<QGroupBox>(window.get(), QString("grpBkUpProcess%1").arg(slot))->title();
    EXPECT_TRUE(titles.contains(QString::fromStdString(" 1. " + thirty)) ||
                titles.contains(QString::fromStdString(" 2. " + thirty)));
    EXPECT_TRUE(titles.contains(QString::fromStdString(" 1. " + thirty + "...")) ||
                titles.contains(QString::fromStdString(" 2. " + thirty + "...")));
    EXPECT_TRUE(m_dialogs.messages.empty());

    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const std::string& name : names)
                if (!platform::FileExists(Destination(name) + "source/a.txt"))
                    return false;
            return Idle(*window);
        },
        30000));
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(StatusPageTest, AProfileWithoutDestinationOrSourceIsRefusedWithARunLog) {
    struct Case {
        const char* name;
        bool destination;
        bool source;
    } cases[] = {{"NoDestination", false, true}, {"NoSource", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBackupProfile p = Profile(c.name);
        p.DriveDestination.Active = c.destination;
        if (!c.source)
            p.Sources.clear();
        Write(p);
    }
    WriteFile(SettingsFile(), "[Application]\nBlinkingRedIcon=0\n");
    auto window = Window();
    window->show();
    Click(window.get(), "cmdBackupNow");
    EXPECT_EQ(window->RunningBackupCount(), 0);
    EXPECT_TRUE(m_dialogs.messages.empty());
    std::vector<std::string> logs;
    for (const auto& entry : std::filesystem::directory_iterator(Home() + "Logs/"))
        logs.push_back(entry.path().string());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(ReadFile(logs[0]).find("No destination and/or source selected."), std::string::npos);
    EXPECT_GT(Stored(window->findChild<QTreeWidget*>("lstProfiles")->currentItem()->text(0).toStdString())
                  .LastBackup,
              0);
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(),
              "Brimvale has errors. See log for details.");
    EXPECT_TRUE(Find<QPushButton>(window.get(), "cmdBackupNow")->isEnabled());
}

TEST_F(StatusPageTest, AFailedRunFreesItsSlotBeforeItsMessageAndKeepsItsLastBackup) {
    WriteFile(Source() + "a.txt", "a");
    Write(Profile("Broken"));
    WriteFile(SettingsFile(), "[Application]\nBlinkingRedIcon=0\n");
    auto window = Window();
    window->show();
    // The run log cannot be made: the logs folder is a file now.
    (void)platform::RemoveDir(Home() + "Logs/");
    WriteFile(Home() + "Logs", "not a folder");
    TfrmMain* raw = window.get();
    int runningAtMessage = -1;
    QString tipAtMessage;
    m_dialogs.whileNextMessageShows = [&] {
        runningAtMessage = raw->RunningBackupCount();
        tipAtMessage = raw->findChild<QSystemTrayIcon*>("trayIcon")->toolTip();
    };
    Click(window.get(), "cmdBackupNow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.messages.empty(); }, 20000));
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith("BackupThread->Execute: "))
        << m_dialogs.messages[0].text.toStdString();
    EXPECT_EQ(runningAtMessage, 0);
    EXPECT_EQ(tipAtMessage, "Brimvale has errors. See log for details.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 10000));
    EXPECT_TRUE(Find<QPushButton>(window.get(), "cmdBackupNow")->isEnabled());
    EXPECT_GT(Stored("Broken").LastBackup, 0);
}

// A run that fails half-way has written its log, and that log is the one the user needs to read.
TEST_F(StatusPageTest, ARunThatFailsAfterItsLogWasMadeListsItsLog) {
    WriteFile(Source() + "a.txt", "a");
    Write(Profile("Broken"));
    WriteFile(SettingsFile(), "[Application]\nBlinkingRedIcon=0\n");
    auto window = Window();
    window->show();
    const testing_support::ScopedFaultHook failing([](platform::FaultOp op, const std::string& path) -> int {
        if (op == platform::FaultOp::OpenRead && path.ends_with("a.txt"))
            throw std::runtime_error("unexpected failure");
        return 0;
    });
    Click(window.get(), "cmdBackupNow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dialogs.messages.empty() && Idle(*window); }, 20000));
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith("BackupThread->Execute: "))
        << m_dialogs.messages[0].text.toStdString();
    auto* logs = Find<QTableWidget>(window.get(), "lvwLog");
    ASSERT_EQ(logs->rowCount(), 1);
    EXPECT_EQ(logs->item(0, 1)->text(), "Broken");
}

TEST_F(StatusPageTest, AbortStopsTheSlotsRunOnlyWhenAnsweredYesAndEnterSaysNo) {
    WriteFile(Source() + "a.txt", "a");
    WriteFile(Source() + "b.txt", "b");
    Write(Profile("First"));
    auto window = Window();
    window->show();
    {
        ReadGate gate(Source());
        Click(window.get(), "cmdBackupNow");
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() == 1; }, 20000));
        // Enter answers the real question with its default button, No.
        m_dialogs.messageKeys.push_back(Qt::Key_Return);
        Click(window.get(), "cmdAbort1");
        ASSERT_EQ(m_dialogs.messages.size(), 1u);
        EXPECT_EQ(m_dialogs.messages[0].text,
                  "Warning! You are about to abort this backup. Do you wish to continue?");
        EXPECT_EQ(m_dialogs.messages[0].caption, "Abort Backup");
        EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Warning);
        EXPECT_EQ(m_dialogs.messages[0].buttons, QMessageBox::Yes | QMessageBox::No);
        gate.Open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
        EXPECT_TRUE(platform::FileExists(Destination("First") + "source/b.txt"));
    }
    {
        // The run ends and the profile starts again in the same slot while the prompt waits: Yes
        // leaves the new run alone.
        auto gate = std::make_unique<ReadGate>(Source());
        Click(window.get(), "cmdBackupNow");
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate->Waiting() == 1; }, 20000));
        TfrmMain* raw = window.get();
        m_dialogs.whileNextMessageShows = [&] {
            gate->Open();
            ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*raw); }, 20000));
            gate.reset();
            (void)platform::DeleteFile(Destination("First") + "source/b.txt");
            gate = std::make_unique<ReadGate>(Source());
            Click(raw, "cmdBackupNow");
            ASSERT_TRUE(QTest::qWaitFor([&] { return gate->Waiting() == 1; }, 20000));
        };
        m_dialogs.messageAnswers.push_back(QMessageBox::Yes);
        Click(window.get(), "cmdAbort1");
        gate->Open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
        EXPECT_TRUE(platform::FileExists(Destination("First") + "source/b.txt"));
    }
    {
        ReadGate gate(Source());
        (void)platform::DeleteFile(Destination("First") + "source/b.txt");
        Click(window.get(), "cmdBackupNow");
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() == 1; }, 20000));
        m_dialogs.messageAnswers.push_back(QMessageBox::Yes);
        Click(window.get(), "cmdAbort1");
        gate.Open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
        EXPECT_FALSE(platform::FileExists(Destination("First") + "source/b.txt"));
    }
}

TEST_F(StatusPageTest, ARefusalWhoseRunLogCannotBeWrittenIsStillRecordedAndTheTickGoesOn) {
    TBackupProfile p = Profile("Nowhere", stHourly);
    p.DriveDestination.Active = false;
    Write(p);
    (void)platform::ForceDirectories(Home());
    WriteFile(Home() + "Logs", "not a folder");
    WriteFile(SettingsFile(), "[Application]\nBlinkingRedIcon=0\n");
    ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "100");
    auto window = Window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stored("Nowhere").LastBackup > 0; }, 20000));
    const TDateTime refused = Stored("Nowhere").LastBackup;
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(),
              "Brimvale has errors. See log for details.");
    // The refusal counts as the last run: later ticks leave the profile alone.
    testing_support::WaitForTicks(window->findChild<QTimer*>("timMain"), 6);
    EXPECT_EQ(Stored("Nowhere").LastBackup, refused);
    EXPECT_TRUE(window->findChild<QTimer*>("timMain")->isActive());
}

TEST_F(StatusPageTest, TheTrayListsTheProfilesAndStartsOneWhileTheOtherRuns) {
    WriteFile(Source() + "a.txt", "a");
    Write(Profile("Alpha"));
    Write(Profile("Beta"));
    auto window = Window();
    window->show();
    ReadGate gate(Source());
    Click(window.get(), "cmdBackupNow");
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() == 1; }, 20000));
    auto* menu = window->findChild<QMenu*>("mnuTray");
    menu->popup(QPoint(0, 0));
    const QList<QAction*> items = window->findChild<QMenu*>("mnuTrayBackupNowMenu")->actions();
    menu->hide();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "Alpha");
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text(), "Beta");
    EXPECT_TRUE(items[1]->isEnabled());
    items[1]->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.Waiting() == 2; }, 20000));
    EXPECT_EQ(Find<QGroupBox>(window.get(), "grpBkUpProcess2")->title(), " 2. Beta");
    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
    EXPECT_TRUE(platform::FileExists(Destination("Beta") + "source/a.txt"));
}

TEST_F(StatusPageTest, PendingErrorsBlinkUntilTheLogIsClickedAndClearWithARunWithoutErrors) {
    WriteFile(Source() + "a.txt", "a");
    TBackupProfile refused = Profile("Alpha");
    refused.Sources.clear();
    Write(refused);
    Write(Profile("Beta"));
    auto window = Window();
    window->show();
    auto* blink = window->findChild<QTimer*>("timTrayErrors");
    auto* icon = window->findChild<QSystemTrayIcon*>("trayIcon");
    Click(window.get(), "cmdBackupNow");
    EXPECT_TRUE(blink->isActive());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return icon->toolTip() == "Brimvale has errors. See log for details."; }, 5000));

    // A click on the Log list: the errors are seen, the icon stays idle and stops blinking.
    auto* logs = Find<QTableWidget>(window.get(), "lvwLog");
    testing_support::ShowPageOf(logs);
    ASSERT_GE(logs->rowCount(), 1);
    QTest::mouseClick(logs->viewport(), Qt::LeftButton, {}, logs->visualItemRect(logs->item(0, 0)).center());
    EXPECT_FALSE(blink->isActive());
    EXPECT_EQ(icon->toolTip(), "Brimvale has errors. See log for details.");

    // A run without errors clears them.
    auto* list = Find<QTreeWidget>(window.get(), "lstProfiles");
    testing_support::ShowPageOf(list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(1)).center());
    Click(window.get(), "cmdBackupNow");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Idle(*window) && platform::FileExists(Destination("Beta") + "source/a.txt"); }, 20000));
    EXPECT_EQ(icon->toolTip(), "Brimvale is idle.");
}

// Pending errors are seen with a click anywhere in the Log list: below its last row, and in a list
// left empty.
TEST_F(StatusPageTest, AClickBelowTheRowsOrInAnEmptyLogListAcknowledgesErrors) {
    TBackupProfile refused = Profile("Alpha");
    refused.Sources.clear();
    Write(refused);
    auto window = Window();
    window->show();
    auto* blink = window->findChild<QTimer*>("timTrayErrors");
    auto* logs = Find<QTableWidget>(window.get(), "lvwLog");
    for (const bool emptied : {false, true}) {
        SCOPED_TRACE(emptied);
        Click(window.get(), "cmdBackupNow");
        ASSERT_TRUE(blink->isActive());
        testing_support::ShowPageOf(logs);
        if (emptied)
            Click(window.get(), "cmdClearAllLog");
        EXPECT_EQ(logs->rowCount(), emptied ? 0 : 1);
        ASSERT_TRUE(blink->isActive());
        const QPoint belowTheRows(logs->viewport()->width() / 2, logs->viewport()->height() - 4);
        ASSERT_EQ(logs->itemAt(belowTheRows), nullptr);
        QTest::mouseClick(logs->viewport(), Qt::LeftButton, {}, belowTheRows);
        EXPECT_FALSE(blink->isActive());
        EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(),
                  "Brimvale has errors. See log for details.");
    }
}

} // namespace

// The system refuses the threads of runs: each refused start leaves its slot and its profile free, a
// start from the tray says why every time, the scheduler's ticks say it once, and once threads can be
// had again the runs go and Exit ends the program. The window stays hidden meanwhile: painting needs
// threads of its own.
TEST_F(StatusPageTest, ARunWhoseThreadTheSystemRefusesLeavesItsSlotFreeAndSaysWhy) {
    const testing_support::ScopedSeams seams;
    const double start = 46022.5;
    const testing_support::ScopedClock startClock([&] { return start; });
    WriteFile(Source() + "a.txt", "a");
    Write(Profile("Alpha"));
    TBackupProfile hourly = Profile("Beta", stHourly);
    hourly.Schedule.SetHours(1);
    hourly.LastBackup = start;
    Write(hourly);
    WriteFile(SettingsFile(), "[Application]\nPromptBeforeExit=0\n");
    ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "50");
    auto window = Window();
    const QString refused = "Unable to start the backup (Resource temporarily unavailable).";
    const auto trayBackupNow = [&](const QString& profile) {
        auto* menu = window->findChild<QMenu*>("mnuTray");
        menu->popup(QPoint(0, 0));
        const QList<QAction*> items = window->findChild<QMenu*>("mnuTrayBackupNowMenu")->actions();
        menu->hide();
        for (QAction* item : items)
            if (item->text() == profile)
                item->trigger();
    };

    ThreadRefusal refusal(Temp(""));
    double now = start + 2.0 / 24;
    const testing_support::ScopedClock laterClock([&] { return now; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dialogs.messages.size() == 1; }, 10000));
    EXPECT_EQ(m_dialogs.messages[0].text, refused);
    // Later ticks try again, quietly, and never strand a slot.
    testing_support::WaitForTicks(window->findChild<QTimer*>("timMain"), 3);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(window->RunningBackupCount(), 0);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        trayBackupNow("Alpha");
        ASSERT_EQ(m_dialogs.messages.size(), 1u + static_cast<std::size_t>(attempt));
        EXPECT_EQ(m_dialogs.messages.back().text, refused);
        EXPECT_EQ(window->RunningBackupCount(), 0);
        EXPECT_TRUE(Find<QPushButton>(window.get(), "cmdBackupNow")->isEnabled());
        EXPECT_FALSE(Find<QGroupBox>(window.get(), "grpBkUpProcess1")->isEnabled());
        EXPECT_EQ(window->findChild<QSystemTrayIcon*>("trayIcon")->toolTip(), "Brimvale is idle.");
    }

    refusal.Lift();
    window->show();
    Click(window.get(), "cmdBackupNow");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return platform::FileExists(Destination("Alpha") + "source/a.txt") &&
                   platform::FileExists(Destination("Beta") + "source/a.txt") && Idle(*window);
        },
        20000));
    EXPECT_EQ(m_dialogs.messages.size(), 3u);
    Click(window.get(), "mnuTrayClose");
    EXPECT_EQ(m_ended, 1);
}

// The settings cannot be written on the way out. While their message waits for the user no tick runs,
// and a run started from the tray meanwhile holds the end until it has finished: no run is left behind.
TEST_F(StatusPageTest, AnExitWhoseSettingsWriteFailsLeavesNoRunBehind) {
    WriteFile(Source() + "a.txt", "a");
    Write(Profile("Alpha"));
    ScopedEnv tick("BRIMVALE_SCHEDULER_TICK_MS", "50");
    auto window = Window();
    window->show();
    Click(window.get(), "chkPromptBeforeExit");
    // A folder where the settings file belongs cannot be replaced, not even by root.
    ::unlink(SettingsFile().c_str());
    ASSERT_EQ(::mkdir(SettingsFile().c_str(), 0700), 0);
    ReadGate gate(Source());
    bool tickerStill = false;
    m_dialogs.whileNextMessageShows = [&] {
        tickerStill = !window->findChild<QTimer*>("timMain")->isActive();
        auto* menu = window->findChild<QMenu*>("mnuTray");
        menu->popup(QPoint(0, 0));
        const QList<QAction*> items = window->findChild<QMenu*>("mnuTrayBackupNowMenu")->actions();
        menu->hide();
        ASSERT_EQ(items.size(), 1);
        items[0]->trigger();
    };
    Click(window.get(), "cmdExit");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith("Unable to save the settings file "));
    EXPECT_TRUE(tickerStill);
    EXPECT_EQ(m_ended, 0);
    EXPECT_EQ(window->RunningBackupCount(), 1);
    EXPECT_TRUE(window->findChild<QTimer*>("timMain")->isActive());

    gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*window); }, 20000));
    EXPECT_TRUE(platform::FileExists(Destination("Alpha") + "source/a.txt"));
    EXPECT_GT(Stored("Alpha").LastBackup, 0);
    window->show();
    Click(window.get(), "cmdClose");
    EXPECT_EQ(m_ended, 1);
}
