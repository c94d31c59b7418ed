// Reading the version section of program files, and the program's title from it.
#include "app/startup/file_version_info.h"
#include "app/startup/program_main.h"
#include "engine/helpers.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string Program = BRIMVALE_BINARY_DIR "/app/brimvale";

void ExpectEmpty(const TFileVersionInfo& info) {
    EXPECT_EQ(info.Major + info.Minor + info.Release + info.Build, 0);
    EXPECT_EQ(info.FileVersion, "");
    EXPECT_EQ(info.CompanyName, "");
    EXPECT_EQ(info.ProductName, "");
}

} // namespace

TEST(FileVersionInfo, ParseFileVersionSplitsAtTheFirstThreeDots) {
    struct Case {
        const char* text;
        int major, minor, release, build;
    };
    const Case cases[] = {
        {"2.0", 2, 0, 0, 0},       {"2.0.3.17", 2, 0, 3, 17}, {"2.x.1.7", 2, 0, 1, 7},
        {"1.2.3.4.5", 1, 2, 3, 0}, {"7", 7, 0, 0, 0},         {"", 0, 0, 0, 0},
        {"3.1.", 3, 1, 0, 0},      {"..4.5", 0, 0, 4, 5},     {"99999999999.1", 0, 1, 0, 0},
        {" 2.0", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TFileVersionInfo info("");
        info.ParseFileVersion(c.text);
        EXPECT_EQ(info.Major, c.major);
        EXPECT_EQ(info.Minor, c.minor);
        EXPECT_EQ(info.Release, c.release);
        EXPECT_EQ(info.Build, c.build);
    }
}

TEST(FileVersionInfo, ReadsTheProgramsOwnSection) {
    const TFileVersionInfo info(Program);
    EXPECT_EQ(info.FileName, Program);
    EXPECT_EQ(info.FileVersion, "2.0.0.0");
    EXPECT_EQ(info.Major, 2);
    EXPECT_EQ(info.Minor, 0);
    EXPECT_EQ(info.Release, 0);
    EXPECT_EQ(info.Build, 0);
    EXPECT_EQ(info.ProductName, "Brimvale");
    EXPECT_EQ(info.CompanyName, "Mirn Software");
    EXPECT_EQ(info.ProductVersion, "2.0.0.0");
    // Values the section does not carry stay empty.
    EXPECT_EQ(info.OleSelfRegister, "");
    EXPECT_EQ(info.Comments, "");

    ReadAppVersion(Program);
    EXPECT_EQ(AppTitle, "Brimvale 2.0");
    EXPECT_EQ(AppVersion.Major, 2u);
    AppTitle.clear();
    AppVersion = {};
}

TEST(FileVersionInfo, FilesWithoutTheSectionHaveNoVersion) {
    TempDir temp;
    const std::string program = ReadFile(Program);
    WriteFile(temp / "text", "not a program at all");
    WriteFile(temp / "truncated", program.substr(0, 200));
    // Section headers pointing far past the end of the file.
    std::string badHeaders = program.substr(0, 64);
    for (int i = 0x28; i < 0x30; ++i)
        badHeaders[static_cast<std::size_t>(i)] = '\x7f';
    WriteFile(temp / "bad-headers", badHeaders);
    for (const std::string& file : {std::string("/proc/self/exe"), temp / "text", temp / "truncated",
                                    temp / "bad-headers", temp / "missing", temp.Path()}) {
        SCOPED_TRACE(file);
        ExpectEmpty(TFileVersionInfo(file));
    }
    // A program without a version section gives the title Brimvale 0.0.
    ReadAppVersion("/proc/self/exe");
    EXPECT_EQ(AppTitle, "Brimvale 0.0");
    AppTitle.clear();
}
