#include "platform/drive.h"

#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmpfs.h"

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
    {
        const testing_support::ScopedFreeBytes answer([](const std::string&) { return std::int64_t{42}; });
        EXPECT_EQ(FreeBytes("/anything"), 42);
    }
    EXPECT_NE(FreeBytes("/"), 42);
}

// A folder that the file-system table names as a mount point stands for that file system only while it is
// mounted; folders below it belong to it too, others do not.
TEST(Drive, FstabMountPointsCountOnlyWhileMounted) {
    TempDir dir;
    ::mkdir((dir / "nas").c_str(), 0755);
    ::mkdir((dir / "nas/photos").c_str(), 0755);
    ::mkdir((dir / "local").c_str(), 0755);
    const std::string fstab = dir / "fstab";
    testing_support::WriteFile(fstab, "# table\nUUID=1 / ext4 defaults 0 1\nnone swap swap sw 0 0\n"
                                      "srv:/share " +
                                          dir / "nas" + " nfs noauto 0 0\n");
    struct Case {
        std::string path;
        bool unmounted;
    } cases[] = {{dir / "nas/", true},
                 {dir / "nas/photos/", true},
                 {dir / "local/", false},
                 {dir / "missing/", false}};
    for (const Case& c : cases)
        EXPECT_EQ(FstabMountPointUnmounted(c.path, fstab), c.unmounted) << c.path;
    EXPECT_FALSE(FstabMountPointUnmounted(dir / "nas/", dir / "no-such-fstab"));
    testing_support::ScopedTmpfs mounted(dir / "nas", "1m");
    if (!mounted.Mounted())
        GTEST_SKIP() << mounted.Reason();
    EXPECT_FALSE(FstabMountPointUnmounted(dir / "nas/", fstab));
}
