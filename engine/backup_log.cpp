// The run log: its file, its two-line entries, the buffered writing and the summary trailer; and the
// process-wide record of the run logs still open for writing.
#include "engine/backup_log.h"

#include "engine/date_time_format.h"
#include "engine/exception.h"
#include "engine/helpers.h"
#include "platform/format_settings.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::size_t FlushThreshold = 2048;
// Stands for a line break inside a logged text, so that every entry keeps to its two lines and no
// "SUMMARY:" can begin a line of its own.
constexpr const char* LineBreakMark = "\u21B5";

// The record of open run logs. A log being written can be deleted from under its writer on Linux; the
// deleting code asks here first. Logs are known by their path and by their file identity, so another
// spelling of the same path is recognised too.
struct OpenLog {
    const TBackupLog* Log;
    std::string Path;
    dev_t Device;
    ino_t Inode;
};

std::mutex openLogsMutex;
std::vector<OpenLog>& OpenLogs() {
    static std::vector<OpenLog> logs;
    return logs;
}

void RegisterOpenLog(const TBackupLog* log, const std::string& path, int fd) {
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    std::lock_guard lock(openLogsMutex);
    OpenLogs().push_back({log, path, known ? st.st_dev : 0, known ? st.st_ino : 0});
}

void UnregisterOpenLog(const TBackupLog* log) {
    std::lock_guard lock(openLogsMutex);
    auto& logs = OpenLogs();
    logs.erase(
        std::remove_if(logs.begin(), logs.end(), [log](const OpenLog& open) { return open.Log == log; }),
        logs.end());
}

// Text with every line break (CR LF, CR, LF, VT, FF, NEL, LS, PS) replaced by the visible mark.
std::string OnOneLine(const std::string& text) {
    if (text.find_first_of("\r\n\v\f\xC2\xE2") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == '\v' || c == '\f') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += LineBreakMark;
        } else if (text.compare(i, 2, "\xC2\x85") == 0) {
            out += LineBreakMark;
            i += 1;
        } else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) {
            out += LineBreakMark;
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// Characters, not bytes, so that a pattern with non-ASCII text still lines the message up under the time.
std::size_t CharacterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void AppendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Day numbers with "." whatever the user's locale, so that a trailer stays readable after a locale change.
std::string DayNumber(TDateTime value) {
    return FormatFloat("#.########", value, platform::UsFormatSettings());
}

} // namespace

TBackupLog::TBackupLog(const std::string& dir, const std::string& profileName) {
    Summary.Name = profileName;
    Summary.BeginTime = Now();
    Summary.EndTime = Now();
    if (!platform::ForceDirectories(dir))
        throw Exception("Invalid logs directory or log file name.");
    m_fileName = platform::IncludeTrailingPathDelimiter(dir) + profileName +
                 FormatDateTime("_mmddyyyy_hhnnss", Now(), platform::UsFormatSettings()) + ".log";
    if (const platform::Status created = m_stream.Create(m_fileName); !created)
        throw Exception(FileErrorText("Cannot create file", m_fileName, created.Code()));
    RegisterOpenLog(this, m_fileName, m_stream.Fd());
}

TBackupLog::~TBackupLog() {
    if (WriteSummary) {
        m_buffer += "SUMMARY:v2: ";
        m_buffer += OnOneLine(Summary.Name);
        m_buffer += "| " + DayNumber(Summary.BeginTime);
        m_buffer += "| " + DayNumber(Summary.EndTime);
        for (const std::int64_t value :
             {std::int64_t{Summary.FilesTotal}, std::int64_t{Summary.FilesCopied},
              std::int64_t{Summary.FilesSkipped}, Summary.BytesTotal, Summary.CompressedBytes,
              Summary.BytesProcessed, std::int64_t{Summary.Errors}, std::int64_t{Summary.Warnings}}) {
            m_buffer += "| ";
            AppendNumber(m_buffer, value);
        }
    }
    Flush();
    (void)m_stream.Close();
    UnregisterOpenLog(this);
}

void TBackupLog::Add(std::uint8_t severity, const std::string& source, TDateTime time,
                     const std::string& message) {
    const platform::TFormatSettings settings = platform::GetFormatSettings();
    const std::string pattern = settings.ShortDateFormat + " " + settings.LongTimeFormat;
    char marker = '-';
    if (severity == lsWarning) {
        marker = '?';
        ++Summary.Warnings;
    } else if (severity >= lsError) {
        marker = '!';
        ++Summary.Errors;
    }
    m_buffer += marker;
    m_buffer += ' ';
    m_buffer += FormatDateTime(pattern, time, settings);
    m_buffer += ": [";
    m_buffer += OnOneLine(source);
    m_buffer += "] \r\n";
    m_buffer += marker;
    m_buffer.append(CharacterCount(pattern) + 3, ' ');
    m_buffer += OnOneLine(message);
    m_buffer += "\r\n";
    if (m_buffer.size() >= FlushThreshold)
        Flush();
}

// A failed write is not reported: the run goes on, and those entries are lost.
void TBackupLog::Flush() {
    if (m_buffer.empty())
        return;
    (void)m_stream.WriteAll(m_buffer);
    m_buffer.clear();
}

bool IsRunLogOpen(const std::string& path) {
    struct stat st {};
    const bool known = ::stat(path.c_str(), &st) == 0;
    std::lock_guard lock(openLogsMutex);
    return std::any_of(OpenLogs().begin(), OpenLogs().end(), [&](const OpenLog& open) {
        return open.Path == path || (known && open.Device == st.st_dev && open.Inode == st.st_ino);
    });
}
