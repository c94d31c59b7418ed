// The main window's lifecycle: creation, the access password, showing and hiding, the Exit command,
// a second start's request, a forced end, help, and Apply with the start-with-login entry.
#include "app/ini_file.h"
#include "app/main_window/main_window.h"
#include "app/startup/autostart.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "tests/app/app_fixture.h"
#include "widgets/qt_dispatcher.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <sys/stat.h>
#include <thread>

using testing_support::Cancel;
using testing_support::Click;
using testing_support::ClickButton;
using testing_support::ClickRow;
using testing_support::Find;
using testing_support::HeldThread;
using testing_support::MainWindowTest;
using testing_support::MoveFocusTo;
using testing_support::Occupy;
using testing_support::PressKey;
using testing_support::ReadFile;
using testing_support::ReleaseAll;
using testing_support::ScopedEnv;
using testing_support::ShowActive;
using testing_support::TypeInto;
using testing_support::TypePassword;
using testing_support::WriteFile;

namespace {

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

void Settings(const std::string& settingsFile, const std::string& application) {
    WriteFile(settingsFile, "[Application]\n" + application);
}

std::string Password(const std::string& plain) {
    return "AppPassword=" + EncryptString(plain, kStoredPasswordKey) + "\n";
}

bool Checked(const QObject* window, const char* name) {
    auto* box = Find<QCheckBox>(window, name);
    return box && box->isChecked();
}

} // namespace

TEST_F(MainWindowTest, CreationShowsTitleVersionPagesAndEmptySlots) {
    AppVersion = {2, 0, 3, 17};
    auto window = Window();
    EXPECT_EQ(window->windowTitle(), "Brimvale 2.0");
    EXPECT_EQ(Find<QLabel>(window.get(), "lblAppName")->text(), "Brimvale 2.0");
    EXPECT_EQ(Find<QLabel>(window.get(), "lblVersion")->text(), "Version (2.0.3.17) Update 3");
    auto* pages = Find<QTabWidget>(window.get(), "pagMain");
    QStringList tabs;
    for (int i = 0; i < pages->count(); ++i)
        tabs << pages->tabText(i);
    EXPECT_EQ(tabs, QStringList({"Prof&iles", "&Status", "R&estore", "&Log", "&Application"}));
    EXPECT_EQ(Find<QPushButton>(window.get(), "cmdExit")->text(), "E&xit Brimvale");
    EXPECT_EQ(Find<QPushButton>(window.get(), "cmdClose")->toolTip(),
              "Close the Brimvale application window.");
    for (int slot = 1; slot <= 5; ++slot) {
        auto* group = Find<QGroupBox>(window.get(), QString("grpBkUpProcess%1").arg(slot));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), QString(" %1. ").arg(slot));
        EXPECT_FALSE(group->isEnabled());
        EXPECT_EQ(Find<QLabel>(window.get(), QString("lblStsSize%1").arg(slot))->text(), "Size: ");
    }
    // The mail sub-page shows the panel of the category clicked.
    window->show();
    EXPECT_EQ(Find<QListWidget>(window.get(), "lstMailCategory")->currentRow(), 0);
    ClickRow(window.get(), "lstMailCategory", 0);
    EXPECT_TRUE(Find(window.get(), "pnlMailGeneral")->isVisible());
    EXPECT_FALSE(Find(window.get(), "pnlMailSMTP")->isVisible());
    ClickRow(window.get(), "lstMailCategory", 2);
    EXPECT_TRUE(Find(window.get(), "pnlMailPOPAuthenticate")->isVisible());
    EXPECT_FALSE(Find(window.get(), "pnlMailGeneral")->isVisible());
    ClickRow(window.get(), "lstMailCategory", 1);
    EXPECT_TRUE(Find(window.get(), "pnlMailSMTP")->isVisible());
    EXPECT_FALSE(Find(window.get(), "pnlMailPOPAuthenticate")->isVisible());
    // Every sub-page of the Application page shows Apply.
    auto* subPages = Find<QTabWidget>(window.get(), "pagApplication");
    for (int i = 0; i < subPages->count(); ++i) {
        subPages->setCurrentIndex(i);
        EXPECT_EQ(Find<QPushButton>(window.get(), "cmdAppSettings")->text(), "Apply");
        EXPECT_TRUE(Find(window.get(), "cmdAppSettings")->isVisible());
    }
    // Without profiles the editor and Backup Now are off once the window shows.
    window->hide();
    window->show();
    EXPECT_FALSE(Find(window.get(), "pagBackup")->isEnabled());
    EXPECT_FALSE(Find(window.get(), "cmdBackupNow")->isEnabled());
    EXPECT_FALSE(Find<QAction>(window.get(), "mnuTrayBackupNow")->isEnabled());
    EXPECT_EQ(pages->currentIndex(), 0);
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
        Settings(SettingsFile(), std::string("ShowAppWinOnStart=") + (c.showSetting ? "1" : "0") + "\n");
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
        Settings(SettingsFile(), "ShowAppWinOnStart=1\nAppPassRequired=1\n" + Password(c.expected));
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

TEST_F(MainWindowTest, TrayOpenAsksThePasswordAndOnlyBringsAVisibleWindowForward) {
    Settings(SettingsFile(), "AppPassRequired=1\n" + Password("pw"));
    auto window = Window();
    m_dialogs.dialogAnswers.push_back(Cancel());
    Click(window.get(), "mnuTrayOpen");
    EXPECT_FALSE(window->isVisible());
    m_dialogs.dialogAnswers.push_back(TypePassword("pw"));
    Click(window.get(), "mnuTrayOpen");
    EXPECT_TRUE(window->isVisible());
    window->showMinimized();
    Click(window.get(), "mnuTrayOpen");
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(m_dialogs.dialogsShown.size(), 2u);
}

TEST_F(MainWindowTest, ASecondStartOpensTheWindowOnlyWithoutATray) {
    Settings(SettingsFile(), "AppPassRequired=1\n" + Password("pw"));
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
        Click(raw, "mnuTrayOpen");
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
    Click(window.get(), "chkAppLogDetail");
    Click(window.get(), "cmdClose");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Stored("LogDetails"), "1");
    window->show();
    Click(window.get(), "chkAppLogDetail");
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(Stored("LogDetails"), "0");
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->Exiting());
}

TEST_F(MainWindowTest, ExitWithoutPromptEndsTheProgram) {
    Settings(SettingsFile(), "PromptBeforeExit=0\n");
    for (const char* command : {"cmdExit", "mnuTrayClose"}) {
        SCOPED_TRACE(command);
        m_ended = 0;
        auto window = Window();
        window->show();
        Click(window.get(), command);
        EXPECT_EQ(m_ended, 1);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(Stored("PromptBeforeExit"), "0");
    }
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
    Click(window.get(), "mnuTrayClose");
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->Exiting());
    EXPECT_FALSE(Checked(window.get(), "chkPromptBeforeExit"));
}

TEST_F(MainWindowTest, ExitPromptOkEndsAndWritesTheSettingsOnTheWayOut) {
    auto window = Window();
    TypeInto(window.get(), "txtMailFrom", "me@example.org");
    m_dialogs.dialogAnswers.push_back(ClickButton("cmdTwo"));
    Click(window.get(), "mnuTrayClose");
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(Stored("MailFrom"), "me@example.org");
    EXPECT_EQ(Stored("PromptBeforeExit"), "1");
}

TEST_F(MainWindowTest, EnterAnswersTheExitPromptWithOkHoweverItWasOpened) {
    for (const char* command : {"cmdExit", "mnuTrayClose"}) {
        SCOPED_TRACE(command);
        m_ended = 0;
        auto window = Window();
        window->show();
        m_dialogs.dialogAnswers.push_back(PressKey(Qt::Key_Return));
        Click(window.get(), command);
        EXPECT_EQ(m_ended, 1);
        EXPECT_TRUE(window->Exiting());
    }
}

TEST_F(MainWindowTest, ThePromptsHaveAFixedSizeAndADefaultButton) {
    Settings(SettingsFile(), "AppPassRequired=1\n" + Password("pw"));
    auto window = Window();
    auto check = [](const char* defaultButton) {
        return [defaultButton](QDialog& dialog) {
            EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << dialog.objectName().toStdString();
            auto* button = dialog.findChild<QPushButton*>(defaultButton);
            EXPECT_TRUE(button && button->isDefault()) << defaultButton;
            return ClickButton(defaultButton)(dialog);
        };
    };
    m_dialogs.dialogAnswers.push_back([&](QDialog& dialog) {
        Find<QLineEdit>(&dialog, "txtPassword")->setText("pw");
        return check("cmdOK")(dialog);
    });
    Click(window.get(), "mnuTrayOpen");
    EXPECT_TRUE(window->isVisible());
    m_dialogs.dialogAnswers.push_back(check("cmdTwo"));
    Click(window.get(), "cmdExit");
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(m_dialogs.dialogsShown, std::vector<QString>({"TfrmPassword", "TfrmPrompt"}));
}

TEST_F(MainWindowTest, TitlesAreNotDoubled) {
    // Qt appends the application's display name to the title of every window and message box once one
    // is set: a box captioned with the title would read "Brimvale 2.0 — Brimvale 2.0".
    const QString before = QGuiApplication::applicationDisplayName();
    auto window = Window();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), before);
    EXPECT_NE(before, "Brimvale 2.0");
    EXPECT_EQ(window->windowTitle(), "Brimvale 2.0");
}

TEST_F(MainWindowTest, ExitIsRefusedWhileBackupsRun) {
    Settings(SettingsFile(), "PromptBeforeExit=0\n");
    auto window = Window();
    Occupy(*window, 2);
    Occupy(*window, 5);
    EXPECT_EQ(window->RunningBackupCount(), 2);
    EXPECT_EQ(window->FindFreeSlot(), 1);
    Click(window.get(), "mnuTrayClose");
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
    m_dialogs.dialogAnswers.push_back([raw](QDialog& prompt) {
        Occupy(*raw, 1);
        return ClickButton("cmdTwo")(prompt);
    });
    Click(window.get(), "cmdExit");
    EXPECT_EQ(m_ended, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Exiting());
    ReleaseAll(*window);
    window->show();
    Click(window.get(), "cmdClose");
    EXPECT_EQ(m_ended, 1);
}

TEST_F(MainWindowTest, AForcedEndStopsTheRunsWritesTheSettingsAndEnds) {
    auto window = Window();
    window->show();
    Occupy(*window, 1);
    Occupy(*window, 3);
    Click(window.get(), "chkAppLogDetail");
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
    EXPECT_EQ(window->FSlots[3].Thread.get(), stubborn);
    EXPECT_FALSE(stubborn->Finished());
    ReleaseAll(*window);
}

TEST_F(MainWindowTest, HelpOpensThePageOfTheActiveTab) {
    OpenedUrls opened;
    QDesktopServices::setUrlHandler("file", &opened, "Open");
    auto window = Window();
    window->show();
    auto* pages = Find<QTabWidget>(window.get(), "pagMain");
    Click(window.get(), "cmdHelp");
    pages->setCurrentWidget(Find(window.get(), "tabLog"));
    Click(window.get(), "cmdHelp");
    pages->setCurrentWidget(Find(window.get(), "tabApplication"));
    Click(window.get(), "cmdHelp");
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
    Click(window.get(), "cmdHelp");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text, "Help file not found.");
    EXPECT_EQ(m_dialogs.messages[0].caption, "Help Error");
}

TEST_F(MainWindowTest, ApplyWritesAndRemovesTheStartWithLoginEntry) {
    auto window = Window();
    window->show();
    const std::string entry = Config() + "autostart/Brimvale 2.0.desktop";

    // Unchecked with no entry: nothing to say.
    Click(window.get(), "cmdAppSettings");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(Checked(window.get(), "chkRunOnWindowsStartup"));
    EXPECT_TRUE(platform::FileExists(SettingsFile()));

    Click(window.get(), "chkRunOnWindowsStartup");
    Click(window.get(), "cmdAppSettings");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), "\"" + platform::ExecutablePath() + "\"");

    Click(window.get(), "chkRunOnWindowsStartup");
    Click(window.get(), "cmdAppSettings");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(platform::PathExists(entry));
}

TEST_F(MainWindowTest, ApplyReportsWhatTheEntryRefused) {
    auto window = Window();
    window->show();
    // The autostart folder cannot be made: a file stands in its place.
    WriteFile(Config() + "autostart", "");
    Click(window.get(), "chkRunOnWindowsStartup");
    Click(window.get(), "cmdAppSettings");
    EXPECT_FALSE(Checked(window.get(), "chkRunOnWindowsStartup"));
    Click(window.get(), "cmdAppSettings");
    ASSERT_EQ(m_dialogs.MessageTexts(), std::vector<QString>({"Unable to open the autostart folder.",
                                                              "Unable to open the autostart folder"}));
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale 2.0");
    EXPECT_FALSE(Checked(window.get(), "chkRunOnWindowsStartup"));

    // The entry cannot be written or removed: a folder with something in it stands in its place.
    ::unlink((Config() + "autostart").c_str());
    WriteFile(Config() + "autostart/Brimvale 2.0.desktop/inside", "");
    m_dialogs.messages.clear();
    Click(window.get(), "chkRunOnWindowsStartup");
    Click(window.get(), "cmdAppSettings");
    Click(window.get(), "chkRunOnWindowsStartup");
    Click(window.get(), "cmdAppSettings");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>({"Error: Failed to set data for 'Brimvale 2.0'",
                                                              "Unable to delete the autostart entry."}));
    EXPECT_TRUE(Checked(window.get(), "chkRunOnWindowsStartup"));
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
        EXPECT_EQ(Checked(window.get(), "chkRunOnWindowsStartup"), c.checked);
        EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), c.after);
    }
}

TEST_F(MainWindowTest, AnAddressIsCheckedWhenTheFocusLeavesIt) {
    auto window = Window();
    ShowActive(window.get());
    struct Case {
        const char* text;
        bool passes;
    };
    const Case cases[] = {
        {"", true},      {"a@b.c", true},  {"me@mail.example.org", true},
        {"@b.c", false}, {"a@.c", false},  {"a@bc", false},
        {"abc", false},  {"a.b@c", false},
    };
    auto* replyTo = Find<QLineEdit>(window.get(), "txtMailReplyTo");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_dialogs.messages.clear();
        TypeInto(window.get(), "txtMailReplyTo", c.text);
        MoveFocusTo(window.get(), "txtMailFrom");
        if (c.passes) {
            EXPECT_TRUE(m_dialogs.messages.empty());
            EXPECT_TRUE(Find(window.get(), "txtMailFrom")->hasFocus());
        } else {
            ASSERT_EQ(m_dialogs.messages.size(), 1u);
            EXPECT_EQ(m_dialogs.messages[0].text, QString(c.text) + " is not a valid email address.");
            EXPECT_TRUE(replyTo->hasFocus());
            EXPECT_EQ(replyTo->selectedText(), c.text);
            EXPECT_EQ(replyTo->text(), c.text);
        }
    }
}

TEST_F(MainWindowTest, PasswordPairsAreCheckedWhenTheFocusLeavesTheVerifyEdit) {
    auto window = Window();
    ShowActive(window.get());
    ClickRow(window.get(), "lstMailCategory", 1);
    TypeInto(window.get(), "txtSMTPPassword", "one");
    // Leaving the password edit goes to its verify edit, wherever the user aimed.
    MoveFocusTo(window.get(), "txtSMTPServer");
    EXPECT_TRUE(Find(window.get(), "txtVerifySMTPPassword")->hasFocus());
    TypeInto(window.get(), "txtVerifySMTPPassword", "One");
    // Back to the password edit: no check.
    MoveFocusTo(window.get(), "txtSMTPPassword");
    EXPECT_TRUE(m_dialogs.messages.empty());
    TypeInto(window.get(), "txtVerifySMTPPassword", "One");
    MoveFocusTo(window.get(), "txtSMTPServer");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].text,
              "The passwords you typed do not match. Type the password in both boxes.");
    EXPECT_TRUE(Find(window.get(), "txtVerifySMTPPassword")->hasFocus());
    TypeInto(window.get(), "txtVerifySMTPPassword", "one");
    MoveFocusTo(window.get(), "txtSMTPServer");
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(Find(window.get(), "txtSMTPServer")->hasFocus());
}

TEST_F(MainWindowTest, CheckBoxesSwitchWhatTheyGovern) {
    auto window = Window();
    window->show();
    struct Case {
        const char* box;
        std::function<bool()> governed;
    };
    const Case cases[] = {
        {"chkUpdates", [&] { return Find(window.get(), "cboUpdates")->isEnabled(); }},
        {"chkUpgrades", [&] { return Find(window.get(), "cboUpgrades")->isEnabled(); }},
        {"chkShowLogGrid", [&] { return Find<QTableWidget>(window.get(), "lvwLog")->showGrid(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        for (int click = 0; click < 2; ++click) {
            Click(window.get(), c.box);
            EXPECT_EQ(c.governed(), Checked(window.get(), c.box));
        }
    }
}

TEST_F(MainWindowTest, TheTemporaryFolderIsChosenThroughTheFolderDialog) {
    auto window = Window();
    window->show();
    auto* folder = Find<QLineEdit>(window.get(), "txtAppTempDir");
    Click(window.get(), "chkAppTempDir");
    EXPECT_TRUE(Find(window.get(), "cmdAppTempDir")->isEnabled());
    m_dialogs.folderAnswers.push_back("/var/tmp/chosen");
    Click(window.get(), "cmdAppTempDir");
    EXPECT_EQ(folder->text(), "/var/tmp/chosen");
    Click(window.get(), "cmdAppTempDir"); // cancelled: unchanged
    EXPECT_EQ(folder->text(), "/var/tmp/chosen");
    ASSERT_EQ(m_dialogs.folderCaptions.size(), 2u);
    EXPECT_EQ(m_dialogs.folderCaptions.front(),
              "Select Directory|Select a directory below to add to backup.");
    Click(window.get(), "chkAppTempDir");
    EXPECT_FALSE(folder->isEnabled());
    EXPECT_FALSE(Find(window.get(), "cmdAppTempDir")->isEnabled());
}

#include "main_window_test.moc"
