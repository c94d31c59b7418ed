// The start-with-login entry that stands in for the Run value.
#include "app/startup/autostart.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;

TEST(Autostart, WritesReadsAndDeletesTheEntry) {
    TempDir temp;
    ScopedEnv config("XDG_CONFIG_HOME", temp.Path());
    EXPECT_EQ(autostart::AutostartDir(), temp / "autostart/");
    EXPECT_TRUE(autostart::OpenRunKey(false));
    ASSERT_TRUE(autostart::OpenRunKey(true));
    EXPECT_FALSE(autostart::ValueExists("Brimvale 2.0"));
    EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), "");

    // Paths with the characters a desktop entry must escape come back as they were.
    for (const std::string path : {"/opt/brimvale/brimvale", "/home/a b/$x `y` \"z\" \\w/brimvale"}) {
        SCOPED_TRACE(path);
        autostart::WriteValue("Brimvale 2.0", autostart::QuotedPath(path));
        EXPECT_TRUE(autostart::ValueExists("Brimvale 2.0"));
        EXPECT_EQ(autostart::ReadValue("Brimvale 2.0"), "\"" + path + "\"");
    }
    const std::string entry = ReadFile(temp / "autostart/Brimvale 2.0.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\nName=Brimvale 2.0\n"), std::string::npos);
    // A session manager that lists the entry shows it with the program's icon and what it does.
    EXPECT_NE(entry.find("\nComment=Back up your files in the background\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=brimvale\n"), std::string::npos);
    EXPECT_NE(entry.find("Exec=\"/home/a b/\\\\$x \\\\`y\\\\` \\\\\"z\\\\\" \\\\\\\\w/brimvale\"\n"),
              std::string::npos);

    EXPECT_TRUE(autostart::DeleteValue("Brimvale 2.0"));
    EXPECT_FALSE(autostart::ValueExists("Brimvale 2.0"));
    EXPECT_TRUE(autostart::DeleteValue("Brimvale 2.0"));
}
