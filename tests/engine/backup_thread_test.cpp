#include "platform/durable_file.h"
#include "tests/engine/backup_run_fixture.h"
#include "tests/engine/zip_test_util.h"
#include "tests/support/tmpfs.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace backup_run_testing;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST_F(BackupRun, WithoutProfileFailsWithoutLog) {
    bool terminated = false;
    TBackupThread thread(true, 2, logs);
    int events = 0;
    thread.OnStatus = thread.OnFinished = [&](TBackupThread*) { ++events; };
    thread.OnTerminate = [&](TThread*) { terminated = true; };
    thread.Resume();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return terminated; }));
    EXPECT_EQ(thread.ResultRec.Failed, 1);
    EXPECT_EQ(thread.ResultRec.Message, "Profile Not Initialized.");
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(platform::DirectoryExists(logs));
}

TEST_F(BackupRun, NothingGatheredStillFinishesWithSummary) {
    RunResult run = Run(Profile("Empty", {}, dst));
    EXPECT_EQ(run.result.Failed, 0);
    EXPECT_EQ(run.finishedEvents, 1);
    EXPECT_TRUE(Contains(run.logText, "[Backup Failure] \r\n"));
    EXPECT_TRUE(Contains(run.logText, "No valid sources to backup"));
    EXPECT_EQ(run.summary.Name, "Empty");
    EXPECT_EQ(run.summary.FilesTotal, 0);
    EXPECT_EQ(run.summary.Errors, 1);
    EXPECT_GT(run.cell->LastBackup, 0);
    EXPECT_FALSE(run.cell->InProcess);
    EXPECT_TRUE(run.inProcessSeen);
    EXPECT_FALSE(platform::DirectoryExists(dst));
}

TEST_F(BackupRun, GatheringOfMissingAndFilteredSources) {
    WriteFile(src + "keep/a.txt", "aaa");
    WriteFile(src + "single.txt", "12345");
    WriteFile(src + "skip.tmp", "x");
    TBackupProfile p = Profile("Gather",
                               {dir / "missing/*", src + "keep/*", src + "single.txt", src + "skip.tmp",
                                src + "gone.txt", "", src + "keep"},
                               dst);
    p.BackupAttributes.FilterFiles = true;
    p.BackupAttributes.FileFilterFlag = 1;
    p.BackupAttributes.FileFilter = {"*.tmp"};
    RunResult run = Run(p);
    EXPECT_TRUE(Contains(run.logText, "[FileSystemList->Open operation]"));
    EXPECT_TRUE(Contains(run.logText, "Invalid directory - " + dir / "missing/"));
    EXPECT_TRUE(Contains(run.logText, "? ") && Contains(run.logText, "File excluded because of filter."));
    EXPECT_TRUE(Contains(run.logText, "[" + src + "gone.txt] \r\n"));
    EXPECT_TRUE(Contains(run.logText, "File Error - File Unavailable"));
    EXPECT_TRUE(Contains(run.logText, "[" + src + "keep] \r\n")); // a folder named as a single file
    EXPECT_EQ(run.summary.FilesTotal, 5);                         // a.txt plus four single-file entries
    EXPECT_EQ(run.summary.BytesTotal, 8);
    EXPECT_EQ(run.summary.Errors, 2);
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"keep/a.txt", "src/single.txt"}));
}

// The drop rule with no masks keeps files, for single files as for the folder scanner; the keep rule keeps
// none.
TEST_F(BackupRun, EmptyMaskListAgreesWithTheScanner) {
    WriteFile(src + "one.txt", "1");
    WriteFile(src + "tree/two.txt", "2");
    for (std::uint8_t flag : {0, 1}) {
        TBackupProfile p =
            Profile("Masks", {src + "one.txt", src + "tree/*"}, dst + std::to_string(flag) + "/");
        p.BackupAttributes.FilterFiles = true;
        p.BackupAttributes.FileFilterFlag = flag;
        RunResult run = Run(p);
        const std::vector<std::string> expected =
            flag == 0 ? std::vector<std::string>{} : std::vector<std::string>{"src/one.txt", "tree/two.txt"};
        EXPECT_EQ(Tree(dst + std::to_string(flag) + "/"), expected) << int(flag);
    }
}

TEST_F(BackupRun, DestinationLayouts) {
    WriteFile(src + "Docs/Sub/a.txt", "a");
    WriteFile(src + "b.txt", "b");
    const std::string rel = src.substr(1); // the source path without its leading "/"
    struct Case {
        std::uint8_t structure;
        std::string destinationName;
        std::vector<std::string> files;
    } cases[] = {
        {0, "", {rel + "Docs/Sub/a.txt", rel + "b.txt"}},
        {1, "", {"Docs/Sub/a.txt", "src/b.txt"}},
        {2, "", {"Sub/a.txt", "b.txt"}},
        {1, "Weekly", {"Weekly/Docs/Sub/a.txt", "Weekly/src/b.txt"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string target = dst + std::to_string(n++) + "/";
        TBackupProfile p = Profile("Layout", {src + "Docs/*", src + "b.txt"}, target);
        p.BackupAttributes.DirectoryStructure = c.structure;
        p.BackupAttributes.DestinationName = c.destinationName;
        RunResult run = Run(p);
        std::vector<std::string> expected = c.files;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Tree(target), expected) << int(c.structure) << c.destinationName;
        EXPECT_EQ(run.summary.FilesCopied, 2);
    }
}

TEST_F(BackupRun, EmptyOrRelativeDestinationWritesNothing) {
    WriteFile(src + "a.txt", "a");
    for (const std::string& path : {std::string(), std::string("relative/backup/")}) {
        TBackupProfile p = Profile("NoDest", {src + "*"}, path);
        p.DriveDestination.Active = true;
        p.BackupAttributes.Synchronize = true;
        RunResult run = Run(p);
        EXPECT_TRUE(Contains(run.logText, "Destination Invalid/Unavailable")) << path;
        EXPECT_EQ(run.summary.FilesCopied, 0);
    }
    EXPECT_FALSE(platform::DirectoryExists("relative"));
}

TEST_F(BackupRun, OnlyChangedRerunSkipsUnchangedFiles) {
    WriteFile(src + "a.txt", "aaaa");
    WriteFile(src + "b.txt", "bb");
    ::chmod((src + "b.txt").c_str(), 0444);
    TBackupProfile p = Profile("Changed", {src + "*"}, dst);
    p.BackupAttributes.ExcludeMatching = true;
    p.BackupAttributes.DirectoryStructure = 2;
    RunResult first = Run(p);
    EXPECT_EQ(first.summary.FilesCopied, 2);
    struct stat st {};
    ::stat((dst + "b.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u); // a read-only source gives a read-only copy

    RunResult second = Run(p);
    EXPECT_EQ(second.summary.FilesCopied, 0);
    EXPECT_EQ(second.summary.FilesSkipped, 2);
    EXPECT_EQ(second.summary.BytesProcessed, 6);
    EXPECT_EQ(second.summary.Warnings, 2);
    EXPECT_TRUE(Contains(second.logText, "File Skipped - destination file has not changed."));

    WriteFile(src + "b.txt", "changed");
    RunResult third = Run(p);
    EXPECT_EQ(third.summary.FilesCopied, 1); // the read-only copy is replaced
    EXPECT_EQ(ReadFile(dst + "b.txt"), "changed");
}

TEST_F(BackupRun, FileThatDoesNotFitIsRefusedButUnchangedCopiesAreSkipped) {
    WriteFile(src + "big.bin", std::string(5000, 'x'));
    WriteFile(src + "small.bin", "12");
    TBackupProfile p = Profile("Full", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.ExcludeMatching = true;
    {
        const ScopedFreeBytes room([](const std::string&) { return std::int64_t{1000}; });
        RunResult run = Run(p);
        EXPECT_TRUE(Contains(run.logText, "Destination drive full - " + platform::MountPointOf(dst) +
                                              " - 1000 bytes available."));
        EXPECT_EQ(Tree(dst), std::vector<std::string>{"small.bin"});
    }
    // An unchanged copy needs no space: on a full drive it is skipped, not refused.
    const ScopedFreeBytes full([](const std::string&) { return std::int64_t{0}; });
    RunResult rerun = Run(p);
    EXPECT_EQ(rerun.summary.FilesSkipped, 1);
    EXPECT_EQ(rerun.summary.Errors, 1);
}

TEST_F(BackupRun, AbortInTheMiddleOfALargeFileKeepsTheOldCopy) {
    (void)platform::ForceDirectories(src);
    const int fd = ::open((src + "large.bin").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(fd, 512LL << 20), 0);
    ::close(fd);
    WriteFile(dst + "large.bin", "old copy");
    TBackupProfile p = Profile("Abort", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    bool abortedMidFile = false;
    RunResult run = Run(p, true, [&](TBackupThread& t) {
        if (t.Status.Action == "Copying File" && t.Status.Position > 0 && !t.Terminated()) {
            abortedMidFile = true;
            t.Terminate();
        }
    });
    ASSERT_TRUE(abortedMidFile);
    EXPECT_EQ(ReadFile(dst + "large.bin"), "old copy");
    EXPECT_EQ(Tree(dst), std::vector<std::string>{"large.bin"}); // no temporary file left
    EXPECT_EQ(run.summary.FilesCopied, 0);
    EXPECT_EQ(run.summary.BytesProcessed, 0);
    EXPECT_FALSE(Contains(run.logText, "File Copied"));
    EXPECT_EQ(run.finishedEvents, 1);
    EXPECT_GT(run.cell->LastBackup, 0);
}

// A run killed in the middle of a copy leaves its temporary file; the next run into the folder removes it,
// but never one that a running run still writes.
TEST_F(BackupRun, TemporaryFileOfAKilledRunIsRemovedByTheNextOne) {
    (void)platform::ForceDirectories(src);
    const int fd = ::open((src + "large.bin").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(fd, 1LL << 30), 0);
    ::close(fd);
    TBackupProfile p = Profile("Killed", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    (void)platform::ForceDirectories(dst);
    auto temporaries = [&] {
        std::vector<std::string> names;
        for (const auto& e : platform::ListDirectory(dst).Entries)
            if (platform::IsTemporaryName(e.Name))
                names.push_back(e.Name);
        return names;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Run(p);
        ::_exit(0);
    }
    bool seen = false;
    for (int i = 0; i < 20000 && !seen; ++i) {
        for (const std::string& name : temporaries()) {
            struct stat st {};
            seen = seen || (::stat((dst + name).c_str(), &st) == 0 && st.st_size > 0);
        }
        if (!seen)
            ::usleep(500);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(seen) << "the child's copy was never seen under way";
    ASSERT_EQ(temporaries().size(), 1u);

    std::string held;
    const int heldFd = platform::CreateTemporarySibling(dst + "other.bin", 0600, held).ValueOr(-1);
    ASSERT_GE(heldFd, 0);
    RunResult next = Run(p);
    EXPECT_EQ(next.summary.FilesCopied, 1) << next.logText;
    EXPECT_EQ(temporaries(), std::vector<std::string>{platform::ExtractFileName(held)});
    ::close(heldFd);
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{platform::ExtractFileName(held), "large.bin"}));
}

TEST_F(BackupRun, WriteFailureKeepsTheOldCopyAndIsAnError) {
    // Small files are copied by reads and writes, large ones in the kernel.
    for (const std::size_t size : {std::size_t{11}, std::size_t{3} << 20}) {
        SCOPED_TRACE(size);
        WriteFile(src + "a.txt", std::string(size, 'n'));
        WriteFile(dst + "a.txt", "old");
        const ScopedFaultHook fault([&](platform::FaultOp op, const std::string& path) {
            return op == platform::FaultOp::Write && path.find("/dst/") != std::string::npos ? ENOSPC : 0;
        });
        TBackupProfile p = Profile("WriteFail", {src + "*"}, dst);
        p.BackupAttributes.DirectoryStructure = 2;
        RunResult run = Run(p);
        EXPECT_EQ(ReadFile(dst + "a.txt"), "old");
        EXPECT_EQ(Tree(dst), std::vector<std::string>{"a.txt"});
        EXPECT_TRUE(Contains(run.logText, "File Error - " + platform::ErrorText(ENOSPC)));
        EXPECT_EQ(run.summary.FilesCopied, 0);
        EXPECT_EQ(run.summary.BytesProcessed, 0);
    }
}

// A read may hand out less than a block before the end of the file (FUSE and network file systems do; so does
// the kernel's symbol table, which serves as the fixture); the copy goes on until a read returns nothing.
// Replaced copies are synced together in batches before they are renamed: a run killed anywhere in a batch
// leaves every old copy whole, or the whole new copy once renamed, and nothing else but temporary files.
TEST_F(BackupRun, KillDuringABatchOfReplacementsLeavesEveryOldCopyIntact) {
    constexpr int Files = 100; // more than one batch
    const auto name = [](int i) { return "f" + std::to_string(1000 + i) + ".txt"; };
    const auto oldContent = [](int i) { return "old " + std::to_string(i); };
    const auto newContent = [](int i) { return "new content " + std::to_string(i) + std::string(100, 'x'); };
    struct TCase {
        const char* What;
        platform::FaultOp Op;
        int File;            // the kill comes at this file's open or rename
        bool EarlierRenamed; // every file before it has its new copy
    };
    for (const TCase& c : {TCase{"while copying", platform::FaultOp::OpenRead, 30, false},
                           TCase{"while renaming", platform::FaultOp::Rename, 10, true},
                           TCase{"in a later batch", platform::FaultOp::Rename, 70, true}}) {
        SCOPED_TRACE(c.What);
        std::filesystem::remove_all(dst);
        for (int i = 0; i < Files; ++i) {
            WriteFile(dst + name(i), oldContent(i));
            WriteFile(src + name(i), newContent(i));
        }
        TBackupProfile p = Profile("Kill", {src + "*"}, dst);
        p.BackupAttributes.DirectoryStructure = 2;
        const std::string killAt = (c.Op == platform::FaultOp::OpenRead ? src : dst) + name(c.File);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const ScopedFaultHook fault([&](platform::FaultOp op, const std::string& path) {
                if (op == c.Op && path == killAt)
                    ::kill(::getpid(), SIGKILL);
                return 0;
            });
            Run(p);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        for (int i = 0; i < Files; ++i) {
            const std::string content = ReadFile(dst + name(i));
            if (i < c.File && c.EarlierRenamed)
                EXPECT_EQ(content, newContent(i)) << name(i);
            else if (i < c.File)
                EXPECT_TRUE(content == oldContent(i) || content == newContent(i)) << name(i);
            else
                EXPECT_EQ(content, oldContent(i)) << name(i);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dst)) {
            const std::string file = entry.path().filename().string();
            EXPECT_TRUE(file.rfind("f1", 0) == 0 || file.front() == '.') << file;
        }
    }
    // The next run replaces what is left.
    TBackupProfile p = Profile("Kill", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    EXPECT_EQ(Run(p).summary.FilesCopied, Files);
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(ReadFile(dst + name(i)), newContent(i)) << name(i);
}

TEST_F(BackupRun, ShortReadsBeforeTheEndStillCopyTheWholeFile) {
    const std::string source = "/proc/kallsyms";
    std::string whole;
    char block[61440];
    platform::File probe;
    if (!probe.OpenRead(source) || !platform::ReadWholeFile(source, whole) ||
        probe.Read(block, sizeof block).ValueOr(-1) >=
            static_cast<std::int64_t>(std::min(whole.size(), sizeof block)))
        GTEST_SKIP() << source << " gives no short reads here";
    TBackupProfile p = Profile("Short", {source}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    RunResult run = Run(p);
    EXPECT_EQ(run.summary.FilesCopied, 1) << run.logText;
    const std::string copy = ReadFile(dst + "kallsyms");
    EXPECT_EQ(copy.size(), whole.size());
    EXPECT_TRUE(copy == whole);
}

TEST_F(BackupRun, FilesWithTheLongestNamesAreCopied) {
    const std::string name(255, 'n');
    WriteFile(src + name, "new");
    WriteFile(dst + name, "old");
    TBackupProfile p = Profile("Long", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    RunResult run = Run(p);
    EXPECT_EQ(run.summary.FilesCopied, 1) << run.logText;
    EXPECT_EQ(ReadFile(dst + name), "new");
    EXPECT_EQ(Tree(dst), std::vector<std::string>{name});
}

TEST_F(BackupRun, SynchronisationDeletesExactlyTheOrphans) {
    WriteFile(src + "keep.txt", "k");
    WriteFile(src + "sub/inner.txt", "i");
    WriteFile(src + "filtered.tmp", "f");
    WriteFile(src + "was-folder", "now a file");
    TBackupProfile p = Profile("Sync", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    p.BackupAttributes.FilterFiles = true;
    p.BackupAttributes.FileFilterFlag = 1;
    p.BackupAttributes.FileFilter = {"*.tmp"};
    WriteFile(dst + "filtered.tmp", "old copy of a filtered file");
    WriteFile(dst + "orphan.txt", "o");
    WriteFile(dst + "sub/orphan2.txt", "o");
    WriteFile(dst + "gone/deep/x.txt", "x");
    WriteFile(dst + "was-folder/x.txt", "x");
    WriteFile(dst + "keep.txt/nested.txt", "a folder where the source has a file");
    const std::string outside = dir / "outside/";
    WriteFile(outside + "precious.txt", "p");
    ::symlink(outside.c_str(), (dst + "link-to-outside").c_str());
    RunResult run = Run(p);
    // Folders standing where the source now has files cannot take the copies; the pass removes them.
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"filtered.tmp", "sub/inner.txt"}));
    EXPECT_EQ(ReadFile(outside + "precious.txt"), "p"); // the link went, not what it points to
    EXPECT_TRUE(Contains(run.logText, "Deleted file due to synchronization."));
    EXPECT_TRUE(Contains(run.logText, "Deleted directory due to synchronization."));
    EXPECT_EQ(run.summary.Errors, 2) << run.logText;
    RunResult rerun = Run(p);
    EXPECT_EQ(Tree(dst),
              (std::vector<std::string>{"filtered.tmp", "keep.txt", "sub/inner.txt", "was-folder"}));
    EXPECT_EQ(rerun.summary.Errors, 0) << rerun.logText;
}

TEST_F(BackupRun, SynchronisationRefusesWhatItCannotTrust) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "locked/b.txt", "b");
    TBackupProfile p = Profile("Guard", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    WriteFile(dst + "locked/b.txt", "earlier copy");
    WriteFile(dst + "orphan.txt", "o");

    // A subfolder that cannot be read in this run: its copies would look orphaned.
    ScopedFaultHook fault([&](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::ListDirectory && path.find("/src/locked") != std::string::npos
                   ? EACCES
                   : 0;
    });
    RunResult unread = Run(p);
    fault.Remove();
    EXPECT_TRUE(Contains(unread.logText, "Folder could not be read - " + platform::ErrorText(EACCES)));
    EXPECT_TRUE(Contains(unread.logText, "Synchronization skipped - source folder unavailable"));
    EXPECT_EQ(ReadFile(dst + "locked/b.txt"), "earlier copy");
    EXPECT_TRUE(platform::FileExists(dst + "orphan.txt"));

    // A mirror inside its own source.
    TBackupProfile inside = Profile("Inside", {src + "*"}, src + "backup/");
    inside.BackupAttributes.DirectoryStructure = 2;
    inside.BackupAttributes.Synchronize = true;
    RunResult overlap = Run(inside);
    EXPECT_TRUE(Contains(overlap.logText, "Synchronization skipped - source and destination overlap"));
    EXPECT_TRUE(platform::FileExists(src + "a.txt"));
}

// The source still holds a link to the file, only its target is out of reach (an unplugged disk, say): the
// copy may be all that is left of the file, so it stays, with an error entry.
TEST_F(BackupRun, SynchronisationKeepsTheCopyBehindADanglingLink) {
    WriteFile(src + "a.txt", "a");
    ASSERT_EQ(::symlink((dir / "unplugged/film.mkv").c_str(), (src + "film.mkv").c_str()), 0);
    WriteFile(dst + "film.mkv", "the only copy");
    WriteFile(dst + "orphan.txt", "o");
    TBackupProfile p = Profile("Dangling", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    RunResult run = Run(p);
    EXPECT_EQ(ReadFile(dst + "film.mkv"), "the only copy");
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"a.txt", "film.mkv"}));
    EXPECT_TRUE(Contains(run.logText, "Failed to examine source file during synchronization."))
        << run.logText;
}

// An unplugged disk leaves the empty folder it was mounted on: that is no source whose files are all gone.
TEST_F(BackupRun, SynchronisationSkipsTheFolderOfAnUnpluggedDisk) {
    const std::string mountFolder = "/mnt/brimvale-sync-" + std::to_string(::getpid()) + "/";
    if (::mkdir(mountFolder.c_str(), 0755) != 0)
        GTEST_SKIP() << "cannot create a folder under /mnt";
    WriteFile(dst + "a.txt", "the copy of a file on the disk");
    TBackupProfile p = Profile("Unplugged", {mountFolder + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    RunResult run = Run(p);
    ::rmdir(mountFolder.c_str());
    EXPECT_EQ(ReadFile(dst + "a.txt"), "the copy of a file on the disk");
    EXPECT_TRUE(Contains(run.logText, "Synchronization skipped - source folder unavailable")) << run.logText;
}

// A file system that is not mounted leaves the empty folder it belongs on: the mirror of what it held stays.
TEST_F(BackupRun, SynchronisationKeepsTheMirrorOfAnUnmountedSource) {
    testing_support::ScopedTmpfs nas(src, "4m");
    if (!nas.Mounted())
        GTEST_SKIP() << nas.Reason();
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "sub/b.txt", "b");
    TBackupProfile p = Profile("Nas", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    RunResult mounted = Run(p);
    ASSERT_EQ(Tree(dst), (std::vector<std::string>{"a.txt", "sub/b.txt"})) << mounted.logText;
    nas.Unmount();
    RunResult unmounted = Run(p);
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_EQ(unmounted.summary.Errors, 1) << unmounted.logText;
    EXPECT_TRUE(Contains(unmounted.logText, "[" + src + "] \r\n"));
    EXPECT_TRUE(Contains(unmounted.logText, "Synchronization skipped - source folder unavailable"));
    EXPECT_FALSE(Contains(unmounted.logText, "Deleted"));
    // An empty source with an empty mirror is no loss: nothing to report.
    TBackupProfile fresh = Profile("Fresh", {src + "*"}, dir / "fresh/");
    fresh.BackupAttributes.DirectoryStructure = 2;
    fresh.BackupAttributes.Synchronize = true;
    EXPECT_EQ(Run(fresh).summary.Errors, 0);
}

// A destination inside its source is left out of the scan, so no run takes in the copies of the one before.
TEST_F(BackupRun, DestinationInsideTheSourceIsNotBackedUpIntoItself) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "sub/b.txt", "b");
    struct Case {
        bool compress;
        std::string destinationName;
        std::vector<std::string> inside;
    } cases[] = {
        {false, "", {"a.txt", "sub/b.txt"}},
        {false, "Weekly", {"Weekly/a.txt", "Weekly/sub/b.txt"}},
        {true, "", {"Inside.zip"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.compress ? "compressed" : c.destinationName);
        const std::string target = src + "backups/";
        TBackupProfile p = Profile("Inside", {src + "*"}, target);
        p.BackupAttributes.DirectoryStructure = 2;
        p.BackupAttributes.Compress = c.compress;
        p.BackupAttributes.DestinationName = c.destinationName;
        RunResult last;
        for (int i = 0; i < 3; ++i)
            last = Run(p);
        EXPECT_EQ(Tree(target), c.inside);
        const std::string excluded = c.destinationName.empty() ? src + "backups" : target + c.destinationName;
        EXPECT_TRUE(Contains(last.logText, "[" + excluded + "] \r\n")) << last.logText;
        EXPECT_TRUE(Contains(last.logText, "Excluded from backup"));
        if (c.compress) {
            EXPECT_EQ(zip_testing::EntryNames(target + "Inside.zip"),
                      (std::vector<std::string>{"a.txt", "sub/b.txt"}));
        }
        testing_support::RemoveTree(target);
    }
}

// Under the flat layout the extra folders land in the mirrored folder; what this run copied there stays.
TEST_F(BackupRun, SynchronisationKeepsWhatTheRunWroteFromExtraFolders) {
    const std::string userHome = dir / "user";
    ScopedEnv homeEnv("HOME", userHome);
    ScopedEnv config("XDG_CONFIG_HOME", dir / "noconfig");
    WriteFile(userHome + "/Desktop/note.txt", "desktop");
    WriteFile(src + "a.txt", "a");
    TBackupProfile p = Profile("Extras", {src + "*"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    p.BackupAttributes.Synchronize = true;
    p.BackupAttributes.Desktop = true;
    RunResult run = Run(p);
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"a.txt", "note.txt"}));
    EXPECT_EQ(run.summary.FilesCopied, 2);
}

TEST_F(BackupRun, ExactEntriesAndSummaryOfASmallRun) {
    WriteFile(src + "a.txt", "abc");
    TBackupProfile p = Profile("Small", {src + "a.txt"}, dst);
    p.BackupAttributes.DirectoryStructure = 2;
    RunResult run = Run(p);
    EXPECT_EQ(run.summary.Name, "Small");
    EXPECT_EQ(run.summary.FilesTotal, 1);
    EXPECT_EQ(run.summary.FilesCopied, 1);
    EXPECT_EQ(run.summary.BytesTotal, 3);
    EXPECT_EQ(run.summary.BytesProcessed, 3);
    EXPECT_EQ(run.summary.Errors, 0);
    EXPECT_LE(run.summary.BeginTime, run.summary.EndTime);
    // One success entry: marker, time, source; then the message under it.
    const auto first = run.logText.find("- ");
    ASSERT_EQ(first, 0u) << run.logText;
    EXPECT_TRUE(Contains(run.logText, ": [" + src + "a.txt] \r\n-"));
    EXPECT_TRUE(Contains(run.logText, "File Copied\r\n"));
    // Without detailed logging the success entry is not written.
    RunResult quiet = Run(p, false);
    EXPECT_EQ(quiet.logText, "");
}

TEST_F(BackupRun, ExceptionEndsTheRunButRecordsItsTime) {
    WriteFile(dir / "not-a-folder", "x");
    logs = dir / "not-a-folder/Logs/";
    RunResult run = Run(Profile("Broken", {src + "*"}, dst));
    EXPECT_EQ(run.result.Failed, 4);
    EXPECT_EQ(run.result.Message,
              "BackupThread->Execute: Exception: Invalid logs directory or log file name.");
    EXPECT_EQ(run.finishedEvents, 0);
    EXPECT_GT(run.cell->LastBackup, 0);
}

TEST_F(BackupRun, NotificationLogLivesInAPrivateFolderThatIsRemoved) {
    WriteFile(src + "a.txt", "a");
    TBackupProfile p = Profile("Notify", {src + "*"}, dst);
    p.EmailNotification.Active = true;
    p.EmailNotifyLogFlags = 7;
    RunResult run = Run(p);
    EXPECT_EQ(run.result.Failed, 0);
    EXPECT_TRUE(Tree(dir / "home/Temp/").empty());
    EXPECT_TRUE(platform::ListDirectory(dir / "home/Temp/").Entries.empty());
}
