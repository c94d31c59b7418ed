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

using Fields = TAppSettings;
using T = TSettingType;

TSettingKey Bool(const char* section, const char* name, bool Fields::*field, bool def) {
    return {section, name, T::Boolean, field, def ? 1.0 : 0.0};
}
TSettingKey Integer(const char* section, const char* name, std::int32_t Fields::*field, std::int32_t def,
                    std::int32_t min = INT32_MIN, std::int32_t max = INT32_MAX) {
    return {section, name, T::Integer, field, static_cast<double>(def), "", min, max};
}
TSettingKey Text(const char* name, std::string Fields::*field) {
    return {Application, name, T::String, field};
}
TSettingKey Password(const char* name, std::string Fields::*field) {
    return {Application, name, T::Password, field};
}
TSettingKey NeverWritten(TSettingKey key) {
    key.Written = false;
    return key;
}

std::vector<TSettingKey> MakeTable() {
    return {
        Text("MailFrom", &Fields::MailFrom),
        Text("MailReplyTo", &Fields::MailReplyTo),
        Text("SMTPHost", &Fields::SMTPHost),
        Text("SMTPUsername", &Fields::SMTPUsername),
        Password("SMTPPassword", &Fields::SMTPPassword),
        Text("POP3Host", &Fields::POP3Host),
        Text("POP3Username", &Fields::POP3Username),
        Password("POP3Password", &Fields::POP3Password),
        Bool(Application, "AppPassRequired", &Fields::AppPassRequired, false),
        Bool(Application, "ShowAppWinOnStart", &Fields::ShowAppWinOnStart, false),
        Bool(Application, "PromptBeforeExit", &Fields::PromptBeforeExit, true),
        Bool(Application, "BlinkingRedIcon", &Fields::BlinkingRedIcon, true),
        Password("AppPassword", &Fields::AppPassword),
        Bool(Application, "UseAppTempDir", &Fields::UseAppTempDir, false),
        Text("AppTempDir", &Fields::AppTempDir),
        Integer(Application, "MaxLogSize", &Fields::MaxLogSize, 1000, 10, 10000),
        Bool(Application, "LogDetails", &Fields::LogDetails, false),
        Bool(Application, "LogGrid", &Fields::LogGrid, false),
        Integer(Application, "WindowHeight", &Fields::WindowHeight, 450),
        Integer(Application, "WindowWidth", &Fields::WindowWidth, 462),
        Integer(Application, "LogWindowHeight", &Fields::LogWindowHeight, 415, 415),
        Integer(Application, "LogWindowWidth", &Fields::LogWindowWidth, 450, 450),
        NeverWritten(Bool(Application, "ValidateDestinationMedia", &Fields::ValidateDestinationMedia, true)),
        Bool(Updates, "AutoCheckUpdates", &Fields::AutoCheckUpdates, true),
        Integer(Updates, "AutoCheckUpdateInterval", &Fields::AutoCheckUpdateInterval, 0),
        Bool(Updates, "AutoCheckUpgrades", &Fields::AutoCheckUpgrades, true),
        Integer(Updates, "AutoCheckUpgradeInterval", &Fields::AutoCheckUpgradeInterval, 0),
        {Updates, "LastUpdateCheck", T::Date, &Fields::LastUpdateCheck},
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
        settings.*std::get<bool Fields::*>(key.Field) = ini.ReadBool(key.Section, key.Name, key.Number != 0);
        break;
    case T::Integer: {
        const std::int32_t value =
            ini.ReadInteger(key.Section, key.Name, static_cast<std::int32_t>(key.Number));
        settings.*std::get<std::int32_t Fields::*>(key.Field) = std::clamp(value, key.Min, key.Max);
        break;
    }
    case T::String:
        settings.*std::get<std::string Fields::*>(key.Field) =
            ini.ReadString(key.Section, key.Name, key.Text);
        break;
    case T::Password:
        settings.*std::get<std::string Fields::*>(key.Field) =
            DecryptString(ini.ReadString(key.Section, key.Name, key.Text), kStoredPasswordKey);
        break;
    case T::Date:
        settings.*std::get<TDateTime Fields::*>(key.Field) =
            IniStrToDate(ini.ReadString(key.Section, key.Name, ""));
        break;
    }
}

void WriteKey(TIniFile& ini, const TSettingKey& key, const TAppSettings& settings) {
    switch (key.Type) {
    case T::Boolean:
        ini.WriteBool(key.Section, key.Name, settings.*std::get<bool Fields::*>(key.Field));
        break;
    case T::Integer:
        ini.WriteInteger(key.Section, key.Name, settings.*std::get<std::int32_t Fields::*>(key.Field));
        break;
    case T::String:
        ini.WriteString(key.Section, key.Name, settings.*std::get<std::string Fields::*>(key.Field));
        break;
    case T::Password:
        ini.WriteString(
            key.Section, key.Name,
            EncryptString(settings.*std::get<std::string Fields::*>(key.Field), kStoredPasswordKey));
        break;
    case T::Date:
        ini.WriteString(key.Section, key.Name,
                        DateToIniStr(settings.*std::get<TDateTime Fields::*>(key.Field)));
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

platform::Status SaveAppSettingsFile(const std::string& fileName, const TAppSettings& settings) {
    TIniFile ini(fileName);
    WriteAppSettings(ini, settings);
    // A folder that cannot be made fails the write that follows.
    (void)platform::ForceDirectories(platform::ExtractFilePath(fileName));
    return ini.UpdateFile(0600) ? platform::Status() : platform::Status(ini.Error());
}
