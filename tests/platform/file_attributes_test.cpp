#include "platform/directory.h"
#include "platform/file_attributes.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;
using testing_support::TempDir;
using testing_support::WriteFile;

// Attributes come from the mode bits, not from what the caller may do: root still sees read-only files.
TEST(FileAttributes, MapReadOnlyHiddenDirectoryAndArchive) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "x");
    WriteFile(dir / ".hidden", "x");
    WriteFile(dir / "locked.txt", "x");
    ::chmod((dir / "locked.txt").c_str(), 0444);
    ::mkdir((dir / "sub").c_str(), 0755);
    ::mkdir((dir / ".hiddendir").c_str(), 0555);

    EXPECT_EQ(FileGetAttr(dir / "plain.txt").ValueOr(-1), faArchive);
    EXPECT_EQ(FileGetAttr(dir / ".hidden").ValueOr(-1), faArchive | faHidden);
    EXPECT_EQ(FileGetAttr(dir / "locked.txt").ValueOr(-1), faArchive | faReadOnly);
    EXPECT_EQ(FileGetAttr(dir / "sub").ValueOr(-1), faDirectory);
    EXPECT_EQ(FileGetAttr(dir / ".hiddendir/").ValueOr(-1), faDirectory | faHidden | faReadOnly);
    EXPECT_EQ(FileGetAttr(dir / "missing").ValueOr(-1), -1);
}

TEST(FileAttributes, SettingReadOnlyTogglesTheOwnersWriteBit) {
    TempDir dir;
    const std::string file = dir / "f.txt";
    WriteFile(file, "x");
    ::chmod(file.c_str(), 0664);
    ASSERT_TRUE(FileSetAttr(file, faArchive | faReadOnly));
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0464u);
    ASSERT_TRUE(FileSetAttr(file, faArchive));
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    EXPECT_FALSE(FileSetAttr(dir / "missing", 0));
}

TEST(DirectoryListing, SortedKindsAndLinks) {
    TempDir dir;
    WriteFile(dir / "b.txt", "12345");
    WriteFile(dir / "a.txt", "1");
    WriteFile(dir / "B.txt", "1");
    ::mkdir((dir / "folder").c_str(), 0755);
    ::mkfifo((dir / "fifo").c_str(), 0644);
    ::symlink((dir / "b.txt").c_str(), (dir / "link-to-file").c_str());
    ::symlink(dir.Path().c_str(), (dir / "link-to-parent").c_str());
    ::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str());

    const DirectoryListing listing = ListDirectory(dir.Path());
    ASSERT_EQ(listing.Error.Code(), 0);
    std::vector<std::string> names;
    for (const auto& e : listing.Entries)
        names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"B.txt", "a.txt", "b.txt", "dangling", "fifo", "folder",
                                               "link-to-file", "link-to-parent"}));
    auto find = [&](const std::string& name) {
        for (const auto& e : listing.Entries)
            if (e.Name == name)
                return e;
        return TSearchRec{};
    };
    EXPECT_EQ(find("b.txt").Kind, EntryKind::File);
    EXPECT_EQ(find("b.txt").Size, 5);
    EXPECT_EQ(find("link-to-file").Kind, EntryKind::File);
    EXPECT_EQ(find("link-to-file").Size, 5);
    EXPECT_EQ(find("link-to-parent").Kind, EntryKind::LinkToDirectory);
    EXPECT_EQ(find("folder").Kind, EntryKind::Directory);
    EXPECT_EQ(find("fifo").Kind, EntryKind::Other);
    EXPECT_EQ(find("dangling").Kind, EntryKind::Other);
}

TEST(DirectoryListing, MissingFolderReportsItsError) {
    EXPECT_EQ(ListDirectory("/nonexistent-brimvale-folder/").Error.Code(), ENOENT);
}
