// The settings table and its reading and writing.
#include "app/app_settings.h"

#include "app/ini_file.h"
#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/format_settings.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* Application = "Application";
constexpr const char* Updates = "Updates";

using S = TAppSettings;
using T = TSettingType;

TSettingKey Bool(const char* section, const char* name, bool S::*field, bool def) {
    return {section, name, T::Boolean, field, def ? 1.0 : 0.0};
}
TSettingKey Integer(const char* section, const char* name, std::int32_t S::*field, std::int32_t def,
                    std::int32_t min = INT32_MIN, std::int32_t max = INT32_MAX) {
    return {section, name, T::Integer, field, static_cast<double>(def), "", min, max};
}
TSettingKey Text(const char* name, std::string S::*field) {
    return {Application, name, T::String, field};
}
TSettingKey Password(const char* name, std::string S::*field) {
    return {Application, name, T::Password, field};
}
TSettingKey NeverWritten(TSettingKey key) {
    key.Written = false;
    return key;
}

std::vector<TSettingKey> MakeTable() {
    return {
        Text("MailFrom", &S::MailFrom),
        Text("MailReplyTo", &S::MailReplyTo),
        Text("SMTPHost", &S::SMTPHost),
        Text("SMTPUsername", &S::SMTPUsername),
        Password("SMTPPassword", &S::SMTPPassword),
        Text("POP3Host", &S::POP3Host),
        Text("POP3Username", &S::POP3Username),
        Password("POP3Password", &S::POP3Password),
        Bool(Application, "AppPassRequired", &S::AppPassRequired, false),
        Bool(Application, "ShowAppWinOnStart", &S::ShowAppWinOnStart, false),
        Bool(Application, "PromptBeforeExit", &S::PromptBeforeExit, true),
        Bool(Application, "BlinkingRedIcon", &S::BlinkingRedIcon, true),
        Password("AppPassword", &S::AppPassword),
        Bool(Application, "UseAppTempDir", &S::UseAppTempDir, false),
        Text("AppTempDir", &S::AppTempDir),
        Integer(Application, "MaxLogSize", &S::MaxLogSize, 1000, 10, 10000),
        Bool(Application, "LogDetails", &S::LogDetails, false),
        Bool(Application, "LogGrid", &S::LogGrid, false),
        Integer(Application, "WindowHeight", &S::WindowHeight, 450),
        Integer(Application, "WindowWidth", &S::WindowWidth, 462),
        Integer(Application, "LogWindowHeight", &S::LogWindowHeight, 415, 415),
        Integer(Application, "LogWindowWidth", &S::LogWindowWidth, 450, 450),
        NeverWritten(Bool(Application, "ValidateDestinationMedia", &S::ValidateDestinationMedia, true)),
        Bool(Updates, "AutoCheckUpdates", &S::AutoCheckUpdates, true),
        Integer(Updates, "AutoCheckUpdateInterval", &S::AutoCheckUpdateInterval, 0),
        Bool(Updates, "AutoCheckUpgrades", &S::AutoCheckUpgrades, true),
        Integer(Updates, "AutoCheckUpgradeInterval", &S::AutoCheckUpgradeInterval, 0),
        {Updates, "LastUpdateCheck", T::Date, &S::LastUpdateCheck},
    };
}

// The date of the last update check is kept in the profile file's fixed form with a four-digit year,
// so that a change of locale can never move it. Files written with the locale's short date still read.
std::string DateToIniStr(TDateTime value) {
    return FormatDateTime("mm/dd/yyyy", std::floor(value), platform::UsFormatSettings());
}

TDateTime IniStrToDate(const std::string& text) {
    TDateTime value = IniStrToDateTime(text, -1);
    if (value < 0 && !TryStrToDateTime(text, platform::GetFormatSettings(), value))
        return 0;
    value = std::floor(value);
    // A date after today was misread (or the clock was wrong then); counting from it would stop the
    // checks until that day came.
    if (value < 0 || value > std::floor(Now()))
        return 0;
    return value;
}

void ReadKey(const TIniFile& ini, const TSettingKey& key, TAppSettings& settings) {
    switch (key.Type) {
    case T::Boolean:
        settings.*std::get<bool S::*>(key.Field) = ini.ReadBool(key.Section, key.Name, key.Number != 0);
        break;
    case T::Integer: {
        const std::int32_t value =
            ini.ReadInteger(key.Section, key.Name, static_cast<std::int32_t>(key.Number));
        settings.*std::get<std::int32_t S::*>(key.Field) = std::clamp(value, key.Min, key.Max);
        break;
    }
    case T::String:
        settings.*std::get<std::string S::*>(key.Field) = ini.ReadString(key.Section, key.Name, key.Text);
        break;
    case T::Password:
        settings.*std::get<std::string S::*>(key.Field) =
            DecryptString(ini.ReadString(key.Section, key.Name, key.Text), kStoredPasswordKey);
        break;
    case T::Date:
        settings.*std::get<TDateTime S::*>(key.Field) =
            IniStrToDate(ini.ReadString(key.Section, key.Name, ""));
        break;
    }
}

void WriteKey(TIniFile& ini, const TSettingKey& key, const TAppSettings& settings) {
    switch (key.Type) {
    case T::Boolean:
        ini.WriteBool(key.Section, key.Name, settings.*std::get<bool S::*>(key.Field));
        break;
    case T::Integer:
        ini.WriteInteger(key.Section, key.Name, settings.*std::get<std::int32_t S::*>(key.Field));
        break;
    case T::String:
        ini.WriteString(key.Section, key.Name, settings.*std::get<std::string S::*>(key.Field));
        break;
    case T::Password:
        ini.WriteString(key.Section, key.Name,
                        EncryptString(settings.*std::get<std::string S::*>(key.Field), kStoredPasswordKey));
        break;
    case T::Date:
        ini.WriteString(key.Section, key.Name, DateToIniStr(settings.*std::get<TDateTime S::*>(key.Field)));
        break;
    }
}

} // namespace

TAppSettings::TAppSettings() {
    for (const TSettingKey& key : AppSettingKeys()) {
        std::visit(
            [&](auto field) {
                using Value = std::remove_reference_t<decltype(this->*field)>;
                if constexpr (std::is_same_v<Value, std::string>)
                    this->*field = key.Text;
                else
                    this->*field = static_cast<Value>(key.Number);
            },
            key.Field);
    }
}

const std::vector<TSettingKey>& AppSettingKeys() {
    static const std::vector<TSettingKey> keys = MakeTable();
    return keys;
}

TAppSettings ReadAppSettings(const TIniFile& ini) {
    TAppSettings settings;
    for (const TSettingKey& key : AppSettingKeys())
        ReadKey(ini, key, settings);
    return settings;
}

void WriteAppSettings(TIniFile& ini, const TAppSettings& settings) {
    for (const TSettingKey& key : AppSettingKeys()) {
        if (key.Written)
            WriteKey(ini, key, settings);
    }
}

TAppSettings LoadAppSettingsFile(const std::string& fileName) {
    return ReadAppSettings(TIniFile(fileName));
}

bool SaveAppSettingsFile(const std::string& fileName, const TAppSettings& settings, int& error) {
    TIniFile ini(fileName);
    WriteAppSettings(ini, settings);
    platform::ForceDirectories(platform::ExtractFilePath(fileName));
    const bool written = ini.UpdateFile(0600);
    error = written ? 0 : ini.Error();
    return written;
}
