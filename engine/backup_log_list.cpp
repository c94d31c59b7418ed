// The run-log list: the *.log files of the logs folder, their deletion, and reading back a log's text and
// the totals of its summary trailer.
#include "engine/backup_log_list.h"

#include "engine/exception.h"
#include "engine/helpers.h"
#include "engine/text.h"
#include "platform/directory.h"
#include "platform/file_io.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr std::string_view TrailerMarker = "SUMMARY:";
constexpr std::string_view TrailerV2Marker = "SUMMARY:v2:";
// The trailer always lies within this many bytes of the end of a log; only they are read.
constexpr std::int64_t TrailerWindow = 1000;
constexpr std::size_t TrailerFieldCount = 11;

bool EndsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Where the trailer begins: the last "SUMMARY:" at the start of a line or of Text, which a logged path
// holding that text can never be (entries begin with their marker). Text[0] begins a line when
// TextBeginsLine. npos when there is none.
std::size_t TrailerStart(const std::string& text, bool textBeginsLine) {
    std::size_t at = text.rfind(TrailerMarker);
    while (at != std::string::npos) {
        if (at == 0 ? textBeginsLine : text[at - 1] == '\n')
            return at;
        if (at == 0)
            break;
        at = text.rfind(TrailerMarker, at - 1);
    }
    return std::string::npos;
}

platform::File OpenLog(const std::string& fileName) {
    platform::File file;
    if (const platform::Status opened = file.OpenRead(fileName); !opened)
        throw Exception(FileErrorText("Cannot open file", fileName, opened.Code()));
    return file;
}

// Reads from the current position to the end of the file.
std::string ReadRest(platform::File& file, const std::string& fileName) {
    std::string text;
    char chunk[65536];
    for (;;) {
        const platform::Result<std::int64_t> n = file.Read(chunk, sizeof chunk);
        if (!n)
            throw Exception(FileErrorText("Cannot read file", fileName, n.Status().Code()));
        if (n.Value() == 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(n.Value()));
    }
}

template <typename Integer> Integer IntegerField(std::string_view field) {
    Integer value = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    return result.ec == std::errc() && result.ptr == field.data() + field.size() ? value : 0;
}

// A US date-time text (earlier trailers), or a day number with "." or "," as its decimal point: a trailer
// written under another locale must still be read.
TDateTime TimeField(std::string_view field) {
    if (field.find('/') != std::string_view::npos)
        return IniStrToDateTime(std::string(field), 0);
    std::string number(field);
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    const bool whole = result.ec == std::errc() && result.ptr == number.data() + number.size();
    return whole && std::isfinite(value) ? value : 0;
}

// The fields after the marker. Missing fields stay empty. A name that holds the separator itself gives
// more than eleven fields: the surplus at the front belongs to the name.
std::vector<std::string_view> SplitFields(std::string_view rest, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = rest.find(separator, start);
        if (end == std::string_view::npos) {
            fields.push_back(rest.substr(start));
            break;
        }
        fields.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() > TrailerFieldCount) {
        const std::size_t surplus = fields.size() - TrailerFieldCount;
        const std::size_t nameEnd = static_cast<std::size_t>(fields[surplus + 1].data() - rest.data()) - 1;
        fields.erase(fields.begin() + 1, fields.begin() + static_cast<std::ptrdiff_t>(surplus) + 1);
        fields[0] = rest.substr(0, nameEnd);
    }
    fields.resize(TrailerFieldCount);
    for (auto& field : fields)
        field = TrimText(field);
    return fields;
}

void ParseTrailer(std::string_view rest, char separator, TBackupSummary& summary) {
    const std::vector<std::string_view> f = SplitFields(rest, separator);
    summary.Name = std::string(f[0]);
    summary.BeginTime = TimeField(f[1]);
    summary.EndTime = TimeField(f[2]);
    summary.FilesTotal = IntegerField<std::int32_t>(f[3]);
    summary.FilesCopied = IntegerField<std::int32_t>(f[4]);
    summary.FilesSkipped = IntegerField<std::int32_t>(f[5]);
    summary.BytesTotal = IntegerField<std::int64_t>(f[6]);
    summary.CompressedBytes = IntegerField<std::int64_t>(f[7]);
    summary.BytesProcessed = IntegerField<std::int64_t>(f[8]);
    summary.Errors = IntegerField<std::int32_t>(f[9]);
    summary.Warnings = IntegerField<std::int32_t>(f[10]);
}

} // namespace

TBackupLogList::TBackupLogList(const std::string& dir) : m_dir(platform::IncludeTrailingPathDelimiter(dir)) {
    if (!platform::DirectoryExists(m_dir)) {
        if (!platform::ForceDirectories(m_dir))
            throw Exception("Invalid log directory.");
        return;
    }
    for (const platform::TSearchRec& entry : platform::ListDirectory(m_dir).Entries)
        if (entry.Kind == platform::EntryKind::File && EndsWith(entry.Name, ".log"))
            m_files.push_back(m_dir + entry.Name);
}

void TBackupLogList::Add(const std::string& fileName) {
    if (!platform::FileExists(fileName))
        throw Exception("Backup log file does not exist.");
    m_files.push_back(fileName);
}

// A log still being written is left alone, as if its deletion had failed.
void TBackupLogList::Delete(int index) {
    std::string& fileName = m_files.at(static_cast<std::size_t>(index));
    if (!fileName.empty() && !IsRunLogOpen(fileName))
        (void)platform::DeleteFile(fileName);
    fileName.clear();
}

void TBackupLogList::Pack() {
    m_files.erase(std::remove(m_files.begin(), m_files.end(), std::string()), m_files.end());
}

void TBackupLogList::DeleteAll() {
    for (std::size_t i = 0; i < m_files.size(); ++i)
        Delete(static_cast<int>(i));
    m_files.clear();
}

void TBackupLogList::ReadText(int index, std::string& text) {
    const std::string& fileName = m_files.at(static_cast<std::size_t>(index));
    platform::File file = OpenLog(fileName);
    text = ReadRest(file, fileName);
    const std::size_t trailer = TrailerStart(text, true);
    if (trailer != std::string::npos)
        text.resize(trailer);
}

void TBackupLogList::ReadSummary(int index, TBackupSummary& summary) {
    summary = TBackupSummary();
    const std::string& fileName = m_files.at(static_cast<std::size_t>(index));
    std::string tail;
    bool tailBeginsLine = true;
    try {
        platform::File file = OpenLog(fileName);
        const std::int64_t size = file.Size().ValueOr(-1);
        if (size > TrailerWindow) {
            // One byte more than the window tells whether the window's first byte begins a line.
            if (const platform::Status sought = file.Seek(size - TrailerWindow - 1); !sought)
                throw Exception(FileErrorText("Cannot read file", fileName, sought.Code()));
            tail = ReadRest(file, fileName);
            tailBeginsLine = !tail.empty() && tail.front() == '\n';
            if (!tail.empty())
                tail.erase(0, 1);
        } else {
            tail = ReadRest(file, fileName);
        }
    } catch (const Exception& error) {
        summary.Name = std::string("LOG FILE I/O ERROR: ") + error.what();
        return;
    }
    const std::size_t trailer = TrailerStart(tail, tailBeginsLine);
    if (trailer == std::string::npos) {
        summary.Name = "NO LOG SUMMARY!";
        return;
    }
    const bool v2 = tail.compare(trailer, TrailerV2Marker.size(), TrailerV2Marker) == 0;
    const std::string_view rest =
        std::string_view(tail).substr(trailer + (v2 ? TrailerV2Marker.size() : TrailerMarker.size()));
    if (rest.empty())
        return;
    ParseTrailer(rest, v2 ? '|' : ',', summary);
}
