// File, path, date and size helpers shared by the engine and the user interface, and the
// program-wide values set at start-up.
#pragma once

#include "platform/date_time.h"

#include <cstdint>
#include <string>

struct TAppVersion {
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    std::uint32_t Release = 0;
    std::uint32_t Build = 0;
};

// Written on the main thread before any backup thread starts, only read afterwards.
extern std::string AppTitle; // "Brimvale <major>.<minor>"
extern TAppVersion AppVersion;
extern std::string ProfilesDir; // the home folder + "Profiles/"
extern std::string LogsDir;     // the home folder + "Logs/"

// A size in decimal units (B, KB, MB, GB) with the number picture Pattern ("#,##0", "#,###.00").
std::string FormatFileSize(const std::string& pattern, std::int64_t size);
// The path cut down to MaxLen characters for a label: its first component, "...", and as many trailing
// components as fit.
std::string ShortenPath(const std::string& path, std::int32_t maxLen);
// The name of the folder that holds the file, without any path; empty when there is none.
std::string ExtractLastDirName(const std::string& fileName);
// The text before the last "."; unchanged without a ".".
std::string RemoveLastExtension(const std::string& fileName);
std::uint16_t DayOfMonth(TDateTime value);
// Whether the destination that Path lies on can be written to now.
bool IsDriveReady(const std::string& path);
bool IsVolumeReady(const std::string& root);
// "mm/dd/yyyy hh:nn:ss ampm" with fixed US settings, whatever the user's locale.
std::string DateTimeToIniStr(TDateTime value);
// Reads the fixed US form (also a date or a time alone); Default for anything else. Never raises.
TDateTime IniStrToDateTime(const std::string& text, TDateTime defaultValue);
// The desktop (16), documents (5) or favourites (6) folder; empty when there is none.
std::string GetSpecialFolderPath(std::uint8_t folder);
// The whole size of the file; raises "File does not exist or is not accessible." when it cannot be opened.
std::int64_t GetFileSize64(const std::string& fileName);
// Now, through the replaceable clock.
TDateTime Now();
