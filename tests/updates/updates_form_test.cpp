// The updates window against a loopback server: the panels and labels, the feed check and its
// failures, downloads with progress, cancel and their failures, closing during a download.
#include "platform/file_io.h"
#include "tests/updates/updates_fixture.h"
#include "updates/update_texts.h"
#include "updates/updates_form.h"
#include "widgets/hyper_link.h"
#include "widgets/modal_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace testing_support;
using ::testing::StartsWith;

namespace {

std::string EscapeXml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '\t')
            escaped += "&#9;";
        else
            escaped += c;
    }
    return escaped;
}

// A feed offering update 2.0.1.7 with the given links ("caption|type|address").
std::string FeedWithLinks(const std::vector<std::string>& links) {
    std::string content;
    for (const std::string& link : links) {
        const auto first = link.find('|');
        const auto second = link.find('|', first + 1);
        content += "<link caption=\"" + link.substr(0, first) + "\" type=\"" +
                   link.substr(first + 1, second - first - 1) + "\">" + EscapeXml(link.substr(second + 1)) +
                   "</link>";
    }
    return "<versions><version major=\"2\" minor=\"0\" release=\"1\" build=\"7\">" + content +
           "</version></versions>";
}

class UpdatesFormTest : public UpdatesTest {
protected:
    UpdatesFormTest() : m_form(std::make_unique<TfrmUpdates>(nullptr)) {
        m_form->SetProductName(QStringLiteral("Brimvale"));
        m_form->SetCurrentVersion({2, 0, 1, 5});
        m_form->CheckUpdates = true;
        m_form->CheckUpgrades = true;
        (void)platform::ForceDirectories(Folder());
    }

    template <class T> T* Find(const char* name) const {
        T* widget = m_form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Text(const char* label) const { return Find<QLabel>(label)->text(); }
    QTreeWidget* Updates() const { return Find<QTreeWidget>("lvwUpdateDownload"); }
    QPushButton* Close() const { return Find<QPushButton>("cmdClose"); }
    std::string Folder() const { return Temp("downloads/"); }

    // Shows the window with the offered links.
    void Offer(const std::vector<std::string>& links) {
        ASSERT_TRUE(m_form->ParseFeed(FeedWithLinks(links)));
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    // Double-clicks the update list's entry Row, answering the folder question with the download folder.
    void DoubleClick(int row, bool answerFolder = true) {
        if (answerFolder)
            m_dialogs.folderAnswers.push_back(QString::fromStdString(Folder()));
        QTreeWidget* list = Updates();
        const QPoint centre = list->visualItemRect(list->topLevelItem(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    }

    bool WaitIdle() {
        return QTest::qWaitFor([this] { return Close()->text() == update_texts::Close; }, 60000);
    }
    bool WaitReceived() {
        return QTest::qWaitFor([this] { return !Find<QProgressBar>("prgDownload")->toolTip().isEmpty(); },
                               30000);
    }

    std::unique_ptr<TfrmUpdates> m_form;
};

TEST_F(UpdatesFormTest, LabelsShowTheVersionsAndPlaceTheUpdateNumber) {
    EXPECT_EQ(m_form->windowTitle(), "Brimvale Updates / Upgrades");
    EXPECT_EQ(Text("lblTitle"), "Brimvale Updates / Upgrades");
    m_form->SetCurrentVersion({3, 1, 0, 7});
    EXPECT_EQ(Text("lblVersion"), "Current Version: (3.1.0.7)");
    m_form->SetCurrentVersion({3, 1, 2, 7});
    EXPECT_EQ(Text("lblVersion"), "Current Version: (3.1.2.7) Update 2");

    m_form->ShowUpdate({3, 1, 14, 0});
    m_form->ShowUpgrade({4, 0, 0, 9});
    m_form->show();
    EXPECT_EQ(Text("lblUpdateText"), "The following update is available for download.");
    const auto* version = Find<QLabel>("lblUpdateVersion");
    const auto* update = Find<QLabel>("lblUpdateUpdate");
    EXPECT_TRUE(version->isVisible());
    EXPECT_EQ(version->text(), "3.1.14.0");
    EXPECT_TRUE(update->isVisible());
    EXPECT_EQ(update->text(), "Update 14");
    EXPECT_EQ(update->x(), version->geometry().right() + 1 + 10);
    EXPECT_TRUE(Updates()->isEnabled());
    EXPECT_EQ(Text("lblUpgradeVersion"), "4.0.0.9");
    EXPECT_FALSE(Find<QLabel>("lblUpgradeUpdate")->isVisible());
    EXPECT_TRUE(Find<THyperLink>("lnkUpgradeOrder")->isVisible());
    EXPECT_EQ(Text("lblUpgradeCost"), "$0.00");
    EXPECT_EQ(Text("lblUpgradeDownload"), "Double click an entry below to start it.");

    m_form->CheckUpdates = false;
    m_form->ShowUpdate(m_form->CurrentVersion);
    EXPECT_EQ(Text("lblUpdateText"), "Not scheduled to check for updates at this time.");
    EXPECT_FALSE(version->isVisible());
    EXPECT_FALSE(update->isVisible());
    EXPECT_FALSE(Updates()->isEnabled());
    EXPECT_FALSE(Find<QLabel>("lblUpdateDownload")->isEnabled());
    m_form->ShowUpgrade(m_form->CurrentVersion);
    EXPECT_EQ(Text("lblUpgradeText"), "There are no upgrades available at this time.");
    EXPECT_FALSE(Find<THyperLink>("lnkUpgradeOrder")->isVisible());
    EXPECT_FALSE(Find<QLabel>("lblUpgradeCost")->isVisible());
}

TEST_F(UpdatesFormTest, SettingsControlsOfferTheIntervalsAndFollowTheirBoxes) {
    for (const char* name : {"cboUpdatesInterval", "cboUpgradesInterval"}) {
        const auto* combo = Find<QComboBox>(name);
        ASSERT_EQ(combo->count(), 5);
        EXPECT_EQ(combo->itemText(0), "at startup");
        EXPECT_EQ(combo->itemText(4), "every 30 days");
    }
    m_form->show();
    auto* box = Find<QCheckBox>("chkAutoCheckUpgrades");
    box->setChecked(true);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(Find<QComboBox>("cboUpgradesInterval")->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_TRUE(Find<QComboBox>("cboUpgradesInterval")->isEnabled());
}

TEST_F(UpdatesFormTest, CheckFeedTakesOnlyACompleteTwoHundredFeed) {
    const std::string feed = FeedWithLinks({"Setup|file|http://h/s"});
    m_server.Serve("feed.xml", "\n  " + feed + "\n\n");
    m_server.Serve("blank.xml", " \r\n\t ");
    m_server.Serve("broken.xml", "<versions><version major=\"2\" minor");
    m_server.Serve("large.xml", feed + "<!--" + std::string(1024 * 1024, 'x') + "-->");
    const struct {
        const char* path;
        bool result;
    } cases[] = {
        {"/feed.xml", true},   {"/blank.xml", false},  {"/broken.xml", false},
        {"/large.xml", false}, {"/status/404", false}, {"/redirect", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.path);
        TfrmUpdates form(nullptr);
        form.SetCurrentVersion({2, 0, 1, 5});
        form.CheckUpdates = true;
        EXPECT_EQ(form.CheckFeed(m_server.Url(row.path)), row.result);
        EXPECT_EQ(form.findChild<QLabel*>("lblUpdateText")->text(),
                  row.result ? update_texts::UpdateAvailable : update_texts::NoUpdates);
        EXPECT_EQ(form.findChild<QTreeWidget*>("lvwUpdateDownload")->topLevelItemCount(), row.result ? 1 : 0);
        EXPECT_EQ(form.findChild<QLabel*>("lblUpgradeText")->text(), update_texts::UpgradesNotChecked);
    }
}

TEST_F(UpdatesFormTest, CheckFeedServesTheWindowWhileTheServerIsSilent) {
    m_form->FeedTimeouts.Total = std::chrono::seconds(2);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(50);
    EXPECT_FALSE(m_form->CheckFeed(m_server.Url("/silent")));
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(Text("lblUpdateText"), update_texts::NoUpdates);
}

TEST_F(UpdatesFormTest, DownloadsAFileIntoTheChosenFolderWithProgress) {
    m_server.Serve("setup.bin", std::string(200000, 's'));
    Offer({"Notes|doc|http://h/notes", "Setup|file|" + m_server.Url("/setup.bin?lang=en")});
    DoubleClick(1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(m_dialogs.folderCaptions,
              std::vector<QString>{"Brimvale Update Download|Select the destination directory"});
    // The query stays in the file name.
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"setup.bin?lang=en"});
    EXPECT_EQ(ReadFile(Folder() + "setup.bin?lang=en"), std::string(200000, 's'));
    const auto* gauge = Find<QProgressBar>("prgDownload");
    EXPECT_EQ(gauge->toolTip(), "200000 of 200000");
    EXPECT_FALSE(gauge->isVisible());
    EXPECT_TRUE(Updates()->isEnabled());
    EXPECT_TRUE(Find<QTreeWidget>("lvwUpgradeDownload")->isEnabled());
    EXPECT_NE(m_form->cursor().shape(), Qt::BusyCursor);
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_TRUE(m_form->isVisible());
}

TEST_F(UpdatesFormTest, AFailedDownloadReportsAndKeepsTheFileThatWasThere) {
    const struct {
        const char* path;
        const char* file;
        const char* message;
    } cases[] = {
        {"/status/404", "404", "Error downloading file:\r\nHTTP/1.1 404 Not Found"},
        {"/short/5000", "5000", "Error downloading file:\r\ntransfer closed with 5000 bytes remaining"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.path);
        (void)platform::DeleteFile(Folder() + row.file);
        WriteFile(Folder() + row.file, "old");
        m_form = std::make_unique<TfrmUpdates>(nullptr);
        m_form->SetProductName(QStringLiteral("Brimvale"));
        m_form->SetCurrentVersion({2, 0, 1, 5});
        m_form->CheckUpdates = true;
        m_dialogs.messages.clear();
        Offer({"Setup|file|" + m_server.Url(row.path)});
        DoubleClick(0);
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(m_dialogs.messages.size(), 1u);
        EXPECT_THAT(m_dialogs.messages[0].text.toStdString(), StartsWith(row.message));
        EXPECT_EQ(ReadFile(Folder() + row.file), "old");
        EXPECT_EQ(Entries(Folder()), std::vector<std::string>{row.file});
        (void)platform::DeleteFile(Folder() + row.file);
    }
}

TEST_F(UpdatesFormTest, RefusesAddressesThatNameNoUsableFile) {
    const std::string base = m_server.Url("");
    Offer({"a|file|" + base + "/files/", "b|file|" + base + "/..", "c|file|" + base + "/a\\b",
           "d|file|" + base + "/a\tb", "e|file|ftp://127.0.0.1/setup.zip", "f|file|"});
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        m_dialogs.messages.clear();
        DoubleClick(row);
        ASSERT_EQ(m_dialogs.messages.size(), 1u);
        EXPECT_EQ(m_dialogs.messages[0].text,
                  "Error downloading file:\r\nThe address names no file that can be saved.");
        EXPECT_EQ(Close()->text(), update_texts::Close);
    }
    // Addresses other than web addresses are not even asked about.
    m_dialogs.folderCaptions.clear();
    m_dialogs.messages.clear();
    DoubleClick(4, false);
    DoubleClick(5, false);
    EXPECT_TRUE(m_dialogs.folderCaptions.empty());
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_TRUE(Entries(Folder()).empty());
    EXPECT_TRUE(platform::DirectoryExists(Folder()));
}

TEST_F(UpdatesFormTest, CancelEndsADownloadAgainstAStalledServer) {
    WriteFile(Folder() + "1000", "old");
    Offer({"Setup|file|" + m_server.Url("/stall/1000")});
    DoubleClick(0);
    ASSERT_TRUE(WaitReceived());
    EXPECT_EQ(Find<QProgressBar>("prgDownload")->toolTip(), "1000 of 10000");
    EXPECT_EQ(Close()->text(), update_texts::Cancel);
    EXPECT_TRUE(Find<QProgressBar>("prgDownload")->isVisible());
    EXPECT_FALSE(Updates()->isEnabled());
    EXPECT_TRUE(Updates()->selectedItems().isEmpty());
    EXPECT_EQ(m_form->cursor().shape(), Qt::BusyCursor);

    m_dialogs.messageAnswers = {QMessageBox::No};
    QTest::mouseClick(Close(), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, "Are you sure you wish to cancel the download?");
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Information);
    // Nothing to wait for when the download goes on: a while passes in which a cancel would show.
    QTest::qWait(200);
    EXPECT_EQ(Close()->text(), update_texts::Cancel);

    m_dialogs.messageAnswers = {QMessageBox::Yes};
    QTest::mouseClick(Close(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(ReadFile(Folder() + "1000"), "old");
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"1000"});
    EXPECT_TRUE(m_form->isVisible());
}

TEST_F(UpdatesFormTest, ClosingDuringADownloadAsksFirstAndClosesOnceItHasEnded) {
    Offer({"Setup|file|" + m_server.Url("/stall/1000")});
    DoubleClick(0);
    ASSERT_TRUE(WaitReceived());

    m_dialogs.messageAnswers = {QMessageBox::No};
    m_form->close();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text,
              "Closing this form will cancel the current download.\r\nAre you sure you wish to do this?");
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(Close()->text(), update_texts::Cancel);

    // Esc asks the same.
    m_dialogs.messageAnswers = {QMessageBox::Yes};
    QTest::keyClick(m_form.get(), Qt::Key_Escape);
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[1].text, m_dialogs.messages[0].text);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_form->isVisible(); }, 30000));
    EXPECT_EQ(m_form->result(), mrOk);
    EXPECT_TRUE(Entries(Folder()).empty());
}

TEST_F(UpdatesFormTest, TheWindowEndsItsDownloadWhenItGoes) {
    Offer({"Setup|file|" + m_server.Url("/stall/1000")});
    DoubleClick(0);
    ASSERT_TRUE(WaitReceived());
    m_form.reset();
    EXPECT_TRUE(Entries(Folder()).empty());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(UpdatesFormTest, OtherLinksOpenInTheBrowserAndTheOrderLinkLightsUp) {
    UrlRecorder browser;
    Offer({"Notes|doc|http://example.com/notes", "Forum|other|https://example.com/forum",
           "Local|doc|file:///etc/passwd"});
    DoubleClick(0, false);
    DoubleClick(1, false);
    DoubleClick(2, false);
    EXPECT_EQ(browser.opened, (QStringList{"http://example.com/notes", "https://example.com/forum"}));
    EXPECT_TRUE(m_dialogs.folderCaptions.empty());

    auto* order = Find<THyperLink>("lnkUpgradeOrder");
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), order->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(order, &enter);
    EXPECT_EQ(order->FontColor(), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(order, &leave);
    EXPECT_EQ(order->FontColor(), QColor(0, 0, 255));
}

} // namespace

namespace {

// What a label or tool tip shows: markup is rendered unless the text is plain.
QString Shown(const QString& text, Qt::TextFormat format) {
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// The feed arrives over plain HTTP: markup in its price or order address is shown as it is written and
// never restyles the window.
TEST_F(UpdatesFormTest, ThePriceAndTheOrderAddressShowAsPlainText) {
    const QString price = QStringLiteral("<b style='font-size:80px'>9</b>");
    const QString address = QStringLiteral("http://example.org/<h1>order</h1>");
    const std::string feed =
        "<versions><version major=\"3\" minor=\"0\" release=\"0\" build=\"0\"><order price=\"" +
        EscapeXml(price.toStdString()) + "\" url=\"" + EscapeXml(address.toStdString()) +
        "\"></order></version></versions>";
    ASSERT_TRUE(m_form->ParseFeed(feed));
    const auto* cost = Find<QLabel>("lblUpgradeCost");
    EXPECT_EQ(Shown(cost->text(), cost->textFormat()), "$" + price);
    EXPECT_EQ(Shown(Find<THyperLink>("lnkUpgradeOrder")->toolTip(), Qt::AutoText), address);
}

} // namespace
