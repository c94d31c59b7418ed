#include "platform/file_io.h"
#include "platform/home.h"
#include "platform/user_folders.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(SpecialFolders, ReadTheXdgUserFolders) {
    TempDir home;
    ScopedEnv h("HOME", home.Path().substr(0, home.Path().size() - 1));
    ScopedEnv c("XDG_CONFIG_HOME", home / "config");
    WriteFile(home / "config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                              "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                              "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOPDIRECTORY), home / "Schreibtisch");
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL), "/srv/docs");
    EXPECT_EQ(SpecialFolderPath(CSIDL_FAVORITES), "");
    ::mkdir((home / "Favorites").c_str(), 0755);
    EXPECT_EQ(SpecialFolderPath(CSIDL_FAVORITES), home / "Favorites");
    EXPECT_EQ(SpecialFolderPath(99), "");
}

TEST(SpecialFolders, FallBackToTheUsualNames) {
    TempDir home;
    ScopedEnv h("HOME", home.Path().substr(0, home.Path().size() - 1));
    ScopedEnv c("XDG_CONFIG_HOME", home / "no-config");
    EXPECT_EQ(SpecialFolderPath(CSIDL_DESKTOPDIRECTORY), home / "Desktop");
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL), home / "Documents");
}

TEST(HomeFolders, OverriddenByTheEnvironmentElseXdgData) {
    {
        ScopedEnv home("BRIMVALE_HOME", "/tmp/some-home");
        EXPECT_EQ(ProgramHomeDir(), "/tmp/some-home/");
    }
    ScopedEnv unset("BRIMVALE_HOME", "");
    ScopedEnv data("XDG_DATA_HOME", "/tmp/data");
    EXPECT_EQ(ProgramHomeDir(), "/tmp/data/brimvale/");
    ScopedEnv resources("BRIMVALE_RESOURCES", "/tmp/res");
    EXPECT_EQ(ResourceDir(), "/tmp/res/");
    EXPECT_FALSE(ExecutablePath().empty());
}

TEST(HomeFolders, TheBuildCarriesTheProgramIconWhereTheProgramLooks) {
    ScopedEnv resources("BRIMVALE_RESOURCES", BRIMVALE_RESOURCE_DIR);
    EXPECT_TRUE(FileExists(ProgramIconPath())) << ProgramIconPath();
}
