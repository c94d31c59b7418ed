// The INI reader and writer.
#include "app/ini_file.h"
#include "platform/fault_injection.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testing_support::ReadFile;
using testing_support::ScopedFaultHook;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
    TempDir temp;
    WriteFile(temp / "a.ini", "; settings\n[application]\n  MAXLOGSIZE = 50 \nName=\"quoted value\"\n"
                              "Empty=\n[Other]\nMaxLogSize=7\n");
    const TIniFile ini(temp / "a.ini");
    EXPECT_EQ(ini.ReadInteger("Application", "MaxLogSize", 1), 50);
    EXPECT_EQ(ini.ReadInteger("OTHER", "maxlogsize", 1), 7);
    EXPECT_EQ(ini.ReadString("Application", "Name", "-"), "quoted value");
    EXPECT_EQ(ini.ReadString("Application", "Empty", "-"), "");
    EXPECT_EQ(ini.ReadString("Application", "Missing", "-"), "-");
    EXPECT_EQ(ini.ReadString("Missing", "Name", "-"), "-");
}

TEST(IniFile, NumbersThatDoNotConvertReadAsTheDefault) {
    struct Case {
        const char* value;
        int expected;
        bool boolean;
    };
    const Case cases[] = {
        {"12", 12, true}, {"-3", -3, true},   {"+4", 4, true},  {"0", 0, false},          {"", 9, true},
        {"abc", 9, true}, {"12abc", 9, true}, {"1.5", 9, true}, {"99999999999", 9, true}, {"0x10", 9, true},
        {"+-1", 9, true}, {"+", 9, true},
    };
    TempDir temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        WriteFile(temp / "n.ini", std::string("[S]\nK=") + c.value + "\n");
        const TIniFile ini(temp / "n.ini");
        EXPECT_EQ(ini.ReadInteger("S", "K", 9), c.expected);
        EXPECT_EQ(ini.ReadBool("S", "K", true), c.boolean);
    }
}

TEST(IniFile, WritesInPlaceAndKeepsWhatItDoesNotKnow) {
    TempDir temp;
    WriteFile(temp / "a.ini", "; my comment\n[Application]\nmailfrom=old@x.org\nUnknown=kept\n\n"
                              "[Custom]\nMine=1\n");
    TIniFile ini(temp / "a.ini");
    ini.WriteString("Application", "MailFrom", "new@x.org");
    ini.WriteInteger("application", "MaxLogSize", 20);
    ini.WriteBool("Updates", "AutoCheckUpdates", false);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadFile(temp / "a.ini"),
              "; my comment\n[Application]\nmailfrom=new@x.org\nUnknown=kept\n"
              "MaxLogSize=20\n\n[Custom]\nMine=1\n\n[Updates]\nAutoCheckUpdates=0\n");
    struct stat st {};
    ASSERT_EQ(::stat((temp / "a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A value pasted with line breaks must not become lines of its own, least of all a section header.
TEST(IniFile, AValueStaysOnItsLine) {
    TempDir temp;
    TIniFile ini(temp / "b.ini");
    ini.WriteString("Application", "SMTPHost", "mail.x.org\r\n[Updates]\nAutoCheckUpdates=0");
    ASSERT_TRUE(ini.UpdateFile());
    const TIniFile again(temp / "b.ini");
    EXPECT_EQ(again.ReadString("Application", "SMTPHost", ""), "mail.x.org  [Updates] AutoCheckUpdates=0");
    EXPECT_EQ(again.ReadString("Updates", "AutoCheckUpdates", "none"), "none");
}

TEST(IniFile, KeepsWindowsLineEnds) {
    TempDir temp;
    WriteFile(temp / "a.ini", "[A]\r\nK=1\r\n");
    TIniFile ini(temp / "a.ini");
    EXPECT_EQ(ini.ReadInteger("A", "K", 0), 1);
    ini.WriteInteger("A", "K", 2);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadFile(temp / "a.ini"), "[A]\r\nK=2\r\n");
}

TEST(IniFile, AFailedWriteLeavesTheOldFile) {
    TempDir temp;
    WriteFile(temp / "a.ini", "[A]\nK=1\n");
    TIniFile ini(temp / "a.ini");
    ini.WriteInteger("A", "K", 2);
    // The folder goes away under the writer.
    testing_support::RemoveTree(temp.Path());
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_NE(ini.Error(), 0);

    // A folder where the file should be is never replaced.
    TempDir other;
    ::mkdir((other / "b.ini").c_str(), 0700);
    TIniFile directory(other / "b.ini");
    directory.WriteInteger("A", "K", 2);
    EXPECT_FALSE(directory.UpdateFile());
    struct stat st {};
    ASSERT_EQ(::stat((other / "b.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// Only what could be read may be written back: a file that is there but cannot be read would otherwise be
// replaced by the few keys the program writes, losing every other key and comment.
TEST(IniFile, AFileThatCannotBeReadIsNeverWrittenOver) {
    TempDir temp;
    const std::string path = temp / "a.ini";
    const std::string content = "; the user's notes\n[A]\nK=1\n[Other]\nKept=yes\n";
    WriteFile(path, content);
    ScopedFaultHook readFails([&](platform::FaultOp op, const std::string& file) {
        return op == platform::FaultOp::OpenRead && file == path ? EIO : 0;
    });
    TIniFile ini(path);
    readFails.Remove();
    EXPECT_EQ(ini.ReadInteger("A", "K", 7), 7);
    ini.WriteInteger("A", "K", 2);
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_EQ(ini.Error(), EIO);
    EXPECT_EQ(ReadFile(path), content);

    // A file that is not there yet is simply created.
    TIniFile fresh(temp / "new.ini");
    fresh.WriteInteger("A", "K", 2);
    EXPECT_TRUE(fresh.UpdateFile());
    EXPECT_EQ(ReadFile(temp / "new.ini"), "[A]\nK=2\n");
}
