// The settings table on its own: defaults, every key's round trip, the limits and the write order.
#include "app/app_settings.h"

#include "app/ini_file.h"
#include "engine/qm_crypt.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// 31 December 2025.
constexpr double Dec31 = 46022;

class AppSettingsTest : public ::testing::Test {
protected:
    std::string File() const { return m_temp / "conf/brimvale.ini"; }
    const testing_support::ScopedClock m_clock{Dec31 + 0.5};
    TempDir m_temp;
};

} // namespace

TEST_F(AppSettingsTest, DefaultsAreWrittenInTheFileOrderWithoutTheDestinationCheck) {
    const TAppSettings defaults;
    EXPECT_EQ(LoadAppSettingsFile(File()), defaults);
    const platform::Status saved = SaveAppSettingsFile(File(), defaults);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.Code(), 0);
    EXPECT_EQ(ReadFile(File()),
              "[Application]\nMailFrom=\nMailReplyTo=\nSMTPHost=\nSMTPUsername=\nSMTPPassword=\nPOP3Host=\n"
              "POP3Username=\nPOP3Password=\nAppPassRequired=0\nShowAppWinOnStart=0\nPromptBeforeExit=1\n"
              "BlinkingRedIcon=1\nAppPassword=\nUseAppTempDir=0\nAppTempDir=\nMaxLogSize=1000\nLogDetails=0\n"
              "LogGrid=0\nWindowHeight=450\nWindowWidth=462\nLogWindowHeight=415\nLogWindowWidth=450\n\n"
              "[Updates]\nAutoCheckUpdates=1\nAutoCheckUpdateInterval=0\nAutoCheckUpgrades=1\n"
              "AutoCheckUpgradeInterval=0\nLastUpdateCheck=12/30/1899\n");
    EXPECT_TRUE(defaults.ValidateDestinationMedia);
    EXPECT_EQ(LoadAppSettingsFile(File()), defaults);
}

TEST_F(AppSettingsTest, EveryKeyComesBackAsItWasWritten) {
    // A value other than the default for every key, each distinct, with text that needs care.
    TAppSettings changed;
    std::set<std::string> names;
    int number = 11;
    for (const TSettingKey& key : AppSettingKeys()) {
        SCOPED_TRACE(key.Name);
        EXPECT_TRUE(names.insert(key.Name).second) << "twice in the table";
        std::visit(
            [&](auto field) {
                using Value = std::remove_reference_t<decltype(changed.*field)>;
                if constexpr (std::is_same_v<Value, bool>)
                    changed.*field = !(changed.*field);
                else if constexpr (std::is_same_v<Value, std::string>)
                    changed.*field = std::string(key.Name) + " ä = ; \"x\"";
                else if constexpr (std::is_same_v<Value, double>)
                    changed.*field = Dec31 - 3;
                else
                    changed.*field = std::max(key.Min, 500 + number++);
            },
            key.Field);
    }
    EXPECT_EQ(names.size(), 28u);
    ASSERT_TRUE(SaveAppSettingsFile(File(), changed));
    TAppSettings expected = changed;
    expected.ValidateDestinationMedia = true; // never written: reads as its default
    EXPECT_EQ(LoadAppSettingsFile(File()), expected);

    const std::string text = ReadFile(File());
    EXPECT_EQ(text.find("ValidateDestinationMedia"), std::string::npos);
    // Passwords are stored enciphered, never as typed.
    EXPECT_EQ(text.find("AppPassword ä"), std::string::npos);
    EXPECT_EQ(TIniFile(File()).ReadString("Application", "SMTPPassword", ""),
              EncryptString(changed.SMTPPassword, kStoredPasswordKey));
}

TEST_F(AppSettingsTest, NumbersAreHeldToTheirLimitsAndBadValuesReadAsDefaults) {
    struct Case {
        const char* line;
        std::int32_t TAppSettings::*field;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"MaxLogSize=50000", &TAppSettings::MaxLogSize, 10000},
        {"MaxLogSize=10000", &TAppSettings::MaxLogSize, 10000},
        {"MaxLogSize=10", &TAppSettings::MaxLogSize, 10},
        {"MaxLogSize=9", &TAppSettings::MaxLogSize, 10},
        {"MaxLogSize=many", &TAppSettings::MaxLogSize, 1000},
        {"LogWindowHeight=100", &TAppSettings::LogWindowHeight, 415},
        {"LogWindowHeight=416", &TAppSettings::LogWindowHeight, 416},
        {"LogWindowWidth=449", &TAppSettings::LogWindowWidth, 450},
        {"LogWindowWidth=9000", &TAppSettings::LogWindowWidth, 9000},
        // The window applies a stored size only from its own limit up; the file keeps what it holds.
        {"WindowHeight=12", &TAppSettings::WindowHeight, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(File(), std::string("[Application]\n") + c.line + "\n");
        EXPECT_EQ(LoadAppSettingsFile(File()).*c.field, c.expected);
    }
    WriteFile(File(), "[Application]\nPromptBeforeExit=yes\nLogGrid=7\n[Updates]\nLastUpdateCheck=soon\n");
    const TAppSettings read = LoadAppSettingsFile(File());
    EXPECT_TRUE(read.PromptBeforeExit);
    EXPECT_TRUE(read.LogGrid);
    EXPECT_EQ(read.LastUpdateCheck, 0);
}

TEST_F(AppSettingsTest, AFileThatCannotBeWrittenReportsItsError) {
    // A folder in the file's place cannot be replaced, not even by root.
    const std::string blocked = m_temp / "blocked/brimvale.ini";
    WriteFile(blocked + "/inside", "");
    const platform::Status saved = SaveAppSettingsFile(blocked, TAppSettings());
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.Code(), 0);
    EXPECT_EQ(ReadFile(blocked + "/inside"), "");
}
