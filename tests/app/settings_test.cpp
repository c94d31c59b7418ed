// The settings file: defaults, hand-edited and malformed values, unknown keys, enciphered passwords,
// the date of the last update check, and a file that cannot be written.
#include "app/main_window/main_window.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/format_settings.h"
#include "tests/app/app_fixture.h"
#include "tests/support/seams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>

#include <sys/stat.h>

using testing_support::Click;
using testing_support::Find;
using testing_support::MainWindowTest;
using testing_support::ReadFile;
using testing_support::TypeInto;
using testing_support::WriteFile;

namespace {

using SettingsTest = MainWindowTest;

bool Checked(const QObject* window, const char* name) {
    auto* box = Find<QCheckBox>(window, name);
    return box && box->isChecked();
}
QString Text(const QObject* window, const char* name) {
    auto* edit = Find<QLineEdit>(window, name);
    return edit ? edit->text() : QString("<missing>");
}
bool Enabled(const QObject* window, const char* name) {
    auto* control = Find(window, name);
    return control && control->isEnabled();
}

// 31 December 2025.
constexpr double Dec31 = 46022;

} // namespace

TEST_F(SettingsTest, NoFileGivesTheDefaults) {
    const testing_support::ScopedSeams seams;
    const testing_support::ScopedClock clock(Dec31 + 0.5);
    auto window = Window();
    EXPECT_EQ(window->width(), 485);
    EXPECT_EQ(window->height(), 460);
    EXPECT_TRUE(Checked(window.get(), "chkPromptBeforeExit"));
    EXPECT_TRUE(Checked(window.get(), "chkRedIcon"));
    EXPECT_TRUE(Checked(window.get(), "chkUpdates"));
    EXPECT_TRUE(Checked(window.get(), "chkUpgrades"));
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboUpdates")->currentText(), "at startup");
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboUpgrades")->currentText(), "at startup");
    EXPECT_EQ(Find<QSpinBox>(window.get(), "spnAppLogSize")->value(), 1000);
    EXPECT_FALSE(Checked(window.get(), "chkAppPassword"));
    EXPECT_EQ(Text(window.get(), "txtAppPassword"), "");
    EXPECT_FALSE(Checked(window.get(), "chkShowAppWindow"));
    EXPECT_FALSE(Checked(window.get(), "chkAppTempDir"));
    EXPECT_FALSE(Enabled(window.get(), "txtAppTempDir"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->AppSettings().ValidateDestinationMedia);
    EXPECT_EQ(window->AppSettings().LogWindowHeight, 415);
    EXPECT_EQ(window->AppSettings().LogWindowWidth, 450);
    // The checks "at startup" ran (and found nothing at the refusing feed address).
    EXPECT_EQ(window->AppSettings().LastUpdateCheck, Dec31 + 0.5);
    // The folders beside the program exist.
    EXPECT_EQ(ProfilesDir, Home() + "Profiles/");
    EXPECT_EQ(LogsDir, Home() + "Logs/");
    struct stat st {};
    EXPECT_EQ(::stat(ProfilesDir.c_str(), &st), 0);
    EXPECT_EQ(::stat(LogsDir.c_str(), &st), 0);

    // The file holds every key but the destination check, in the write order; the last update check
    // as a date.
    window->close();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(ReadFile(SettingsFile()),
              "[Application]\nMailFrom=\nMailReplyTo=\nSMTPHost=\nSMTPUsername=\nSMTPPassword=\nPOP3Host=\n"
              "POP3Username=\nPOP3Password=\nAppPassRequired=0\nShowAppWinOnStart=0\nPromptBeforeExit=1\n"
              "BlinkingRedIcon=1\nAppPassword=\nUseAppTempDir=0\nAppTempDir=\nMaxLogSize=1000\nLogDetails=0\n"
              "LogGrid=0\nWindowHeight=460\nWindowWidth=485\nLogWindowHeight=415\nLogWindowWidth=450\n\n"
              "[Updates]\nAutoCheckUpdates=1\nAutoCheckUpdateInterval=0\nAutoCheckUpgrades=1\n"
              "AutoCheckUpgradeInterval=0\nLastUpdateCheck=12/31/2025\n");
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
    EXPECT_EQ(window->height(), 460); // 455 applied, lifted to the window's minimum
    EXPECT_EQ(window->width(), 600);
    EXPECT_EQ(window->AppSettings().LogWindowWidth, 450);
    EXPECT_EQ(window->AppSettings().LogWindowHeight, 500);
    EXPECT_EQ(Find<QSpinBox>(window.get(), "spnAppLogSize")->value(), 10000);
    EXPECT_TRUE(Checked(window.get(), "chkAppLogDetail"));
    EXPECT_FALSE(window->AppSettings().ValidateDestinationMedia);
    EXPECT_TRUE(Checked(window.get(), "chkAppTempDir"));
    EXPECT_TRUE(Enabled(window.get(), "txtAppTempDir"));
    EXPECT_TRUE(Enabled(window.get(), "cmdAppTempDir"));
    EXPECT_EQ(Text(window.get(), "txtAppTempDir"), "/var/tmp/bv");
    EXPECT_TRUE(Find<QTableWidget>(window.get(), "lvwLog")->showGrid());
    EXPECT_TRUE(Checked(window.get(), "chkPromptBeforeExit")); // not a number: the default
    EXPECT_FALSE(Checked(window.get(), "chkUpdates"));
    EXPECT_FALSE(Enabled(window.get(), "cboUpdates"));
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboUpdates")->currentText(), "every 15 days");
    EXPECT_TRUE(Enabled(window.get(), "cboUpgrades"));
    EXPECT_EQ(Find<QComboBox>(window.get(), "cboUpgrades")->currentIndex(), -1);

    window->close();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(Stored("LogWindowWidth"), "450");
    EXPECT_EQ(Stored("MaxLogSize"), "10000");
    EXPECT_EQ(Stored("ValidateDestinationMedia"), "0");
    EXPECT_EQ(Stored("MyOwnKey"), "stays");
    EXPECT_EQ(Stored("A", "Mine"), "1");
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
    EXPECT_EQ(Text(window.get(), "txtAppPassword"), "s3cret");
    EXPECT_EQ(Text(window.get(), "txtVerifyAppPassword"), "s3cret");
    EXPECT_EQ(Text(window.get(), "txtSMTPPassword"), "smtp pass");
    EXPECT_EQ(Text(window.get(), "txtVerifySMTPPassword"), "smtp pass");
    EXPECT_EQ(Text(window.get(), "txtPOPPassword"), "pop");
    EXPECT_EQ(Text(window.get(), "txtVerifyPOPPassword"), "pop");

    // The password edit is what is stored; the verify edit never is.
    TypeInto(window.get(), "txtAppPassword", "changed");
    TypeInto(window.get(), "txtVerifyAppPassword", "different");
    window->close();
    const std::string stored = Stored("AppPassword");
    EXPECT_EQ(stored, EncryptString("changed", kStoredPasswordKey));
    EXPECT_EQ(DecryptString(stored, kStoredPasswordKey), "changed");
    EXPECT_EQ(ReadFile(SettingsFile()).find("changed"), std::string::npos);
    EXPECT_EQ(ReadFile(SettingsFile()).find("different"), std::string::npos);
}

TEST_F(SettingsTest, LastUpdateCheckKeepsItsDateWhateverTheLocale) {
    const testing_support::ScopedClock clock(Dec31 + 0.5);
    platform::TFormatSettings german = platform::UsFormatSettings();
    german.ShortDateFormat = "dd/mm/yy";
    german.DateSeparator = ".";
    const testing_support::ScopedSeams seams(german);
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
        // No check at start, which would move the date.
        WriteFile(SettingsFile(),
                  std::string("[Updates]\nAutoCheckUpdates=0\nAutoCheckUpgrades=0\nLastUpdateCheck=") +
                      c.stored + "\n");
        auto window = Window();
        EXPECT_EQ(window->AppSettings().LastUpdateCheck, c.expected);
        window->close();
        if (c.expected > 0) {
            EXPECT_EQ(Stored("LastUpdateCheck", "Updates"), "12/30/2025");
        }
    }
}

TEST_F(SettingsTest, AnUnwritableFileIsReportedOnceAndBlocksNothing) {
    // A folder where the settings file belongs cannot be replaced, not even by root.
    ASSERT_EQ(::mkdir(SettingsFile().c_str(), 0700), 0);
    auto window = Window();
    window->show();
    Click(window.get(), "chkPromptBeforeExit");
    Click(window.get(), "cmdClose");
    EXPECT_FALSE(window->isVisible());
    window->show();
    Click(window.get(), "cmdClose");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages[0].text.startsWith(
        QString::fromStdString("Unable to save the settings file " + SettingsFile() + " (")));
    EXPECT_EQ(m_dialogs.messages[0].caption, "Brimvale 2.0");

    Click(window.get(), "mnuTrayClose");
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

// Values an older version wrote in an 8-bit code page are no UTF-8; saved unchanged, they stay as they were.
TEST_F(SettingsTest, ValuesThatAreNoUtf8AreWrittenBackByteForByte) {
    const std::string legacyPassword = EncryptString("p\xE4ss", kStoredPasswordKey);
    WriteFile(SettingsFile(),
              "[Application]\nMailFrom=M\xFCller <m\xFC@x.de>\nSMTPPassword=" + legacyPassword +
                  "\nAppTempDir=/tmp/\xC3\nSMTPHost=h\xC3\xA9\xF0\x9F\x98\x80\n");
    auto window = Window();
    EXPECT_EQ(Text(window.get(), "txtSMTPServer"), QString::fromUtf8("h\xC3\xA9\xF0\x9F\x98\x80"));
    window->close();
    EXPECT_EQ(Stored("MailFrom"), "M\xFCller <m\xFC@x.de>");
    EXPECT_EQ(Stored("SMTPPassword"), legacyPassword);
    EXPECT_EQ(Stored("AppTempDir"), "/tmp/\xC3");
    EXPECT_EQ(Stored("SMTPHost"), "h\xC3\xA9\xF0\x9F\x98\x80");
    // A value the user changes is written as typed.
    auto again = Window();
    TypeInto(again.get(), "txtMailFrom", "new@x.de");
    again->close();
    EXPECT_EQ(Stored("MailFrom"), "new@x.de");
    EXPECT_EQ(Stored("SMTPPassword"), legacyPassword);
}
