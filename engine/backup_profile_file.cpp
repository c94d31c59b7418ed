// The profile file: one "KEY=value" line per stored field, read back leniently and written durably.
#include "engine/backup_profile.h"

#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "engine/text.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace {

const std::string kFileDoesNotExist = "File Does Not Exist: ";
const std::string kFileAccessDenied = "File Access Denied: ";
const std::string kFileReadError = "File Read Error: ";
const std::string kErrorClosingFile = "Error Closing File: ";
const std::string kFailureToCreateFile = "Failure to Create File: ";
const std::string kFileWriteError = "File Write Error: ";

// The file holds passwords that anyone can decipher.
constexpr mode_t kProfileFileMode = 0600;
constexpr std::size_t kReadChunk = 64 * 1024;

// Decimal text with an optional sign and nothing else, within [min, max]; anything else is malformed.
std::optional<std::int64_t> ReadInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    if (text.size() > 1 && text.front() == '+' && text[1] >= '0' && text[1] <= '9')
        text.remove_prefix(1);
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> ReadInt32(std::string_view text) {
    const auto value =
        ReadInteger(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    return value ? std::optional<std::int32_t>(static_cast<std::int32_t>(*value)) : std::nullopt;
}

std::string Decimal(std::int64_t number) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

// No mail goes to more recipients than this; a damaged file of nothing but ";" must not fill the memory.
constexpr std::size_t MaxAddressesPerList = 10000;

// The value lower-cased and split at ";"; every entry trimmed; an empty entry is kept except the last.
void AppendAddresses(const std::string& value, std::vector<std::string>& list) {
    const std::string text = AsciiLowerCase(value);
    const std::string_view rest(text);
    std::size_t start = 0;
    for (std::size_t semicolon; (semicolon = rest.find(';', start)) != std::string_view::npos;
         start = semicolon + 1) {
        if (list.size() >= MaxAddressesPerList)
            return;
        list.emplace_back(TrimText(rest.substr(start, semicolon - start)));
    }
    if (list.size() >= MaxAddressesPerList)
        return;
    const std::string_view last = TrimText(rest.substr(start));
    if (!last.empty())
        list.emplace_back(last);
}

// Every entry of the profile file in the order it is written, each with the form its value takes. The
// writer and the reader both walk this one list, so keys, order and forms cannot drift apart. Profile is
// const for the writer.
template <class Profile, class Visitor> void VisitEntries(Profile& p, Visitor& v) {
    auto& a = p.BackupAttributes;
    auto& s = p.Schedule;
    v.Boolean("DESTINATION_DRIVE_ACTIVE", p.DriveDestination.Active);
    v.FolderPath("DESTINATION_DRIVE_PATH", p.DriveDestination.Path);
    v.Boolean("DESTINATION_FTP_ACTIVE", p.FTPDestination.Active);
    v.Text("DESTINATION_FTP_HOST", p.FTPDestination.Host);
    v.Text("DESTINATION_FTP_USERNAME", p.FTPDestination.UserName);
    v.Enciphered("DESTINATION_FTP_PASSWORD", p.FTPDestination.Password);
    v.FtpPath("DESTINATION_FTP_PATH", p.FTPDestination.Path);
    v.Boolean("DESTINATION_EMAIL_ACTIVE", p.EmailDestination.Active);
    v.Addresses("DESTINATION_EMAIL_TO", p.EmailDestination.To);
    v.Addresses("DESTINATION_EMAIL_CC", p.EmailDestination.CC);
    v.Addresses("DESTINATION_EMAIL_BCC", p.EmailDestination.BCC);
    v.Boolean("EMAIL_NOTIFICATION_ACTIVE", p.EmailNotification.Active);
    v.Addresses("EMAIL_NOTIFICATION_TO", p.EmailNotification.To);
    v.Addresses("EMAIL_NOTIFICATION_CC", p.EmailNotification.CC);
    v.Addresses("EMAIL_NOTIFICATION_BCC", p.EmailNotification.BCC);
    v.Boolean("EMAIL_NOTIFICATION_ERRORS_ONLY", p.EmailNotifyErrorsOnly);
    v.Byte("EMAIL_NOTIFICATION_LOG_FLAGS", p.EmailNotifyLogFlags, 0);
    v.Boolean("ATTRIBUTE_EXCLUDE_MATCHING", a.ExcludeMatching);
    v.Boolean("ATTRIBUTE_SYNCHRONIZE", a.Synchronize);
    v.Boolean("ATTRIBUTE_DESKTOP", a.Desktop);
    v.Boolean("ATTRIBUTE_MYDOCUMENTS", a.MyDocuments);
    v.Boolean("ATTRIBUTE_FAVORITES", a.Favorites);
    v.Byte("ATTRIBUTE_DIRECTORY_STRUCTURE", a.DirectoryStructure, 2);
    v.MaskBit("ATTRIBUTE_INCLUDE_READONLY_DIRECTORIES", a.DirectoryAttributeMask, 1);
    v.MaskBit("ATTRIBUTE_INCLUDE_HIDDEN_DIRECTORIES", a.DirectoryAttributeMask, 2);
    v.Boolean("ATTRIBUTE_FILTER_DIRECTORIES", a.FilterDirectories);
    v.Byte("ATTRIBUTE_DIRECTORY_FILTER_FLAG", a.DirectoryFilterFlag, 1);
    v.Masks("ATTRIBUTE_DIRECTORY_FILTER", a.DirectoryFilter);
    v.MaskBit("ATTRIBUTE_INCLUDE_READONLY_FILES", a.FileAttributeMask, 1);
    v.MaskBit("ATTRIBUTE_INCLUDE_HIDDEN_FILES", a.FileAttributeMask, 2);
    v.MaskBit("ATTRIBUTE_INCLUDE_SYSTEM_FILES", a.FileAttributeMask, 4);
    v.Boolean("ATTRIBUTE_FILTER_FILES", a.FilterFiles);
    v.Byte("ATTRIBUTE_FILE_FILTER_FLAG", a.FileFilterFlag, 1);
    v.Masks("ATTRIBUTE_FILE_FILTER", a.FileFilter);
    v.Boolean("ATTRIBUTE_COMPRESS", a.Compress);
    v.Boolean("ATTRIBUTE_SELF_EXTRACTING", a.SelfExtracting);
    v.Generations("ATTRIBUTE_GENERATIONS", a.Generations);
    v.Enciphered("ATTRIBUTE_PASSWORD", a.Password);
    v.Text("ATTRIBUTE_DESTINATION_NAME", a.DestinationName);
    v.ScheduleType("SCHEDULE_TYPE", s.ScheduleType);
    v.Boolean("SCHEDULE_RUN_AT_STARTUP", s.RunAtStartup);
    v.Boolean("SCHEDULE_RUN_AT_SHUTDOWN", s.RunAtShutdown);
    v.Hours("SCHEDULE_HOURS", s);
    v.DateTime("SCHEDULE_DAILY_TIME", s.DailyTime);
    v.Weekday("SCHEDULE_DAY", s.Day);
    v.DateTime("SCHEDULE_DAY_TIME", s.DayTime);
    v.DayOfMonth("SCHEDULE_DAY_OF_MONTH", s.DayOfMonth);
    v.DateTime("SCHEDULE_DAY_OF_MONTH_TIME", s.DayOfMonthTime);
    v.DateTime("SCHEDULE_LAST_BACKUP", p.LastBackup);
    v.Sources("SOURCE", p.Sources);
}

// Builds the whole file text, and notes a value that would break its line in two.
class EntryWriter {
public:
    void Boolean(std::string_view key, bool value) { Line(key, value ? "TRUE" : "FALSE"); }
    void Text(std::string_view key, const std::string& value) { Line(key, value); }
    void FolderPath(std::string_view key, const std::string& value) { Line(key, value); }
    void FtpPath(std::string_view key, const std::string& value) { Line(key, value); }
    void Enciphered(std::string_view key, const std::string& value) {
        Line(key, EncryptString(value, kStoredPasswordKey));
    }
    void Addresses(std::string_view key, const std::vector<std::string>& list) {
        std::string joined;
        for (std::size_t i = 0; i < list.size(); ++i)
            joined.append(i ? ";" : "").append(list[i]);
        Line(key, joined);
    }
    void Byte(std::string_view key, std::uint8_t value, std::uint8_t) { Line(key, Decimal(value)); }
    void MaskBit(std::string_view key, std::int32_t mask, std::int32_t bit) {
        Boolean(key, (mask & bit) != 0);
    }
    void Masks(std::string_view key, const std::vector<std::string>& list) { EachLine(key, list); }
    void Generations(std::string_view key, std::uint32_t value) { Line(key, Decimal(value)); }
    void ScheduleType(std::string_view key, std::uint8_t value) { Line(key, Decimal(value)); }
    void Hours(std::string_view key, const TBackupSchedule& schedule) {
        Line(key, Decimal(schedule.Hours()));
    }
    void DateTime(std::string_view key, TDateTime value) { Line(key, DateTimeToIniStr(value)); }
    void Weekday(std::string_view key, std::uint8_t day) { Line(key, Decimal(day + 1)); }
    void DayOfMonth(std::string_view key, std::int32_t value) { Line(key, Decimal(value)); }
    void Sources(std::string_view key, const std::vector<std::string>& list) { EachLine(key, list); }

    const std::string& Content() const { return m_content; }
    bool ValueHoldsLineBreak() const { return m_lineBreak; }

private:
    void EachLine(std::string_view key, const std::vector<std::string>& list) {
        for (const std::string& entry : list)
            Line(key, entry);
    }
    void Line(std::string_view key, std::string_view value) {
        if (value.find_first_of("\r\n") != std::string_view::npos)
            m_lineBreak = true;
        m_content.append(key).append("=").append(value).append("\r\n");
    }

    std::string m_content;
    bool m_lineBreak = false;
};

// Applies one line's value to the entry whose key it names; every other entry ignores it.
class EntryReader {
public:
    EntryReader(const std::string& key, std::string& value) : m_key(key), m_value(value) {}

    void Boolean(std::string_view key, bool& field) {
        if (Is(key)) {
            const std::string upper = AsciiUpperCase(m_value);
            field = upper == "T" || upper == "TRUE";
        }
    }
    void Text(std::string_view key, std::string& field) {
        if (Is(key))
            field = std::move(m_value);
    }
    void FolderPath(std::string_view key, std::string& field) {
        if (!Is(key))
            return;
        field = std::move(m_value);
        if (!field.empty() && field.back() != platform::PathDelim)
            field += platform::PathDelim;
    }
    void FtpPath(std::string_view key, std::string& field) {
        if (!Is(key))
            return;
        field = std::move(m_value);
        if (field.empty() || field.front() != '/')
            field.insert(field.begin(), '/');
    }
    void Enciphered(std::string_view key, std::string& field) {
        if (Is(key))
            field = DecryptString(m_value, kStoredPasswordKey);
    }
    void Addresses(std::string_view key, std::vector<std::string>& list) {
        if (Is(key))
            AppendAddresses(m_value, list);
    }
    // The low 8 bits of the number, without a range check.
    void Byte(std::string_view key, std::uint8_t& field, std::uint8_t malformed) {
        if (!Is(key))
            return;
        const auto number = ReadInt32(m_value);
        field = number ? static_cast<std::uint8_t>(*number) : malformed;
    }
    // Only a false value changes the mask, and it flips the bit: the loader starts from all bits set.
    void MaskBit(std::string_view key, std::int32_t& mask, std::int32_t bit) {
        if (!Is(key))
            return;
        const std::string upper = AsciiUpperCase(m_value);
        if (upper == "F" || upper == "FALSE")
            mask ^= bit;
    }
    void Masks(std::string_view key, std::vector<std::string>& list) {
        if (Is(key))
            list.push_back(std::move(m_value));
    }
    // Written unsigned, but a signed value reads too ("-1" is the largest), so both forms come back.
    void Generations(std::string_view key, std::uint32_t& field) {
        if (!Is(key))
            return;
        const auto number = ReadInteger(m_value, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::uint32_t>::max());
        field = number && *number != 0 ? static_cast<std::uint32_t>(*number) : 1;
    }
    void ScheduleType(std::string_view key, std::uint8_t& field) {
        if (!Is(key))
            return;
        const auto number = ReadInt32(m_value);
        field = number && *number >= stManual && *number <= stMonthly ? static_cast<std::uint8_t>(*number)
                                                                      : std::uint8_t{stManual};
    }
    void Hours(std::string_view key, TBackupSchedule& schedule) {
        if (Is(key))
            schedule.SetHours(ReadInt32(m_value).value_or(1));
    }
    void DateTime(std::string_view key, TDateTime& field) {
        if (Is(key))
            field = IniStrToDateTime(m_value, 0.0);
    }
    // Stored 1 (Sunday) to 7 (Saturday); anything else is Sunday.
    void Weekday(std::string_view key, std::uint8_t& day) {
        if (!Is(key))
            return;
        const auto number = ReadInt32(m_value);
        day = number && *number >= 1 && *number <= 7 ? static_cast<std::uint8_t>(*number - 1) : 0;
    }
    void DayOfMonth(std::string_view key, std::int32_t& field) {
        if (Is(key))
            field = std::clamp(ReadInt32(m_value).value_or(1), 1, 31);
    }
    // "folder/*.*" (every file of the folder) is taken as "folder/*", the folder with its contents.
    void Sources(std::string_view key, std::vector<std::string>& list) {
        if (!Is(key))
            return;
        if (m_value.size() >= 3 && m_value.compare(m_value.size() - 3, 3, "*.*") == 0)
            m_value.resize(m_value.size() - 2);
        list.push_back(std::move(m_value));
    }

private:
    bool Is(std::string_view key) const { return key == m_key; }

    const std::string& m_key;
    std::string& m_value;
};

// Lines of a file of any size and content, read in chunks. A line ends at LF; a CR before the LF is
// dropped, and the last line needs no line end.
class LineReader {
public:
    explicit LineReader(platform::File& file) : m_file(file) {}

    // False at the end of the file or after a read error; a line cut short by a read error is dropped.
    bool Next(std::string& line) {
        line.clear();
        for (;;) {
            const std::size_t lineFeed = m_chunk.find('\n', m_pos);
            if (lineFeed != std::string::npos) {
                line.append(m_chunk, m_pos, lineFeed - m_pos);
                m_pos = lineFeed + 1;
                return Finish(line);
            }
            line.append(m_chunk, m_pos, std::string::npos);
            if (!Fill())
                return !m_failed && !line.empty() && Finish(line);
        }
    }
    bool Failed() const { return m_failed; }

private:
    static bool Finish(std::string& line) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }
    bool Fill() {
        m_pos = 0;
        m_chunk.resize(kReadChunk);
        const std::int64_t n = m_file.Read(m_chunk.data(), m_chunk.size()).ValueOr(-1);
        m_chunk.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        m_failed = n < 0;
        return n > 0;
    }

    platform::File& m_file;
    std::string m_chunk;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace

void SplitNameValue(const std::string& line, std::string& name, std::string& value) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        name.clear();
        value.clear();
        return;
    }
    name.assign(line, 0, equals);
    value.assign(line, equals + 1, std::string::npos);
}

bool TBackupProfile::LoadFromFile(const std::string& fileName) {
    Errors.clear();
    BackupAttributes.DirectoryAttributeMask = 63;
    BackupAttributes.FileAttributeMask = 63;
    BackupAttributes.DirectoryFilter.clear();
    BackupAttributes.FileFilter.clear();
    if (!platform::FileExists(fileName)) {
        Errors.push_back(kFileDoesNotExist + fileName);
        return false;
    }
    platform::File file;
    if (!file.OpenRead(fileName)) {
        Errors.push_back(kFileAccessDenied + fileName);
        return false;
    }
    bool result = true;
    try {
        LineReader lines(file);
        std::string line, name, value;
        while (lines.Next(line)) {
            SplitNameValue(line, name, value);
            if (name.empty()) {
                result = false;
                Errors.push_back("Invalid profile entry: '" + line + "'");
                continue;
            }
            const std::string key = AsciiUpperCase(std::move(name));
            EntryReader reader(key, value);
            VisitEntries(*this, reader);
        }
        if (lines.Failed()) {
            result = false;
            Errors.push_back(kFileReadError + fileName);
        }
    } catch (const std::exception&) {
        // Only memory can run out here (a file too large to hold); what was read stays applied.
        result = false;
        Errors.push_back(kFileReadError + fileName);
    }
    if (!file.Close()) {
        result = false;
        Errors.push_back(kErrorClosingFile + fileName);
    }
    return result;
}

bool TBackupProfile::SaveToFile(const std::string& fileName) {
    Errors.clear();
    EntryWriter entries;
    try {
        VisitEntries(std::as_const(*this), entries);
    } catch (const std::exception&) {
        Errors.push_back(kFileWriteError + fileName);
        return false;
    }
    // The new text goes to a temporary file that replaces the old one only once it is whole on disk.
    platform::DurableWriter file;
    if (!file.Open(fileName, kProfileFileMode)) {
        Errors.push_back(kFailureToCreateFile + fileName);
        return false;
    }
    if (entries.ValueHoldsLineBreak() || !file.Write(entries.Content()) || !file.Sync()) {
        file.Abandon();
        Errors.push_back(kFileWriteError + fileName);
        return false;
    }
    if (!file.Commit()) {
        Errors.push_back(kErrorClosingFile + fileName);
        return false;
    }
    return true;
}
