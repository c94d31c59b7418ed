#include "engine/backup_log_list.h"
#include "engine/exception.h"
#include "engine/helpers.h"

#include "platform/fault_injection.h"
#include "platform/file_io.h"
#include "platform/format_settings.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::DateParts;
using platform::EncodeDateTime;
using testing_support::ReadFile;
using testing_support::ScopedClock;
using testing_support::ScopedFaultHook;
using testing_support::ScopedSeams;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Names(const TBackupLogList& list) {
    std::vector<std::string> names;
    for (const std::string& file : list.Files())
        names.push_back(file.empty() ? "" : platform::ExtractFileName(file));
    return names;
}

bool Exists(const std::string& path) {
    return platform::PathExists(path);
}

} // namespace

TEST(BackupLogList, ListsTheLogFilesOfItsFolder) {
    TempDir dir;
    WriteFile(dir / "Logs/b.log", "");
    WriteFile(dir / "Logs/a.log", "");
    WriteFile(dir / "Logs/notes.txt", "");
    WriteFile(dir / "Logs/.hidden.log", "");
    WriteFile(dir / "Logs/folder.log/inner.log", "");
    ASSERT_EQ(::mkfifo((dir / "Logs/pipe.log").c_str(), 0644), 0);
    TBackupLogList list(dir / "Logs");
    EXPECT_EQ(list.Dir(), dir / "Logs/");
    EXPECT_EQ(list.Files(),
              (std::vector<std::string>{dir / "Logs/.hidden.log", dir / "Logs/a.log", dir / "Logs/b.log"}));
}

TEST(BackupLogList, MissingFolderIsCreatedOrRefused) {
    TempDir dir;
    TBackupLogList created(dir / "new/Logs/");
    EXPECT_TRUE(platform::DirectoryExists(dir / "new/Logs"));
    EXPECT_EQ(created.Count(), 0);
    WriteFile(dir / "file", "");
    try {
        TBackupLogList refused(dir / "file/Logs");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid log directory.");
    }
}

TEST(BackupLogList, AddDeletePackAndDeleteAll) {
    TempDir dir;
    for (const char* name : {"0.log", "1.log", "2.log", "3.log"})
        WriteFile(dir / name, "x");
    WriteFile(dir / "elsewhere/x.log", "");
    TBackupLogList list(dir.Path());
    try {
        list.Add(dir / "none.log");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Backup log file does not exist.");
    }
    EXPECT_EQ(list.Count(), 4);
    list.Add(dir / "elsewhere/x.log");
    list.Delete(2);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"0.log", "1.log", "", "3.log", "x.log"}));
    EXPECT_FALSE(Exists(dir / "2.log"));
    list.Delete(2); // an emptied entry: nothing to do
    list.Pack();
    EXPECT_EQ(Names(list), (std::vector<std::string>{"0.log", "1.log", "3.log", "x.log"}));
    ::unlink((dir / "0.log").c_str()); // deleted meanwhile: the failure is passed over
    list.DeleteAll();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(Exists(dir / "1.log"));
    EXPECT_FALSE(Exists(dir / "elsewhere/x.log"));
}

TEST(BackupLogList, LogsStillBeingWrittenAreNotDeleted) {
    TempDir dir;
    ScopedSeams seams;
    const ScopedClock clock(EncodeDateTime(DateParts{2026, 12, 9, 8, 18, 10, 0}));
    WriteFile(dir / "old.log", "");
    TBackupLog running(dir.Path(), "Daily");
    TBackupLog other(dir.Path(), "Weekly");
    TBackupLogList list(dir.Path());
    ASSERT_EQ(Names(list), (std::vector<std::string>{"Daily_12092026_081810.log",
                                                     "Weekly_12092026_081810.log", "old.log"}));
    list.Delete(0);
    EXPECT_EQ(list.Files()[0], ""); // counted as a failed deletion
    EXPECT_TRUE(Exists(running.FileName()));
    list.DeleteAll();
    EXPECT_TRUE(Exists(other.FileName()));
    EXPECT_FALSE(Exists(dir / "old.log"));
}

TEST(BackupLogList, ReadSummaryOfEveryKindOfTrailer) {
    TempDir dir;
    const std::string entries = "! 12/9/2026 8:18:10 AM: [Backup Failure] \r\n"
                                "!                        No valid sources to backup\r\n";
    struct Case {
        const char* name;
        std::string content;
        TBackupSummary expected;
    } cases[] = {
        {"v2",
         entries + "SUMMARY:v2: Daily| 46365.25| 46365.3| 10| 8| 2| 5000| 0| 4000| 1| 3",
         {"Daily", 46365.25, 46365.3, 8, 2, 10, 4000, 5000, 0, 1, 3}},
        {"v2 beyond 32 bits, decimal comma",
         "SUMMARY:v2: Daily| 46365,25| 46365,5| 1| 1| 0| 3000000000| 6000000000| 3000000000| 0| 0",
         {"Daily", 46365.25, 46365.5, 1, 0, 1, 3000000000LL, 3000000000LL, 6000000000LL, 0, 0}},
        {"v1 with US date texts",
         entries +
             "SUMMARY: Old, 12/09/2026 06:00:00 AM, 12/09/2026 12:00:00 PM, 10, 8, 2, 5000, 0, 4000, 1, 3",
         {"Old", 46365.25, 46365.5, 8, 2, 10, 4000, 5000, 0, 1, 3}},
        {"a name holding the separator",
         "SUMMARY:v2: A|B| 1| 2| 3| 4| 5| 6| 7| 8| 9| 10",
         {"A|B", 1, 2, 4, 5, 3, 8, 6, 7, 9, 10}},
        {"missing", entries, {"NO LOG SUMMARY!"}},
        {"empty file", "", {"NO LOG SUMMARY!"}},
        {"marker alone", entries + "SUMMARY:v2:", {}},
        {"truncated",
         entries + "SUMMARY:v2: Daily| 46365.25| 46365.5| 10| 8| 2| 50",
         {"Daily", 46365.25, 46365.5, 8, 2, 10, 0, 50}},
        {"foreign", "some text\r\nSUMMARY: all fine\r\n", {"all fine"}},
        {"marker inside an entry",
         entries + "- 12/9/2026 8:18:10 AM: [/x/SUMMARY:v2: Evil| 1| 2| 3] \r\n",
         {"NO LOG SUMMARY!"}},
        {"garbled fields",
         "SUMMARY:v2: N| x| 1e999| ten| 8| -2| 5000x| | 99999999999999999999| 1| 3",
         {"N", 0, 0, 8, -2, 0, 0, 0, 0, 1, 3}},
        {"trailer beyond the last 1000 bytes",
         "SUMMARY:v2: Daily| 1| 2| 3| 4| 5| 6| 7| 8| 9| 10\r\n" + std::string(990, 'x'),
         {"NO LOG SUMMARY!"}},
        {"trailer within the last 1000 bytes",
         std::string(5000, 'x') + "\r\nSUMMARY:v2: Daily| 1| 2| 3| 4| 5| 6| 7| 8| 9| 10",
         {"Daily", 1, 2, 4, 5, 3, 8, 6, 7, 9, 10}},
    };
    std::vector<Case> table(std::begin(cases), std::end(cases));
    // A trailer of exactly 1000 bytes: found when a line break precedes it, not when it is cut off.
    const std::string fields = "| 1| 2| 3| 4| 5| 6| 7| 8| 9| 10";
    const std::string longName(1000 - std::string("SUMMARY:v2: ").size() - fields.size(), 'n');
    const std::string trailer1000 = "SUMMARY:v2: " + longName + fields;
    ASSERT_EQ(trailer1000.size(), 1000u);
    table.push_back(
        {"trailer of 1000 bytes", "xx\n" + trailer1000, {longName, 1, 2, 4, 5, 3, 8, 6, 7, 9, 10}});
    table.push_back({"trailer of 1000 bytes inside a line", "xxy" + trailer1000, {"NO LOG SUMMARY!"}});
    TBackupLogList list(dir.Path());
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        const std::string fileName = dir / (std::string(c.name) + ".log");
        WriteFile(fileName, c.content);
        list.Add(fileName);
        TBackupSummary summary;
        summary.Errors = 77; // cleared first
        list.ReadSummary(list.Count() - 1, summary);
        EXPECT_EQ(summary.Name, c.expected.Name);
        EXPECT_DOUBLE_EQ(summary.BeginTime, c.expected.BeginTime);
        EXPECT_DOUBLE_EQ(summary.EndTime, c.expected.EndTime);
        EXPECT_EQ(summary.FilesTotal, c.expected.FilesTotal);
        EXPECT_EQ(summary.FilesCopied, c.expected.FilesCopied);
        EXPECT_EQ(summary.FilesSkipped, c.expected.FilesSkipped);
        EXPECT_EQ(summary.BytesTotal, c.expected.BytesTotal);
        EXPECT_EQ(summary.CompressedBytes, c.expected.CompressedBytes);
        EXPECT_EQ(summary.BytesProcessed, c.expected.BytesProcessed);
        EXPECT_EQ(summary.Errors, c.expected.Errors);
        EXPECT_EQ(summary.Warnings, c.expected.Warnings);
    }
}

TEST(BackupLogList, LogWrittenUnderOneLocaleReadsBackUnderAnother) {
    TempDir dir;
    ScopedSeams seams;
    platform::TFormatSettings german = platform::UsFormatSettings();
    german.ShortDateFormat = "dd.mm.yyyy";
    german.DecimalSeparator = ",";
    platform::SetFormatSettings(german);
    TBackupSummary written;
    std::string fileName;
    {
        TBackupLog log(dir.Path(), "Daily");
        fileName = log.FileName();
        log.Add(lsError, "/data/SUMMARY:v2: x| 1", 46365.5, "line\nSUMMARY:v2: Fake| 1| 2");
        log.Add(lsWarning, "SUMMARY:", 46365.5, std::string(3000, 'w'));
        log.Summary.BeginTime = 46365.123456789;
        log.Summary.EndTime = 46366.75;
        log.Summary.FilesTotal = 12;
        log.Summary.BytesTotal = 7000000000LL;
        written = log.Summary;
    }
    platform::ResetFormatSettings();
    TBackupLogList list(dir.Path());
    ASSERT_EQ(list.Count(), 1);
    TBackupSummary read;
    list.ReadSummary(0, read);
    EXPECT_EQ(read.Name, "Daily");
    EXPECT_NEAR(read.BeginTime, written.BeginTime, 1e-8);
    EXPECT_EQ(read.EndTime, 46366.75);
    EXPECT_EQ(read.FilesTotal, 12);
    EXPECT_EQ(read.BytesTotal, 7000000000LL);
    EXPECT_EQ(read.Errors, 1);
    EXPECT_EQ(read.Warnings, 1);

    std::string text;
    list.ReadText(0, text);
    const std::string whole = ReadFile(fileName);
    EXPECT_EQ(text, whole.substr(0, whole.rfind("\r\n") + 2)); // every entry, no trailer
    EXPECT_EQ(text.substr(text.size() - 3002), std::string(3000, 'w') + "\r\n");
}

TEST(BackupLogList, ReadTextWithoutTrailerAndUnreadableLogs) {
    TempDir dir;
    ScopedSeams seams;
    WriteFile(dir / "running.log", "- entry\r\n-   SUMMARY: in a message\r\n");
    WriteFile(dir / "locked.log", "x");
    TBackupLogList list(dir.Path());
    std::string text = "old";
    list.ReadText(1, text);
    EXPECT_EQ(text, "- entry\r\n-   SUMMARY: in a message\r\n");

    const ScopedFaultHook fault([&](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenRead && path == dir / "locked.log" ? EACCES : 0;
    });
    const std::string reason = "Cannot open file \"" + dir / "locked.log" + "\". Permission denied";
    try {
        list.ReadText(0, text);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.what(), reason);
    }
    TBackupSummary summary;
    summary.FilesTotal = 5;
    list.ReadSummary(0, summary);
    EXPECT_EQ(summary.Name, "LOG FILE I/O ERROR: " + reason);
    EXPECT_EQ(summary.FilesTotal, 0);
}
