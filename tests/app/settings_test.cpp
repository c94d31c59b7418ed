// The settings file: defaults, hand-edited and malformed values, unknown keys, enciphered passwords,
// the date of the last update check, and a file that cannot be written.
#include "app/ini_file.h"
#include "app/main_window.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/clock.h"
#include "platform/format_settings.h"
#include "tests/app/app_fixture.h"
#include "ui_main_window.h"

#include <QTest>

#include <sys/stat.h>

using testing_support::AppTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class SettingsTest : public AppTest {
protected:
    std::unique_ptr<TfrmMain> Window() {
        TMainWindowOptions options;
        options.SystemTray = true;
        return std::make_unique<TfrmMain>(options);
    }
    std::string Stored(const std::string& section, const std::string& key) const {
        return TIniFile(SettingsFile()).ReadString(section, key, "<missing>");
    }
};

// 31 December 2025.
constexpr double Dec31 = 46022;

} // namespace

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    EXPECT_EQ(window->width(), 485);
    EXPECT_EQ(window->height(), 460);
    EXPECT_TRUE(ui.chkPromptBeforeExit->isChecked());
    EXPECT_TRUE(ui.chkRedIcon->isChecked());
    EXPECT_TRUE(ui.chkUpdates->isChecked());
    EXPECT_TRUE(ui.chkUpgrades->isChecked());
    EXPECT_EQ(ui.cboUpdates->currentText(), "at startup");
    EXPECT_EQ(ui.cboUpgrades->currentText(), "at startup");
    EXPECT_EQ(ui.spnAppLogSize->value(), 1000);
    EXPECT_FALSE(ui.chkAppPassword->isChecked());
    EXPECT_EQ(ui.txtAppPassword->text(), "");
    EXPECT_FALSE(ui.chkShowAppWindow->isChecked());
    EXPECT_FALSE(ui.chkAppTempDir->isChecked());
    EXPECT_FALSE(ui.txtAppTempDir->isEnabled());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->ValidateDestinationMedia());
    EXPECT_EQ(window->LogWindowHeight(), 415);
    EXPECT_EQ(window->LogWindowWidth(), 450);
    EXPECT_EQ(window->LastUpdateCheck(), 0);
    // The folders beside the program exist.
    EXPECT_EQ(ProfilesDir, Home() + "Profiles/");
    EXPECT_EQ(LogsDir, Home() + "Logs/");
    struct stat st {};
    EXPECT_EQ(::stat(ProfilesDir.c_str(), &st), 0);
    EXPECT_EQ(::stat(LogsDir.c_str(), &st), 0);

    // The first write creates the file with every key but the destination check, in the write order.
    ASSERT_TRUE(window->SaveAppSettings());
    EXPECT_EQ(ReadFile(SettingsFile()),
              "[Application]\nMailFrom=\nMailReplyTo=\nSMTPHost=\nSMTPUsername=\nSMTPPassword=\nPOP3Host=\n"
              "POP3Username=\nPOP3Password=\nAppPassRequired=0\nShowAppWinOnStart=0\nPromptBeforeExit=1\n"
              "BlinkingRedIcon=1\nAppPassword=\nUseAppTempDir=0\nAppTempDir=\nMaxLogSize=1000\nLogDetails=0\n"
              "LogGrid=0\nWindowHeight=460\nWindowWidth=485\nLogWindowHeight=415\nLogWindowWidth=450\n\n"
              "[Updates]\nAutoCheckUpdates=1\nAutoCheckUpdateInterval=0\nAutoCheckUpgrades=1\n"
              "AutoCheckUpgradeInterval=0\nLastUpdateCheck=12/30/1899\n");
    ASSERT_EQ(::stat(SettingsFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsTest, HandEditedValuesAreClampedAndUnknownKeysKept) {
    WriteFile(SettingsFile(), "; edited by hand\n[application]\nwindowheight=455\nWindowWidth=600\n"
                              "LogWindowWidth=100\nLogWindowHeight=500\nMaxLogSize=50000\nLogDetails=7\n"
                              "ValidateDestinationMedia=0\nUseAppTempDir=1\nAppTempDir=/var/tmp/bv\n"
                              "LogGrid=1\nPromptBeforeExit=yes\nMyOwnKey=stays\n\n"
                              "[Updates]\nAutoCheckUpdates=0\nAutoCheckUpdateInterval=3\n"
                              "AutoCheckUpgradeInterval=9\n\n[Mine]\nA=1\n");
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    EXPECT_EQ(window->height(), 460); // 455 applied, lifted to the window's minimum
    EXPECT_EQ(window->width(), 600);
    EXPECT_EQ(window->LogWindowWidth(), 450);
    EXPECT_EQ(window->LogWindowHeight(), 500);
    EXPECT_EQ(ui.spnAppLogSize->value(), 10000);
    EXPECT_TRUE(ui.chkAppLogDetail->isChecked());
    EXPECT_FALSE(window->ValidateDestinationMedia());
    EXPECT_TRUE(ui.chkAppTempDir->isChecked());
    EXPECT_TRUE(ui.txtAppTempDir->isEnabled());
    EXPECT_TRUE(ui.cmdAppTempDir->isEnabled());
    EXPECT_EQ(ui.txtAppTempDir->text(), "/var/tmp/bv");
    EXPECT_TRUE(ui.lvwLog->showGrid());
    EXPECT_TRUE(ui.chkPromptBeforeExit->isChecked()); // not a number: the default
    EXPECT_FALSE(ui.chkUpdates->isChecked());
    EXPECT_FALSE(ui.cboUpdates->isEnabled());
    EXPECT_EQ(ui.cboUpdates->currentText(), "every 15 days");
    EXPECT_TRUE(ui.cboUpgrades->isEnabled());
    EXPECT_EQ(ui.cboUpgrades->currentIndex(), -1);

    ASSERT_TRUE(window->SaveAppSettings());
    EXPECT_EQ(Stored("Application", "LogWindowWidth"), "450");
    EXPECT_EQ(Stored("Application", "MaxLogSize"), "10000");
    EXPECT_EQ(Stored("Application", "ValidateDestinationMedia"), "0");
    EXPECT_EQ(Stored("Application", "MyOwnKey"), "stays");
    EXPECT_EQ(Stored("Mine", "A"), "1");
    const std::string text = ReadFile(SettingsFile());
    EXPECT_EQ(text.rfind("; edited by hand\n[application]\nwindowheight=460\n", 0), 0u) << text;
}

TEST_F(SettingsTest, SmallWindowSizesAreIgnored) {
    WriteFile(SettingsFile(), "[Application]\nWindowHeight=449\nWindowWidth=461\n");
    auto window = Window();
    EXPECT_EQ(window->height(), 460);
    EXPECT_EQ(window->width(), 485);
}

TEST_F(SettingsTest, PasswordsAreStoredEnciphered) {
    WriteFile(SettingsFile(),
              "[Application]\nAppPassRequired=1\nAppPassword=" + EncryptString("s3cret", kStoredPasswordKey) +
                  "\nSMTPPassword=" + EncryptString("smtp pass", kStoredPasswordKey) +
                  "\nPOP3Password=" + EncryptString("pop", kStoredPasswordKey) + "\n");
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    EXPECT_EQ(ui.txtAppPassword->text(), "s3cret");
    EXPECT_EQ(ui.txtVerifyAppPassword->text(), "s3cret");
    EXPECT_EQ(ui.txtSMTPPassword->text(), "smtp pass");
    EXPECT_EQ(ui.txtVerifySMTPPassword->text(), "smtp pass");
    EXPECT_EQ(ui.txtPOPPassword->text(), "pop");
    EXPECT_EQ(ui.txtVerifyPOPPassword->text(), "pop");

    // The password edit is what is stored; the verify edit never is.
    ui.txtAppPassword->setText("changed");
    ui.txtVerifyAppPassword->setText("different");
    ASSERT_TRUE(window->SaveAppSettings());
    const std::string stored = Stored("Application", "AppPassword");
    EXPECT_EQ(stored, EncryptString("changed", kStoredPasswordKey));
    EXPECT_EQ(DecryptString(stored, kStoredPasswordKey), "changed");
    EXPECT_EQ(ReadFile(SettingsFile()).find("changed"), std::string::npos);
    EXPECT_EQ(ReadFile(SettingsFile()).find("different"), std::string::npos);
}

TEST_F(SettingsTest, LastUpdateCheckKeepsItsDateWhateverTheLocale) {
    platform::SetClock([] { return Dec31 + 0.5; });
    platform::TFormatSettings german = platform::UsFormatSettings();
    german.ShortDateFormat = "dd/mm/yy";
    german.DateSeparator = ".";
    platform::SetFormatSettings(german);
    struct Case {
        const char* stored;
        double expected;
    };
    const Case cases[] = {
        {"12/30/2025", Dec31 - 1}, // the fixed form
        {"30.12.25", Dec31 - 1},   // an older file in the locale's short date
        {"01/02/2026", 0},         // after today: never counted from
        {"garbage", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        WriteFile(SettingsFile(), std::string("[Updates]\nLastUpdateCheck=") + c.stored + "\n");
        auto window = Window();
        EXPECT_EQ(window->LastUpdateCheck(), c.expected);
        ASSERT_TRUE(window->SaveAppSettings());
        if (c.expected > 0) {
            EXPECT_EQ(Stored("Updates", "LastUpdateCheck"), "12/30/2025");
        }
    }
    platform::ResetFormatSettings();
    platform::SetClock({});
}

TEST_F(SettingsTest, AnUnwritableFileIsReportedOnceAndBlocksNothing) {
    // A folder where the settings file belongs cannot be replaced, not even by root.
    ASSERT_EQ(::mkdir(SettingsFile().c_str(), 0700), 0);
    auto window = Window();
    window->ui().chkPromptBeforeExit->setChecked(false);
    window->show();
    window->cmdCloseClick();
    EXPECT_FALSE(window->isVisible());
    window->show();
    window->cmdCloseClick();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith(
        QString::fromStdString("Unable to save the settings file " + SettingsFile() + " (")));
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale 2.0");

    bool ended = false;
    QObject::connect(window.get(), &TfrmMain::ProgramEnded, [&] { ended = true; });
    window->mnuTrayCloseClick();
    EXPECT_TRUE(ended);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

// Values an older version wrote in an 8-bit code page are no UTF-8; saved unchanged, they stay as they were.
TEST_F(SettingsTest, ValuesThatAreNoUtf8AreWrittenBackByteForByte) {
    const std::string legacyPassword = EncryptString("p\xE4ss", kStoredPasswordKey);
    const std::string content =
        "[Application]\nMailFrom=M\xFCller <m\xFC@x.de>\nSMTPPassword=" + legacyPassword +
        "\nAppTempDir=/tmp/\xC3\nSMTPHost=h\xC3\xA9\xF0\x9F\x98\x80\n";
    WriteFile(SettingsFile(), content);
    auto window = Window();
    Ui::TfrmMain& ui = window->ui();
    ASSERT_TRUE(window->SaveAppSettings());
    EXPECT_EQ(Stored("Application", "MailFrom"), "M\xFCller <m\xFC@x.de>");
    EXPECT_EQ(Stored("Application", "SMTPPassword"), legacyPassword);
    EXPECT_EQ(Stored("Application", "AppTempDir"), "/tmp/\xC3");
    EXPECT_EQ(Stored("Application", "SMTPHost"), "h\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(ui.txtSMTPServer->text(),
              QString::fromUtf8("h\xC3\xA9\xF0\x9F\x98\x80")); // valid text reads as it is
    // A value the user changes is written as typed.
    ui.txtMailFrom->selectAll();
    QTest::keyClicks(ui.txtMailFrom, "new@x.de");
    ASSERT_TRUE(window->SaveAppSettings());
    EXPECT_EQ(Stored("Application", "MailFrom"), "new@x.de");
}
