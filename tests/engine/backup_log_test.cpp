#include "engine/backup_log.h"
#include "engine/exception.h"

#include "platform/fault_injection.h"
#include "platform/format_settings.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using platform::DateParts;
using platform::EncodeDateTime;
using testing_support::GermanFormatSettings;
using testing_support::ReadFile;
using testing_support::ScopedClock;
using testing_support::ScopedFaultHook;
using testing_support::ScopedSeams;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// 9 December 2026: day 46365.
const TDateTime StartOfRun = EncodeDateTime(DateParts{2026, 12, 9, 8, 18, 10, 0});

// Pins the clock and a German locale value (a 10-character short date, an 8-character long time, "," as
// decimal point) for one test; removes every seam afterwards.
class BackupLogTest : public ::testing::Test {
protected:
    const ScopedSeams m_seams{GermanFormatSettings()};
    const ScopedClock m_clock{StartOfRun};
    TempDir dir;
};

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

} // namespace

TEST_F(BackupLogTest, WritesEntriesAndTrailerByteForByte) {
    std::string fileName;
    {
        TBackupLog log(dir / "Logs", "Daily");
        fileName = log.FileName();
        EXPECT_EQ(fileName, dir / "Logs/Daily_12092026_081810.log");
        EXPECT_EQ(log.Summary.Name, "Daily");
        EXPECT_EQ(log.Summary.BeginTime, StartOfRun);
        EXPECT_EQ(log.Summary.EndTime, StartOfRun);
        log.Add(lsError, "Backup Failure", EncodeDateTime(DateParts{2026, 12, 9, 8, 18, 12, 0}),
                "No valid sources to backup");
        EXPECT_EQ(ReadFile(fileName), ""); // held back until 2048 characters or the end
        log.Summary.BeginTime = 46365.25;
        log.Summary.EndTime = 46365.3;
        log.Summary.FilesTotal = 10;
        log.Summary.FilesCopied = 8;
        log.Summary.FilesSkipped = 2;
        log.Summary.BytesTotal = 5000000000LL;
        log.Summary.CompressedBytes = 0;
        log.Summary.BytesProcessed = 4000;
        log.Summary.Warnings = 3;
        EXPECT_EQ(log.Summary.Errors, 1);
    }
    // The pattern "dd.mm.yyyy hh:nn:ss" has 19 characters: the message is indented by 22 blanks.
    EXPECT_EQ(ReadFile(fileName),
              "! 09.12.2026 08:18:12: [Backup Failure] \r\n"
              "!                      No valid sources to backup\r\n"
              "SUMMARY:v2: Daily| 46365.25| 46365.3| 10| 8| 2| 5000000000| 0| 4000| 1| 3");
}

TEST_F(BackupLogTest, MarkersCountersAndTheLocaleAtEachCall) {
    std::string fileName;
    {
        TBackupLog log(dir.Path(), "P");
        fileName = log.FileName();
        log.WriteSummary = false; // the notification log
        log.Add(lsSuccess, "s", StartOfRun, "ok");
        platform::ResetFormatSettings(); // the pattern is taken at each call
        log.Add(lsWarning, "w", StartOfRun, "careful");
        EXPECT_EQ(log.Summary.Errors, 0);
        EXPECT_EQ(log.Summary.Warnings, 1);
    }
    EXPECT_EQ(ReadFile(fileName), "- 09.12.2026 08:18:10: [s] \r\n"
                                  "-                      ok\r\n"
                                  "? 12/9/2026 8:18:10 AM: [w] \r\n"
                                  "?                        careful\r\n");
}

TEST_F(BackupLogTest, EmptyLogIsTheTrailerAloneAndReplacesOneOfTheSameSecond) {
    const std::string fileName = dir / "Daily_12092026_081810.log";
    {
        TBackupLog first(dir.Path(), "Daily");
        first.Add(lsError, "x", StartOfRun, "y");
    }
    { TBackupLog second(dir.Path(), "Daily"); }
    EXPECT_EQ(ReadFile(fileName),
              "SUMMARY:v2: Daily| 46365.34594907| 46365.34594907| 0| 0| 0| 0| 0| 0| 0| 0");
}

TEST_F(BackupLogTest, FlushesAtTwoThousandAndFortyEightCharacters) {
    // One entry with source "S" takes 53 + 1 characters besides its message.
    {
        TBackupLog log(dir / "a", "P");
        log.Add(lsSuccess, "S", StartOfRun, std::string(1993, 'm'));
        EXPECT_EQ(FileSize(log.FileName()), 0);
        log.Add(lsSuccess, "S", StartOfRun, "");
        EXPECT_EQ(FileSize(log.FileName()), 2047 + 54);
    }
    TBackupLog log(dir / "b", "P");
    log.Add(lsSuccess, "S", StartOfRun, std::string(1994, 'm'));
    EXPECT_EQ(FileSize(log.FileName()), 2048);
    log.Add(lsSuccess, "S", StartOfRun, "");
    EXPECT_EQ(FileSize(log.FileName()), 2048);
}

TEST_F(BackupLogTest, LineBreaksInsideTextsKeepEachEntryOnTwoLines) {
    std::string fileName;
    {
        TBackupLog log(dir.Path(), "P");
        fileName = log.FileName();
        log.WriteSummary = false;
        log.Add(lsWarning, "/data/odd\nname\r\nSUMMARY:v2: x", StartOfRun,
                "one\rtwo\u2028three\x0b"
                "four");
    }
    EXPECT_EQ(ReadFile(fileName), "? 09.12.2026 08:18:10: [/data/odd\u21B5name\u21B5SUMMARY:v2: x] \r\n"
                                  "?                      one\u21B5two\u21B5three\u21B5four\r\n");
}

TEST_F(BackupLogTest, FolderOrFileThatCannotBeCreated) {
    WriteFile(dir / "file", "");
    try {
        TBackupLog log(dir / "file/Logs", "P");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid logs directory or log file name.");
    }
    // A logs folder without write permission (root ignores permissions, so the refusal is injected).
    const ScopedFaultHook fault([](platform::FaultOp op, const std::string&) {
        return op == platform::FaultOp::OpenWrite ? EACCES : 0;
    });
    try {
        TBackupLog log(dir.Path(), "P");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(),
                  "Cannot create file \"" + dir.Path() + "P_12092026_081810.log\". Permission denied");
    }
}

TEST_F(BackupLogTest, OpenLogsAreKnownUnderAnySpelling) {
    std::string fileName;
    {
        TBackupLog log(dir.Path(), "P");
        fileName = log.FileName();
        EXPECT_TRUE(IsRunLogOpen(fileName));
        EXPECT_TRUE(IsRunLogOpen(dir.Path() + "./P_12092026_081810.log"));
        EXPECT_FALSE(IsRunLogOpen(dir / "other.log"));
    }
    EXPECT_FALSE(IsRunLogOpen(fileName));

    // Logs opened and closed on several threads at once.
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                std::string name;
                {
                    TBackupLog log(dir.Path(), "T" + std::to_string(t) + "-" + std::to_string(i));
                    name = log.FileName();
                    wrong += !IsRunLogOpen(name);
                }
                wrong += IsRunLogOpen(name);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}
