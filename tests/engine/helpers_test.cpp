#include "engine/exception.h"
#include "engine/helpers.h"

#include "platform/format_settings.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using platform::EncodeDateTime;
using testing_support::GermanFormatSettings;
using testing_support::ScopedSeams;
using testing_support::TempDir;

TEST(FormatFileSize, DecimalUnitsAtTheirBoundaries) {
    struct Case {
        const char* pattern;
        std::int64_t size;
        const char* expected;
    } cases[] = {
        {"#,##0", 999, "999 B"},
        {"#,##0", 1000, "1 KB"},
        {"#,##0", 999999, "1,000 KB"},
        {"#,##0", 1000000, "1 MB"},
        {"#,###.00", 2500000000LL, "2.50 GB"},
        {"#,##0", -5, "-5 B"},
        {"#,##0", 0, "0 B"},
        {"0", 2400000, "2 MB"},
        {"#,##0", 5000000000000LL, "5,000 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFileSize(c.pattern, c.size), c.expected) << c.size;
    ScopedSeams german(GermanFormatSettings());
    EXPECT_EQ(FormatFileSize("#,###.00", 2500000000LL), "2,50 GB");
}

TEST(ShortenPath, KeepsHeadAndTrailingComponents) {
    const std::string path = "/home/user/Brimvale/Profiles/My Profile.bvf"; // 43 characters
    ASSERT_EQ(path.size(), 43u);
    struct Case {
        std::string path;
        int maxLen;
        std::string expected;
    } cases[] = {
        {path, 22, "/.../My Profile.bvf"},
        {path, 20, "/.../My Profile.bvf"},
        {path, 19, "/..."},                                       // the appended "/" counts while fitting
        {path, 6, path},                                          // below 7: unchanged
        {path, 44, path},                                         // shorter than the limit: unchanged
        {path, 43, "/.../user/Brimvale/Profiles/My Profile.bvf"}, // exactly the limit is shortened
        {"0123456789", 10, "..."},                                // no delimiter at all
        {"/aaa/bbb/", 9, "/.../bbb/"},                            // a trailing "/" stays
        {"C/Program Files/Brimvale/Profiles/My Profile.bvf", 22, "C/.../My Profile.bvf"},
        {"C/Program Files/Brimvale/Profiles/My Profile.bvf", 21, "C/.../My Profile.bvf"},
        {"C/Program Files/Brimvale/Profiles/My Profile.bvf", 20, "C/..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortenPath(c.path, c.maxLen), c.expected) << c.path << " " << c.maxLen;
}

TEST(PathHelpers, LastDirNameAndExtension) {
    EXPECT_EQ(ExtractLastDirName("/data/docs/a.txt"), "docs");
    EXPECT_EQ(ExtractLastDirName("/a.txt"), "");
    EXPECT_EQ(ExtractLastDirName("a.txt"), "");
    EXPECT_EQ(ExtractLastDirName(""), "");
    EXPECT_EQ(ExtractLastDirName("/data/docs/"), "docs");
    EXPECT_EQ(RemoveLastExtension("Daily.bvf"), "Daily");
    EXPECT_EQ(RemoveLastExtension("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(RemoveLastExtension("noext"), "noext");
    EXPECT_EQ(RemoveLastExtension(".profile"), "");
    EXPECT_EQ(RemoveLastExtension("/dir.d/file"), "/dir");
}

TEST(DayOfMonth, MonthEnds) {
    EXPECT_EQ(DayOfMonth(EncodeDateTime({2004, 2, 29, 23, 59, 59, 0})), 29);
    EXPECT_EQ(DayOfMonth(EncodeDateTime({2003, 12, 31, 12})), 31);
    EXPECT_EQ(DayOfMonth(1.0), 31);
}

TEST(IniDateTime, FixedUsFormWhateverTheLocale) {
    ScopedSeams german(GermanFormatSettings());
    const TDateTime t = EncodeDateTime({2004, 3, 2, 13, 5, 9, 0});
    EXPECT_EQ(DateTimeToIniStr(t), "03/02/2004 01:05:09 PM");
    EXPECT_EQ(DateTimeToIniStr(1.0), "12/31/1899 12:00:00 AM");
    EXPECT_DOUBLE_EQ(IniStrToDateTime(DateTimeToIniStr(t), -1), t);
    EXPECT_DOUBLE_EQ(IniStrToDateTime("12/31/1899 12:00:00 AM", -1), 1.0);
    EXPECT_DOUBLE_EQ(IniStrToDateTime("03/02/2004", -1), EncodeDateTime({2004, 3, 2}));
    EXPECT_DOUBLE_EQ(IniStrToDateTime("01:05:09 PM", -1), EncodeDateTime({1899, 12, 30, 13, 5, 9, 0}));
    // A year of more than four digits and an hour without minutes are malformed, not read in part.
    for (const char* bad : {"", "garbled", "02.03.2004 13.05.09", "31/12/1899 12:00:00 AM", "12/09/20524",
                            "5", "5 PM", "03/02/2004 5"})
        EXPECT_EQ(IniStrToDateTime(bad, 7.5), 7.5) << bad;
    // The user's own settings are untouched.
    EXPECT_EQ(platform::GetFormatSettings().DateSeparator, ".");
}

TEST(GetFileSize64, WholeSizeOfLargeFiles) {
    TempDir dir;
    const std::string file = dir / "sparse.bin";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
    ::close(fd);
    EXPECT_EQ(GetFileSize64(file), 5LL << 30);
    try {
        GetFileSize64(dir / "missing");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "File does not exist or is not accessible.\r\n\t" + dir / "missing");
    }
    EXPECT_THROW(GetFileSize64(dir.Path()), Exception);
}

TEST(DriveHelpers, ReadyAndVolume) {
    TempDir dir;
    EXPECT_TRUE(IsDriveReady(dir / "backup/"));
    EXPECT_FALSE(IsDriveReady("backup/"));
    EXPECT_FALSE(IsDriveReady(""));
    EXPECT_TRUE(IsVolumeReady("/"));
}

TEST(ExceptionReport, TypeAndMessageCutAt1000) {
    EXPECT_EQ(ExceptionReport(Exception("Invalid directory - /x")), "Exception: Invalid directory - /x");
    EXPECT_EQ(ExceptionReport(std::runtime_error(std::string(2000, 'x'))).size(), 1000u);
}
