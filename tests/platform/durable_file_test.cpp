#include "platform/directory.h"
#include "platform/durable_file.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::ReadFile;
using testing_support::ScopedFaultHook;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : ListDirectory(dir).Entries)
        names.push_back(e.Name);
    return names;
}

} // namespace

TEST(DurableWriter, CommitReplacesWithTheRequestedMode) {
    TempDir dir;
    const std::string target = dir / "profile.bvf";
    WriteFile(target, "old");
    DurableWriter writer;
    ASSERT_TRUE(writer.Open(target, 0600));
    ASSERT_TRUE(writer.Write("new content"));
    EXPECT_EQ(ReadFile(target), "old"); // untouched until the commit
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFile(target), "new content");
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"profile.bvf"});
}

TEST(DurableWriter, AbandonedOrFailedWritesKeepTheOldFile) {
    TempDir dir;
    const std::string target = dir / "settings.ini";
    WriteFile(target, "old");
    {
        DurableWriter writer;
        ASSERT_TRUE(writer.Open(target));
        ASSERT_TRUE(writer.Write("half"));
    }
    EXPECT_EQ(ReadFile(target), "old");
    ScopedFaultHook diskFull(
        [](FaultOp op, const std::string&) { return op == FaultOp::Write ? ENOSPC : 0; });
    DurableWriter writer;
    ASSERT_TRUE(writer.Open(target));
    const Status written = writer.Write("new");
    EXPECT_FALSE(written);
    EXPECT_EQ(written.Code(), ENOSPC);
    EXPECT_FALSE(writer.Commit());
    diskFull.Remove();
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"settings.ini"});
}

// Names as long as the file system allows (255 bytes) still leave room for the temporary file beside them.
TEST(DurableWriter, ReplacesFilesWithTheLongestNames) {
    TempDir dir;
    std::string accented;
    while (accented.size() < 254)
        accented += "\u00e9";
    for (const std::string& name : {std::string(255, 'a'), accented + "x"}) {
        const std::string target = dir / name;
        WriteFile(target, "old");
        DurableWriter writer;
        const Status opened = writer.Open(target);
        ASSERT_TRUE(opened) << opened.Text();
        ASSERT_TRUE(writer.Write("new"));
        const Status committed = writer.Commit();
        ASSERT_TRUE(committed) << committed.Text();
        EXPECT_EQ(ReadFile(target), "new");
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{name});
        ::unlink(target.c_str());
    }
}

// A real failure part-way: a child process with a file-size limit gets EFBIG in the middle of the write.
TEST(DurableWriter, WriteLimitHitPartWayLeavesTheOldFileByteIdentical) {
    TempDir dir;
    const std::string target = dir / "big.bin";
    const std::string old(10000, 'o');
    WriteFile(target, old);
    const int result = testing_support::ExitCodeWithFileSizeLimit(4096, [&] {
        DurableWriter writer;
        const std::string data(20000, 'n');
        Status done = writer.Open(target);
        if (done)
            done = writer.Write(data);
        if (done)
            done = writer.Commit();
        return done ? 0 : (done.Code() == EFBIG ? 3 : 4);
    });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"big.bin"});
}

TEST(DurableWriter, MissingFolderFailsAtOpen) {
    DurableWriter writer;
    const Status opened = writer.Open("/nonexistent-brimvale-folder/x.ini");
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.Code(), ENOENT);
}

// What an interrupted writer left is removed; what another writer still holds, and every file of the user's
// that merely looks alike, stays.
TEST(TemporaryFiles, OnlyStaleOnesAreRemoved) {
    TempDir dir;
    std::string stale, held;
    const int staleFd = CreateTemporarySibling(dir / "a.txt", 0600, stale).ValueOr(-1);
    ASSERT_GE(staleFd, 0);
    ::close(staleFd); // as a killed writer leaves it: its lock went with the process
    const int heldFd = CreateTemporarySibling(dir / "b.txt", 0600, held).ValueOr(-1);
    ASSERT_GE(heldFd, 0);
    EXPECT_TRUE(IsTemporaryName(ExtractFileName(stale))) << stale;
    for (const char* name : {".a.txt.abcdef", "a.txt.abcDE1.brimvale-tmp", ".a.txt.abc.brimvale-tmp",
                             ".a.txt.abc-ef.brimvale-tmp", ".a.txt.abcdef.brimvale-tmp.bak"}) {
        EXPECT_FALSE(IsTemporaryName(name)) << name;
        WriteFile(dir / name, "the user's");
    }
    ::mkdir((dir / ".c.txt.abcdef.brimvale-tmp").c_str(), 0755);
    ::symlink(held.c_str(), (dir / ".d.txt.abcdef.brimvale-tmp").c_str());

    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path()).Value(), 1);
    EXPECT_FALSE(PathExists(stale));
    EXPECT_TRUE(PathExists(held));
    EXPECT_EQ(Names(dir.Path()).size(), 8u);
    ::close(heldFd);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path()).Value(), 1);
    EXPECT_FALSE(PathExists(held));
}

// A writer that decided to write because nothing was there keeps the file that appeared meanwhile; one that
// may replace takes its place.
TEST(DurableWriter, KeepExistingLeavesAFileThatAppearedMeanwhile) {
    TempDir dir;
    const std::string target = dir / "restored.txt";
    for (const ReplaceRule rule : {ReplaceRule::KeepExisting, ReplaceRule::Replace}) {
        DurableWriter writer;
        ASSERT_TRUE(writer.Open(target));
        ASSERT_TRUE(writer.Write("ours"));
        WriteFile(target, "the user's");
        const bool keep = rule == ReplaceRule::KeepExisting;
        const Status committed = writer.Commit(CommitSync::Later, rule);
        EXPECT_EQ(static_cast<bool>(committed), !keep);
        EXPECT_EQ(committed.Code(), keep ? EEXIST : 0);
        EXPECT_EQ(ReadFile(target), keep ? "the user's" : "ours");
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"restored.txt"});
        ::unlink(target.c_str());
    }
}

// The new file takes the source's permission bits, owner and group, and times.
TEST(DurableWriter, KeepsTheModeOwnerAndTimesOfTheSource) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    TempDir dir;
    const std::string source = dir / "source.txt", target = dir / "target.txt";
    WriteFile(source, "content");
    ASSERT_EQ(::chown(source.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
    testing_support::SetModified(source, 1000000000);
    struct stat st {};
    ASSERT_EQ(::stat(source.c_str(), &st), 0);
    DurableWriter writer;
    ASSERT_TRUE(writer.Open(target, 0600));
    ASSERT_TRUE(writer.Write("content"));
    writer.KeepAttributesOf(st);
    ASSERT_TRUE(writer.Commit());
    struct stat result {};
    ASSERT_EQ(::stat(target.c_str(), &result), 0);
    EXPECT_EQ(result.st_uid, 65534u);
    EXPECT_EQ(result.st_gid, 65534u);
    EXPECT_EQ(result.st_mode & 07777, 0640u);
    EXPECT_EQ(result.st_mtime, 1000000000);
}
