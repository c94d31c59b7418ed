#include "platform/drive.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::TempDir;

TEST(Drive, NearestExistingAncestorClimbsToWhatExists) {
    TempDir dir;
    EXPECT_EQ(NearestExistingAncestor(dir / "not/yet/there/"), dir.Path().substr(0, dir.Path().size() - 1));
    EXPECT_EQ(NearestExistingAncestor("relative/path"), "");
    EXPECT_EQ(NearestExistingAncestor("/"), "/");
}

TEST(Drive, ReadyOnWritableFileSystemsOnly) {
    TempDir dir;
    EXPECT_TRUE(DriveReady(dir / "new/folder/"));
    EXPECT_FALSE(DriveReady(""));
    EXPECT_FALSE(DriveReady("backup/"));
    EXPECT_GT(FreeBytes(dir.Path()), 0);
    EXPECT_FALSE(MountPointOf(dir.Path()).empty());
    EXPECT_TRUE(VolumeReady("/"));
    EXPECT_FALSE(VolumeReady("/nonexistent-brimvale-folder"));
}

// An unplugged removable disk leaves its folder on the system disk: writing there would fill the wrong disk.
TEST(Drive, RemovableMediaRootsMustBeMounted) {
    EXPECT_FALSE(DriveReady("/media/nobody/BACKUPDISK/brimvale/"));
    EXPECT_FALSE(DriveReady("/run/media/nobody/BACKUPDISK/"));
    const std::string folder = "/mnt/brimvale-test-" + std::to_string(::getpid());
    if (::mkdir(folder.c_str(), 0755) != 0)
        GTEST_SKIP() << "cannot create a folder under /mnt";
    EXPECT_FALSE(DriveReady(folder + "/backup/"));
    ::rmdir(folder.c_str());
}

TEST(Drive, FreeBytesCanBeReplacedForTests) {
    SetFreeBytesOverride([](const std::string&) { return std::int64_t{42}; });
    EXPECT_EQ(FreeBytes("/anything"), 42);
    SetFreeBytesOverride({});
    EXPECT_NE(FreeBytes("/"), 42);
}
