// The settings file brimvale.ini: every key with its section, type, default and limits in one table,
// read into and written from a plain TAppSettings value.
#pragma once

#include "platform/date_time.h"
#include "platform/status.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class TIniFile;

// The program's settings as the file holds them. Passwords are kept deciphered; a default-made value
// holds every key's default.
struct TAppSettings {
    TAppSettings();
    bool operator==(const TAppSettings&) const = default;

    // [Application]
    std::string MailFrom, MailReplyTo;
    std::string SMTPHost, SMTPUsername, SMTPPassword;
    std::string POP3Host, POP3Username, POP3Password;
    bool AppPassRequired, ShowAppWinOnStart, PromptBeforeExit, BlinkingRedIcon;
    std::string AppPassword;
    bool UseAppTempDir;
    std::string AppTempDir;
    std::int32_t MaxLogSize;
    bool LogDetails, LogGrid;
    // The main window's outer size as last written; the window applies it only from 450 by 462 up.
    std::int32_t WindowHeight, WindowWidth;
    std::int32_t LogWindowHeight, LogWindowWidth;
    // Read from the file, never written: only a hand edit turns the destination check off.
    bool ValidateDestinationMedia;
    // [Updates]
    bool AutoCheckUpdates;
    std::int32_t AutoCheckUpdateInterval;
    bool AutoCheckUpgrades;
    std::int32_t AutoCheckUpgradeInterval;
    // A date without time of day; 0 when no check was made.
    TDateTime LastUpdateCheck;
};

enum class TSettingType { Boolean, Integer, String, Password, Date };

// One key of the file. Numbers and booleans keep their default in Number, strings in Text.
struct TSettingKey {
    const char* Section;
    const char* Name;
    TSettingType Type;
    std::variant<bool TAppSettings::*, std::int32_t TAppSettings::*, std::string TAppSettings::*,
                 TDateTime TAppSettings::*>
        Field;
    double Number = 0;
    const char* Text = "";
    // A number read outside Min..Max is moved to the nearer limit.
    std::int32_t Min = INT32_MIN;
    std::int32_t Max = INT32_MAX;
    bool Written = true;
};

// Every key, in the order the file is written.
const std::vector<TSettingKey>& AppSettingKeys();

// Missing keys and values that do not convert read as the key's default.
TAppSettings ReadAppSettings(const TIniFile& ini);
// Writes every key but those never written, in the table's order; the file itself is not written.
void WriteAppSettings(TIniFile& ini, const TAppSettings& settings);

// The whole file: a missing file gives the defaults.
TAppSettings LoadAppSettingsFile(const std::string& fileName);
// Creates the folder when needed and replaces the file (mode 0600: it holds passwords). When it could not
// be written, the old file stays as it was.
platform::Status SaveAppSettingsFile(const std::string& fileName, const TAppSettings& settings);
