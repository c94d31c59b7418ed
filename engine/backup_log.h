// One run log being written: two-line entries marked "-", "?" or "!", written in pieces of at least
// 2048 characters, and the "SUMMARY:v2: " trailer with the run's totals when the log is closed.
#pragma once

#include "platform/date_time.h"
#include "platform/file_io.h"

#include <cstdint>
#include <string>

// The totals of one run, also as read back from a log's trailer.
struct TBackupSummary {
    std::string Name;
    TDateTime BeginTime = 0;
    TDateTime EndTime = 0;
    std::int32_t FilesCopied = 0;
    std::int32_t FilesSkipped = 0;
    std::int32_t FilesTotal = 0;
    std::int64_t BytesProcessed = 0;
    std::int64_t BytesTotal = 0;
    std::int64_t CompressedBytes = 0;
    std::int32_t Errors = 0;
    std::int32_t Warnings = 0;
};

// Entry severities.
enum : std::uint8_t { lsSuccess = 0, lsWarning = 1, lsError = 2 };

class TBackupLog {
public:
    // Creates Dir/<ProfileName>_mmddyyyy_hhnnss.log. Raises "Invalid logs directory or log file name."
    // when the folder cannot be created, and an exception with the system's reason when the file cannot.
    TBackupLog(const std::string& dir, const std::string& profileName);
    // Appends the trailer when WriteSummary is set, flushes and closes.
    ~TBackupLog();
    TBackupLog(const TBackupLog&) = delete;
    TBackupLog& operator=(const TBackupLog&) = delete;

    void Add(std::uint8_t severity, const std::string& source, TDateTime time, const std::string& message);
    void Flush();
    const std::string& FileName() const { return m_fileName; }

    bool WriteSummary = true;
    TBackupSummary Summary;

private:
    std::string m_fileName;
    platform::File m_stream;
    std::string m_buffer;
};

// Whether a run log of this process is still open for writing at Path; deleting it would lose the run.
bool IsRunLogOpen(const std::string& path);
