// File, path, date and size helpers.
#include "engine/helpers.h"

#include "engine/date_time_format.h"
#include "engine/exception.h"
#include "platform/clock.h"
#include "platform/drive.h"
#include "platform/file_io.h"
#include "platform/user_folders.h"

#include <sys/stat.h>

std::string AppTitle;
TAppVersion AppVersion;
std::string ProfilesDir;
std::string LogsDir;

std::string FormatFileSize(const std::string& pattern, std::int64_t size) {
    const double value = static_cast<double>(size);
    if (size >= 1000000000)
        return FormatFloat(pattern, value / 1000000000.0) + " GB";
    if (size >= 1000000)
        return FormatFloat(pattern, value / 1000000.0) + " MB";
    if (size >= 1000)
        return FormatFloat(pattern, value / 1000.0) + " KB";
    return std::to_string(size) + " B";
}

std::string ShortenPath(const std::string& path, std::int32_t maxLen) {
    if (maxLen < 7 || static_cast<std::int64_t>(path.size()) < maxLen)
        return path;
    const auto firstDelim = path.find(platform::PathDelim);
    const std::string head = firstDelim == std::string::npos ? std::string() : path.substr(0, firstDelim + 1);
    std::string rest = path;
    const bool appended = rest.empty() || rest.back() != platform::PathDelim;
    if (appended)
        rest += platform::PathDelim;
    do {
        const auto delim = rest.find(platform::PathDelim);
        rest = delim == std::string::npos ? std::string() : rest.substr(delim + 1);
    } while (!rest.empty() && static_cast<std::int64_t>(head.size() + 4 + rest.size()) > maxLen);
    if (rest.empty())
        return head + "...";
    if (appended)
        rest.pop_back();
    return head + "..." + platform::PathDelim + rest;
}

std::string ExtractLastDirName(const std::string& fileName) {
    std::string folder = platform::ExtractFilePath(fileName);
    while (!folder.empty() && folder.back() == platform::PathDelim)
        folder.pop_back();
    return platform::ExtractFileName(folder);
}

std::string RemoveLastExtension(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

std::uint16_t DayOfMonth(TDateTime value) {
    return static_cast<std::uint16_t>(platform::DecodeDateTime(value).Day);
}

bool IsVolumeReady(const std::string& root) {
    return platform::VolumeReady(root);
}

bool IsDriveReady(const std::string& path) {
    return platform::DriveReady(path);
}

std::string DateTimeToIniStr(TDateTime value) {
    return FormatDateTime("mm/dd/yyyy hh:nn:ss ampm", value, platform::UsFormatSettings());
}

TDateTime IniStrToDateTime(const std::string& text, TDateTime defaultValue) {
    TDateTime result = 0;
    return TryStrToDateTime(text, platform::UsFormatSettings(), result) ? result : defaultValue;
}

std::string GetSpecialFolderPath(std::uint8_t folder) {
    return platform::SpecialFolderPath(folder);
}

std::int64_t GetFileSize64(const std::string& fileName) {
    platform::File file;
    struct stat st {};
    if (!file.OpenRead(fileName) || ::fstat(file.Fd(), &st) != 0 || !S_ISREG(st.st_mode))
        throw Exception("File does not exist or is not accessible.\r\n\t" + fileName);
    return st.st_size;
}

TDateTime Now() {
    return platform::Now();
}
