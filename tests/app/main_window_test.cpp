// The main window's lifecycle: creation, the access password, showing and hiding, the Exit command,
// a second start's request, a forced end, help, and Apply with the start-with-login entry.
#include "app/autostart.h"
#include "app/ini_file.h"
#include "app/main_window.h"
#include "app/qt_dispatcher.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "tests/app/app_fixture.h"
#include "ui_main_window.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>

using testing_support::AppTest;
using testing_support::Cancel;
using testing_support::ClickButton;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TypePassword;
using testing_support::WriteFile;

namespace {

// A run that holds its slot until the test releases it (or, when it listens, until it is terminated).
class HeldThread : public TThread {
public:
    explicit HeldThread(bool stopsWhenTerminated = true) : TThread(true), m_stops(stopsWhenTerminated) {}
    std::atomic<bool> release{false};

protected:
    void Execute() override {
        while (!release && !(m_stops && Terminated()))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Synchronize([] {});
    }

private:
    bool m_stops;
};

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

class MainWindowTest : public AppTest {
protected:
    MainWindowTest() { SetDispatcher(&m_dispatcher); }
    ~MainWindowTest() override { SetDispatcher(nullptr); }

    std::unique_ptr<TfrmMain> Window(bool tray = true, int forcedEndWaitMs = 10000) {
        TMainWindowOptions options;
        options.SystemTray = tray;
        options.ForcedEndWaitMs = forcedEndWaitMs;
        auto window = std::make_unique<TfrmMain>(options);
        QObject::connect(window.get(), &TfrmMain::ProgramEnded, [this] { ++m_ended; });
        return window;
    }
    void Settings(const std::string& application) {
        WriteFile(SettingsFile(), "[Application]\n" + application);
    }
    static std::string Password(const std::string& plain) {
        return "AppPassword=" + EncryptString(plain, kStoredPasswordKey) + "\n";
    }
    HeldThread* Occupy(TfrmMain& window, int slot, bool stopsWhenTerminated = true) {
        auto thread = std::make_unique<HeldThread>(stopsWhenTerminated);
        HeldThread* raw = thread.get();
        thread->OnTerminate = [&window](TThread* sender) { window.BackupThreadTerminate(sender); };
        window.FSlots[static_cast<std::size_t>(slot - 1)] = std::move(thread);
        raw->Resume();
        return raw;
    }
    static void ReleaseAll(TfrmMain& window) {
        for (auto& slot : window.FSlots) {
            if (slot)
                static_cast<HeldThread*>(slot.get())->release = true;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.RunningBackupCount() == 0; }, 10000));
    }
    std::string Stored(const std::string& key) const {
        return TIniFile(SettingsFile()).ReadString("Application", key, "<missing>");
    }

    TQtDispatcher m_dispatcher;
    int m_ended = 0;
};

} // namespace

TEST_F(MainWindowTest, CreationShowsTitleVersionPagesAndEmptySlots) {
    AppVersion = {2, 0, 3, 17};
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    EXPECT_EQ(window->windowTitle(), "Brimvale 2.0");
    EXPECT_EQ(ui.lblAppName->text(), "Brimvale 2.0");
    EXPECT_EQ(ui.lblVersion->text(), "Version (2.0.3.17) Update 3");
    QStringList tabs;
    for (int i = 0; i < ui.pagMain->count(); ++i)
        tabs << ui.pagMain->tabText(i);
    EXPECT_EQ(tabs, QStringList({"Prof&iles", "&Status", "R&estore", "&Log", "&Application"}));
    EXPECT_EQ(ui.cmdExit->text(), "E&xit Brimvale");
    EXPECT_EQ(ui.cmdClose->toolTip(), "Close the Brimvale application window.");
    for (int slot = 1; slot <= 5; ++slot) {
        auto* group = window->findChild<QGroupBox*>(QString("grpBkUpProcess%1").arg(slot));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), QString(" %1. ").arg(slot));
        EXPECT_FALSE(group->isEnabled());
        EXPECT_EQ(window->findChild<QLabel*>(QString("lblStsSize%1").arg(slot))->text(), "Size: ");
    }
    EXPECT_EQ(ui.lstMailCategory->currentRow(), 0);
    EXPECT_FALSE(ui.pnlMailGeneral->isHidden());
    EXPECT_TRUE(ui.pnlMailSMTP->isHidden());
    ui.lstMailCategory->setCurrentRow(2);
    EXPECT_FALSE(ui.pnlMailPOPAuthenticate->isHidden());
    EXPECT_TRUE(ui.pnlMailGeneral->isHidden());
    EXPECT_EQ(ui.cmdAppSettings->text(), "Apply");
    EXPECT_FALSE(ui.cmdAppSettings->isHidden());
    // Without profiles the editor and Backup Now are off once the window shows.
    window->show();
    EXPECT_FALSE(ui.pagBackup->isEnabled());
    EXPECT_FALSE(ui.cmdBackupNow->isEnabled());
    EXPECT_FALSE(window->mnuTrayBackupNow->isEnabled());
    EXPECT_EQ(ui.pagMain->currentIndex(), 0);
}

TEST_F(MainWindowTest, TheWindowShowsAtStartWhenAskedOrWhenThereIsNoTray) {
    struct Case {
        const char* name;
        bool tray, showSetting, visible;
    };
    const Case cases[] = {
        {"tray, hidden", true, false, false},
        {"tray, shown", true, true, true},
        {"no tray", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings(std::string("ShowAppWinOnStart=") + (c.showSetting ? "1" : "0") + "\n");
        auto window = Window(c.tray);
        EXPECT_EQ(window->isVisible(), c.visible);
    }
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());
}

TEST_F(MainWindowTest, AccessPasswordAtStart) {
    struct Case {
        const char* name;
        std::string expected;
        std::vector<std::function<int(QDialog&)>> answers;
        bool visible;
        std::size_t errors;
    };
    const Case cases[] = {
        {"three wrong tries",
         "s3cret",
         {TypePassword("a"), TypePassword("b"), TypePassword("S3CRET")},
         false,
         3},
        {"cancel", "s3cret", {Cancel()}, false, 0},
        {"right at the second try", "s3cret", {TypePassword("x"), TypePassword("s3cret")}, true, 1},
        {"empty password, empty entry", "", {TypePassword("")}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialogs.messages.clear();
        m_dialogs.dialogsShown.clear();
        Settings("ShowAppWinOnStart=1\nAppPassRequired=1\n" + Password(c.expected));
        for (const auto& answer : c.answers)
            m_dialogs.dialogAnswers.push_back(answer);
        auto window = Window();
        EXPECT_EQ(window->isVisible(), c.visible);
        EXPECT_EQ(m_dialogs.dialogsShown.size(), c.answers.size());
        ASSERT_EQ(m_dialogs.messages.size(), c.errors);
        for (const auto& message : m_dialogs.messages) {
            EXPECT_EQ(message.text, "The password you entered is not correct.");
            EXPECT_EQ(message.caption, "Error");
            EXPECT_EQ(message.icon, dialogs::Icon::Critical);
        }
        EXPECT_TRUE(m_dialogs.dialogAnswers.empty());
    }
}

TEST_F(MainWindowTest, ASecondStartOpensTheWindowOnlyWithoutATray) {
    Settings("AppPassRequired=1\n" + Password("pw"));
    {
        // With a tray the hidden window stays in the tray.
        auto window = Window(true);
        window->ActivationRequested();
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(m_dialogs.dialogsShown.empty());
    }
    // Without one, the window that stayed shut at start opens through the password; a request that
    // comes while the prompt shows is dropped.
    m_dialogs.dialogAnswers.push_back(Cancel());
    auto window = Window(false);
    EXPECT_FALSE(window->isVisible());
    TfrmMain* raw = window.get();
    m_dialogs.dialogAnswers.push_back([raw](QDialog& dialog) {
        raw->ActivationRequested();
        raw->mnuTrayOpenClick();
        return TypePassword("pw")(dialog);
    });
    window->ActivationRequested();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(m_dialogs.dialogsShown.size(), 2u);
    // A visible window only comes forward.
    window->showMinimized();
    window->ActivationRequested();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(m_dialogs.dialogsShown.size(), 2u);
}

TEST_F(MainWindowTest, CloseHidesAndWritesTheSettings) {
    auto window = Window();
    window->show();
    window->ui().chkAppLogDetail->setChecked(true);
    window->cmdCloseClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Stored("LogDetails"), "1");
    window->show();
    window->ui().chkAppLogDetail->setChecked(false);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Stored("LogDetails"), "0");
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->Exiting());
}

TEST_F(MainWindowTest, ExitWithoutPromptEndsTheProgram) {
    Settings("PromptBeforeExit=0\n");
    auto window = Window();
    window->show();
    window->mnuTrayCloseClick();
    EXPECT_EQ(m_ended, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Stored("PromptBeforeExit"), "0");
    EXPECT_TRUE(m_dialogs.dialogsShown.empty());
}

TEST_F(MainWindowTest, ExitPromptCancelKeepsRunningAndKeepsTheChoice) {
    auto window = Window();
    m_dialogs.dialogAnswers.push_back([](QDialog& prompt) {
        EXPECT_EQ(prompt.windowTitle(), "Brimvale");
        EXPECT_EQ(prompt.findChild<QLabel*>("lblText")->text(),
                  "You are about to exit the Brimvale application. If you are sure you wish to exit, then "
                  "select OK.");
        auto* confirm = prompt.findChild<QCheckBox*>("chkConfirm");
        EXPECT_EQ(confirm->text(), "Always prompt before exiting Brimvale.");
        EXPECT_TRUE(confirm->isChecked());
        EXPECT_EQ(prompt.findChild<QPushButton*>("cmdOne")->text(), "Cancel");
        EXPECT_EQ(prompt.findChild<QPushButton*>("cmdTwo")->text(), "OK");
        EXPECT_FALSE(prompt.findChild<QPushButton*>("cmdThree")->isVisibleTo(&prompt));
        confirm->setChecked(false);
        return ClickButton("cmdOne")(prompt);
    });
    window->mnuTrayCloseClick();
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->Exiting());
    EXPECT_FALSE(window->ui().chkPromptBeforeExit->isChecked());
}

TEST_F(MainWindowTest, ExitPromptOkEndsAndWritesTheSettingsOnTheWayOut) {
    auto window = Window();
    window->ui().txtMailFrom->setText("me@example.org");
    m_dialogs.dialogAnswers.push_back(ClickButton("cmdTwo"));
    window->mnuTrayCloseClick();
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(Stored("MailFrom"), "me@example.org");
    EXPECT_EQ(Stored("PromptBeforeExit"), "1");
}

TEST_F(MainWindowTest, ExitIsRefusedWhileBackupsRun) {
    Settings("PromptBeforeExit=0\n");
    auto window = Window();
    Occupy(*window, 2);
    Occupy(*window, 5);
    EXPECT_EQ(window->RunningBackupCount(), 2);
    EXPECT_EQ(window->FindFreeSlot(), 1);
    window->mnuTrayCloseClick();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, "Cannot exit Brimvale while a backup is running. \r\n"
                                          "Please either cancel running backup(s) or \r\n"
                                          "wait until backup(s) complete.\r\n\r\n"
                                          "Currently: 2 backup(s) running.");
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale");
    EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Critical);
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->Exiting());
    ReleaseAll(*window);
}

TEST_F(MainWindowTest, AnExitDeferredByARunEndsAtTheNextClose) {
    auto window = Window();
    window->show();
    TfrmMain* raw = window.get();
    // A run starts while the prompt is open.
    m_dialogs.dialogAnswers.push_back([this, raw](QDialog& prompt) {
        Occupy(*raw, 1);
        return ClickButton("cmdTwo")(prompt);
    });
    window->mnuTrayCloseClick();
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Exiting());
    ReleaseAll(*window);
    window->show();
    window->cmdCloseClick();
    EXPECT_EQ(m_ended, 1);
}

TEST_F(MainWindowTest, AForcedEndStopsTheRunsWritesTheSettingsAndEnds) {
    auto window = Window();
    Occupy(*window, 1);
    Occupy(*window, 3);
    window->ui().chkAppLogDetail->setChecked(true);
    window->ForcedEnd();
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(window->RunningBackupCount(), 0);
    EXPECT_EQ(Stored("LogDetails"), "1");
}

TEST_F(MainWindowTest, AForcedEndWaitsOnlyABoundedTimeAndLeavesARunAlone) {
    auto window = Window(true, 200);
    HeldThread* stubborn = Occupy(*window, 4, false);
    const auto start = std::chrono::steady_clock::now();
    window->ForcedEnd();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(m_ended, 1);
    EXPECT_GE(waited, std::chrono::milliseconds(190));
    EXPECT_LT(waited, std::chrono::seconds(5));
    // The run was not destroyed under its feet.
    EXPECT_EQ(window->FSlots[3].get(), stubborn);
    EXPECT_FALSE(stubborn->Finished());
    ReleaseAll(*window);
}

TEST_F(MainWindowTest, HelpOpensThePageOfTheActiveTab) {
    OpenedUrls opened;
    QDesktopServices::setUrlHandler("file", &opened, "Open");
    auto window = Window();
    window->cmdHelpClick();
    window->ui().pagMain->setCurrentWidget(window->ui().tabLog);
    window->cmdHelpClick();
    window->ui().pagMain->setCurrentWidget(window->ui().tabApplication);
    window->cmdHelpClick();
    QDesktopServices::unsetUrlHandler("file");
    const std::string help = platform::ResourceDir() + "help/docs/";
    ASSERT_EQ(opened.urls.size(), 3u);
    EXPECT_EQ(opened.urls[0].toLocalFile().toStdString(), help + "intro.htm");
    EXPECT_EQ(opened.urls[1].toLocalFile().toStdString(), help + "log.htm");
    EXPECT_EQ(opened.urls[2].toLocalFile().toStdString(), help + "intro.htm");
    for (const auto& url : opened.urls)
        EXPECT_TRUE(platform::FileExists(url.toLocalFile().toStdString()));
    EXPECT_TRUE(m_dialogs.messages.empty());

    ScopedEnv noHelp("BRIMVALE_RESOURCES", Temp("empty/"));
    window->cmdHelpClick();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, "Help file not found.");
    EXPECT_EQ(m_dialogs.messages[0].caption, "Help Error");
}

TEST_F(MainWindowTest, ApplyWritesAndRemovesTheStartWithLoginEntry) {
    auto window = Window();
    QCheckBox* box = window->ui().chkRunOnWindowsStartup;
    const std::string entry = Config() + "autostart/Brimvale 2.0.desktop";

    // Unchecked with no entry: nothing to say.
    window->cmdAppSettingsClick();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(platform::FileExists(SettingsFile()));

    box->setChecked(true);
    window->cmdAppSettingsClick();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), "\"" + platform::ExecutablePath() + "\"");

    box->setChecked(false);
    window->cmdAppSettingsClick();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(platform::PathExists(entry));
}

TEST_F(MainWindowTest, ApplyReportsWhatTheEntryRefused) {
    auto window = Window();
    QCheckBox* box = window->ui().chkRunOnWindowsStartup;
    // The autostart folder cannot be made: a file stands in its place.
    WriteFile(Config() + "autostart", "");
    box->setChecked(true);
    window->cmdAppSettingsClick();
    box->setChecked(false);
    window->cmdAppSettingsClick();
    ASSERT_EQ(m_dialogs.MessageTexts(),
              std::vector<QString>({"Unable to open registry key.", "Unable to open registry key"}));
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale 2.0");
    EXPECT_FALSE(box->isChecked());

    // The entry cannot be written or removed: a folder with something in it stands in its place.
    ::unlink((Config() + "autostart").c_str());
    WriteFile(Config() + "autostart/Brimvale 2.0.desktop/inside", "");
    m_dialogs.messages.clear();
    box->setChecked(true);
    window->cmdAppSettingsClick();
    box->setChecked(false);
    window->cmdAppSettingsClick();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>({"Error: Failed to set data for 'Brimvale 2.0'",
                                                              "Unable to delete registry value."}));
    EXPECT_TRUE(box->isChecked());
}

TEST_F(MainWindowTest, StartUpRewritesAnEntryForAnotherProgram) {
    const std::string program = "\"" + platform::ExecutablePath() + "\"";
    struct Case {
        const char* name;
        std::string stored, after;
        bool checked;
    };
    const Case cases[] = {
        {"other program", "\"/old/place/brimvale\"", program, true},
        {"same path in other letter case", QString::fromStdString(program).toUpper().toStdString(),
         QString::fromStdString(program).toUpper().toStdString(), true},
        {"no entry", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        autostart::DeleteValue("Brimvale 2.0");
        if (!c.stored.empty()) {
            ASSERT_TRUE(autostart::OpenRunKey(true));
            autostart::WriteValue("Brimvale 2.0", c.stored);
        }
        auto window = Window();
        EXPECT_EQ(window->ui().chkRunOnWindowsStartup->isChecked(), c.checked);
        EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), c.after);
    }
}

TEST_F(MainWindowTest, AddressesAndPasswordPairsAreChecked) {
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    struct Case {
        const char* text;
        bool passes;
    };
    const Case cases[] = {
        {"", true},      {"a@b.c", true},  {"me@mail.example.org", true},
        {"@b.c", false}, {"a@.c", false},  {"a@bc", false},
        {"abc", false},  {"a.b@c", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_dialogs.messages.clear();
        ui.txtMailReplyTo->setText(c.text);
        window->VarifyEmailAddress(ui.txtMailReplyTo);
        if (c.passes) {
            EXPECT_TRUE(m_dialogs.messages.empty());
        } else {
            ASSERT_EQ(m_dialogs.messages.size(), 1u);
            EXPECT_EQ(m_dialogs.messages[0].text, QString(c.text) + " is not a valid email address.");
            EXPECT_EQ(ui.txtMailReplyTo->selectedText(), c.text);
            EXPECT_EQ(ui.txtMailReplyTo->text(), c.text);
        }
    }

    m_dialogs.messages.clear();
    ui.txtSMTPPassword->setText("one");
    ui.txtVerifySMTPPassword->setText("One");
    window->txtVerifySMTPPasswordExit(ui.txtSMTPPassword); // back to the password edit: no check
    EXPECT_TRUE(m_dialogs.messages.empty());
    window->txtVerifySMTPPasswordExit(ui.txtMailFrom);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text,
              "The passwords you typed do not match. Type the password in both boxes.");
    ui.txtVerifySMTPPassword->setText("one");
    window->txtVerifySMTPPasswordExit(ui.txtMailFrom);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

TEST_F(MainWindowTest, TheTemporaryFolderIsChosenThroughTheFolderDialog) {
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    ui.chkAppTempDir->setChecked(true);
    EXPECT_TRUE(ui.cmdAppTempDir->isEnabled());
    m_dialogs.folderAnswers.push_back("/var/tmp/chosen");
    window->cmdAppTempDirClick();
    EXPECT_EQ(ui.txtAppTempDir->text(), "/var/tmp/chosen");
    window->cmdAppTempDirClick(); // cancelled: unchanged
    EXPECT_EQ(ui.txtAppTempDir->text(), "/var/tmp/chosen");
    EXPECT_EQ(m_dialogs.folderCaptions.front(),
              "Select Directory|Select a directory below to add to backup.");
    ui.chkAppTempDir->setChecked(false);
    EXPECT_FALSE(ui.txtAppTempDir->isEnabled());
}

#include "main_window_test.moc"
