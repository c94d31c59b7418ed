// The compressed drive destination of a backup run: stored names, the only-changed update, generations and
// their pruning, abort, passwords, the self-extractor and archives that cannot be read.
#include "tests/engine/backup_run_fixture.h"
#include "tests/engine/zip_test_util.h"
#include "tests/support/tmpfs.h"

#include "engine/helpers.h"
#include "engine/zip/archive_extraction.h"
#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

using namespace backup_run_testing;
using namespace zip_testing;
using testing_support::SetModified;

namespace {

constexpr std::int64_t FileTime = 1700000000; // an even second: its DOS date-time is exact

class BackupCompress : public BackupRun {
protected:
    // A compressed profile of the folder source src/ and nothing else, flat layout.
    TBackupProfile Compressed(const std::string& name, const std::string& dest) {
        TBackupProfile p = Profile(name, {src + "*"}, dest);
        p.BackupAttributes.Compress = true;
        p.BackupAttributes.DirectoryStructure = 2;
        return p;
    }

    // Runs the profile with the clock standing at the given time, so archive names carry it.
    RunResult RunAt(const TBackupProfile& profile, const platform::DateParts& when,
                    std::function<void(TBackupThread&)> onStatus = {}) {
        m_now = platform::EncodeDateTime(when);
        return Run(profile, true, std::move(onStatus));
    }

    RunResult RunNow(const TBackupProfile& profile, std::function<void(TBackupThread&)> onStatus = {}) {
        return RunAt(profile, {2024, 5, 1, 12, 0, m_second++}, std::move(onStatus));
    }

    // Files sorted, folders left out.
    std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> files;
        for (const std::string& name : TreeOf(folder))
            if (name.back() != '/')
                files.push_back(name);
        return files;
    }

    ScopedEnv m_resources{"BRIMVALE_RESOURCES", BRIMVALE_RESOURCE_DIR};
    std::atomic<TDateTime> m_now{platform::EncodeDateTime({2024, 5, 1, 12, 0, 0})};
    const ScopedClock m_clock{[this] { return m_now.load(); }};
    int m_second = 0;
};

TEST_F(BackupCompress, StoredNamesFollowTheStructureAndTheSourceThatHoldsTheFile) {
    WriteFile(src + "Docs/Sub/a.txt", "in a folder");
    WriteFile(src + "top/a.txt", "single");
    WriteFile(src + "top/a.txt2", "a look-alike of the single file");
    const std::string rel = src.substr(1);
    struct TCase {
        std::uint8_t Structure;
        std::string DestinationName;
        std::string Archive;
        std::vector<std::string> Names;
    } cases[] = {
        {0, "", "Names.zip", {rel + "Docs/Sub/a.txt", rel + "top/a.txt", rel + "top/a.txt2"}},
        {1, "", "Names.zip", {"Docs/Sub/a.txt", "top/a.txt", "top/a.txt2"}},
        {2, "", "Names.zip", {"Sub/a.txt", "a.txt", "a.txt2"}},
        {1, "Weekly", "Weekly.zip", {"Docs/Sub/a.txt", "top/a.txt", "top/a.txt2"}},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Structure) + c.DestinationName);
        const std::string target = dst + std::to_string(n++) + "/";
        // An empty entry holds nothing, and the single file comes before its look-alike.
        TBackupProfile p =
            Profile("Names", {"", src + "Docs/*", src + "top/a.txt", src + "top/a.txt2"}, target);
        p.BackupAttributes.Compress = true;
        p.BackupAttributes.DirectoryStructure = c.Structure;
        p.BackupAttributes.DestinationName = c.DestinationName;
        RunResult run = RunNow(p);
        EXPECT_EQ(Files(target), std::vector<std::string>{c.Archive});
        EXPECT_EQ(EntryNames(target + c.Archive), c.Names);
        const TCommandResult list = RunCommand("unzip -l " + Quote(target + c.Archive));
        EXPECT_NE(list.Output.find(c.Names[2]), std::string::npos) << list.Output;
        EXPECT_EQ(run.summary.FilesCopied, 3);
        EXPECT_EQ(run.summary.BytesProcessed, run.summary.BytesTotal);
        EXPECT_EQ(run.summary.CompressedBytes, GetFileSize64(target + c.Archive));
        EXPECT_EQ(run.summary.Errors, 0) << run.logText;
        EXPECT_TRUE(Contains(run.logText, "File Copied: Size (11 B)  Compressed ("));
    }
}

TEST_F(BackupCompress, OnlyChangedRerunKeepsUnchangedEntriesByteForByte) {
    WriteFile(src + "a.txt", TextLike(50000));
    WriteFile(src + "b.txt", "first version of b");
    SetModified(src + "a.txt", FileTime);
    SetModified(src + "b.txt", FileTime);
    TBackupProfile p = Compressed("Changed", dst);
    p.BackupAttributes.ExcludeMatching = true;
    const std::string archive = dst + "Changed.zip";
    RunResult first = RunNow(p);
    ASSERT_EQ(first.summary.FilesCopied, 2) << first.logText;
    const std::vector<TEntry> before = ReadEntries(archive);

    WriteFile(src + "b.txt", "second, longer version of b");
    SetModified(src + "b.txt", FileTime);
    WriteFile(src + "c.txt", "new");
    RunResult second = RunNow(p);
    EXPECT_EQ(second.summary.FilesTotal, 3);
    EXPECT_EQ(second.summary.FilesCopied, 2);
    EXPECT_EQ(second.summary.FilesSkipped, 1);
    EXPECT_EQ(second.summary.BytesProcessed, second.summary.BytesTotal);
    EXPECT_EQ(second.summary.Errors, 0) << second.logText;
    EXPECT_TRUE(Contains(second.logText, "[a.txt] \r\n"));
    EXPECT_TRUE(Contains(second.logText, "File Skipped - Reason: FileUnChanged"));
    const std::vector<TEntry> after = ReadEntries(archive);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].Name, "a.txt");
    EXPECT_EQ(after[0].Crc, before[0].Crc);
    EXPECT_EQ(after[0].CompressedSize, before[0].CompressedSize);
    EXPECT_EQ(after[0].Stored, before[0].Stored);
    EXPECT_EQ(ReadEntry(archive, "b.txt"), "second, longer version of b");
    EXPECT_EQ(ReadEntry(archive, "c.txt"), "new");
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(archive)).ExitCode, 0);

    // One second later is the same two-second step; four seconds later is a change.
    SetModified(src + "a.txt", FileTime + 1);
    SetModified(src + "c.txt", FileTime + 4);
    RunResult third = RunNow(p);
    EXPECT_EQ(third.summary.FilesCopied, 1);
    EXPECT_EQ(third.summary.FilesSkipped, 2);
    EXPECT_EQ(third.summary.Errors, 0) << third.logText;
    EXPECT_EQ(third.summary.CompressedBytes, GetFileSize64(archive));

    // Nothing changed at all: the archive stands as it is, and that is no error.
    const std::string unchanged = ReadFile(archive);
    RunResult fourth = RunNow(p);
    EXPECT_EQ(fourth.summary.FilesCopied, 0);
    EXPECT_EQ(fourth.summary.FilesSkipped, 3);
    EXPECT_EQ(fourth.summary.BytesProcessed, fourth.summary.BytesTotal);
    EXPECT_EQ(fourth.summary.Errors, 0) << fourth.logText;
    EXPECT_EQ(ReadFile(archive), unchanged);
}

// An entry whose data no longer matches its CRC is no backup of its file, however unchanged the file is.
TEST_F(BackupCompress, DamagedEntryIsCompressedAfreshNotCarriedForward) {
    WriteFile(src + "a.txt", TextLike(50000));
    WriteFile(src + "b.txt", "b");
    SetModified(src + "a.txt", FileTime);
    SetModified(src + "b.txt", FileTime);
    TBackupProfile p = Compressed("Damaged", dst);
    p.BackupAttributes.ExcludeMatching = true;
    const std::string archive = dst + "Damaged.zip";
    ASSERT_EQ(RunNow(p).summary.FilesCopied, 2);
    std::string bytes = ReadFile(archive);
    const std::string stored = ReadEntries(archive)[0].Stored;
    const std::size_t at = bytes.find(stored);
    ASSERT_NE(at, std::string::npos);
    bytes[at + stored.size() / 2] ^= 0x20;
    WriteFile(archive, bytes);
    ASSERT_NE(RunCommand("unzip -tq " + Quote(archive)).ExitCode, 0);

    WriteFile(src + "c.txt", "new"); // the archive is rewritten in any case
    RunResult rerun = RunNow(p);
    EXPECT_TRUE(Contains(rerun.logText,
                         "[" + src + "a.txt] \r\n?                        Damaged archive entry replaced"))
        << rerun.logText;
    EXPECT_EQ(rerun.summary.FilesCopied, 2); // a.txt and c.txt
    EXPECT_EQ(rerun.summary.FilesSkipped, 1);
    EXPECT_EQ(rerun.summary.Warnings, 2) << rerun.logText;
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(archive)).ExitCode, 0);
    EXPECT_EQ(ReadEntry(archive, "a.txt"), TextLike(50000));
    EXPECT_EQ(EntryNames(archive), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

// "\\" is a character of a file name here: the file a\b.txt is restored as itself, next to a/b.txt.
TEST_F(BackupCompress, RestoreKeepsNamesWithBackslashes) {
    WriteFile(src + "a\\b.txt", "the file named a\\b.txt");
    WriteFile(src + "a/b.txt", "the file b.txt in the folder a");
    RunResult run = RunNow(Compressed("Names", dst));
    ASSERT_EQ(run.summary.FilesCopied, 2) << run.logText;
    const std::string target = dir / "restored/";
    std::string errorText;
    UnzipArchive(dst + "Names.zip", "*", target, "", true, {}, {}, errorText);
    EXPECT_EQ(errorText, "");
    EXPECT_EQ(ReadFile(target + "a\\b.txt"), "the file named a\\b.txt");
    EXPECT_EQ(ReadFile(target + "a/b.txt"), "the file b.txt in the folder a");
}

TEST_F(BackupCompress, GenerationsPruneOnlyThisProfilesOwnArchives) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "b.txt", "b");
    // Left from a period with one generation: goes first.
    WriteFile(dst + "Docs.zip", "old unsuffixed archive");
    // Not of this profile's family, however alike.
    const std::vector<std::string> others = {"Docs2_20030101_000000.zip", "docs_20030101_000000.zip",
                                             "Docs_20030101_000000.exe",  "Docs_2003.zip",
                                             "Docs_20030101_0000000.zip", "Docs_20030101_000000.zip.bak",
                                             "Docs-20030101-000000.zip"};
    for (const std::string& name : others)
        WriteFile(dst + name, "another archive");
    (void)platform::ForceDirectories(dst + "Docs_20020101_000000.zip/");
    WriteFile(dst + "Docs_20020101_000000.zip/inside.txt", "a folder named like an archive");

    TBackupProfile p = Compressed("Docs", dst);
    p.BackupAttributes.Generations = 3;
    p.BackupAttributes.ExcludeMatching = true; // a new name each run: every file is compressed
    const std::vector<std::string> stamps = {"20031231_235958", "20040101_000000", "20040101_000102",
                                             "20040102_101010"};
    const platform::DateParts times[] = {
        {2003, 12, 31, 23, 59, 58}, {2004, 1, 1, 0, 0, 0}, {2004, 1, 1, 0, 1, 2}, {2004, 1, 2, 10, 10, 10}};
    auto ours = [&] {
        std::vector<std::string> names;
        for (const std::string& name : Files(dst))
            if (name == "Docs.zip" ||
                (name.rfind("Docs_", 0) == 0 && name.size() == 24 && name.compare(20, 4, ".zip") == 0))
                names.push_back(name);
        return names;
    };
    for (std::size_t i = 0; i < 4; ++i) {
        RunResult run = RunAt(p, times[i]);
        EXPECT_EQ(run.summary.FilesCopied, 2) << i;
        EXPECT_EQ(run.summary.FilesSkipped, 0) << i;
        EXPECT_EQ(run.summary.Errors, 0) << run.logText;
        EXPECT_EQ(EntryNames(dst + "Docs_" + stamps[i] + ".zip"),
                  (std::vector<std::string>{"a.txt", "b.txt"}));
        if (i == 1) {
            EXPECT_EQ(ours(), (std::vector<std::string>{"Docs.zip", "Docs_" + stamps[0] + ".zip",
                                                        "Docs_" + stamps[1] + ".zip"}));
        }
    }
    EXPECT_EQ(ours(), (std::vector<std::string>{"Docs_" + stamps[1] + ".zip", "Docs_" + stamps[2] + ".zip",
                                                "Docs_" + stamps[3] + ".zip"}));

    // A clock set back: the archive just written sorts first, yet it is one of those kept.
    RunAt(p, {2001, 1, 1, 0, 0, 0});
    EXPECT_EQ(ours(), (std::vector<std::string>{"Docs_20010101_000000.zip", "Docs_" + stamps[2] + ".zip",
                                                "Docs_" + stamps[3] + ".zip"}));
    // A huge number of generations keeps everything.
    p.BackupAttributes.Generations = 4294967295u;
    RunAt(p, {2005, 1, 1, 0, 0, 0});
    EXPECT_EQ(ours().size(), 4u);
    // Back to one generation: the unsuffixed archive is the only one of the family left.
    p.BackupAttributes.Generations = 1;
    RunAt(p, {2005, 1, 1, 0, 0, 2});
    EXPECT_EQ(ours(), std::vector<std::string>{"Docs.zip"});
    EXPECT_EQ(EntryNames(dst + "Docs.zip"), (std::vector<std::string>{"a.txt", "b.txt"}));
    for (const std::string& name : others)
        EXPECT_EQ(ReadFile(dst + name), "another archive") << name;
    EXPECT_EQ(ReadFile(dst + "Docs_20020101_000000.zip/inside.txt"), "a folder named like an archive");
}

TEST_F(BackupCompress, AbortMidArchiveLeavesTheOldArchiveAsItWas) {
    WriteFile(src + "a.txt", "a");
    TBackupProfile p = Compressed("Abort", dst);
    RunNow(p);
    const std::string archive = dst + "Abort.zip";
    const std::string before = ReadFile(archive);
    const int fd = ::open((src + "big.bin").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::ftruncate(fd, 256LL << 20), 0);
    ::close(fd);
    bool abortedMidFile = false;
    RunResult run = RunNow(p, [&](TBackupThread& t) {
        if (t.Status.Action == "Copying File" && t.Status.FileName == "big.bin" && t.Status.Position > 0 &&
            t.Status.Position < t.Status.Max && !t.Terminated()) {
            abortedMidFile = true;
            t.Terminate();
        }
    });
    ASSERT_TRUE(abortedMidFile);
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_EQ(Files(dst), std::vector<std::string>{"Abort.zip"}); // no temporary file left
    EXPECT_TRUE(Contains(run.logText, "[Compression Error Code (518)] \r\n"));
    EXPECT_TRUE(Contains(run.logText, "User aborted process(Zip file: " + archive + ")"));
    EXPECT_EQ(run.summary.CompressedBytes, 0);
    // a.txt was compressed before the abort, but no archive holds it: nothing was copied.
    EXPECT_FALSE(Contains(run.logText, "File Copied")) << run.logText;
    EXPECT_EQ(run.summary.FilesCopied, 0);
    EXPECT_EQ(run.summary.BytesProcessed, 0);
    EXPECT_EQ(run.summary.Errors, 1);
    EXPECT_EQ(run.result.Failed, 0);
    EXPECT_EQ(run.finishedEvents, 1);
}

// A destination that fills up while the archive is made: the error entry stands alone.
TEST_F(BackupCompress, FullDiskCountsNothingAsCopied) {
    testing_support::ScopedTmpfs disk(dst, "20m");
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Reason();
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        WriteFile(src + name, RandomBytes(8 << 20, static_cast<unsigned>(name[0])));
    RunResult run = RunNow(Compressed("Full", dst));
    EXPECT_TRUE(Contains(run.logText, "[Compression Error Code (")) << run.logText;
    EXPECT_FALSE(Contains(run.logText, "File Copied")) << run.logText;
    EXPECT_EQ(run.summary.FilesCopied, 0);
    EXPECT_EQ(run.summary.BytesProcessed, 0);
    EXPECT_EQ(run.summary.CompressedBytes, 0);
    EXPECT_EQ(Files(dst), std::vector<std::string>{}); // no partial archive or temporary file
}

TEST_F(BackupCompress, PasswordProtectsEveryEntryAndAWrongOneExtractsNothing) {
    WriteFile(src + "a.txt", TextLike(30000));
    WriteFile(src + "sub/b.bin", RandomBytes(5000));
    TBackupProfile p = Compressed("Secret", dst);
    p.BackupAttributes.Password = "s3cret pass";
    RunNow(p);
    const std::string archive = dst + "Secret.zip";
    for (const TEntry& entry : ReadEntries(archive))
        EXPECT_EQ(entry.Encryption, ZIP_EM_AES_256) << entry.Name;
    EXPECT_EQ(RunCommand("7z t -p" + Quote("s3cret pass") + " " + Quote(archive)).ExitCode, 0);
    EXPECT_NE(RunCommand("7z t -pwrong " + Quote(archive)).ExitCode, 0);

    std::string error;
    UnzipArchive(archive, "", dir / "right/", "s3cret pass", true, {}, {}, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ReadFile(dir / "right/a.txt"), TextLike(30000));
    EXPECT_EQ(ReadFile(dir / "right/sub/b.bin"), RandomBytes(5000));
    // Told apart from a damaged archive, and before anything is written: not even the folders appear.
    for (const char* password : {"wrong", ""}) {
        SCOPED_TRACE(password);
        UnzipArchive(archive, "", dir / "wrong/", password, true, {}, {}, error);
        EXPECT_EQ(error, "The password is not correct.");
        EXPECT_FALSE(platform::PathExists(dir / "wrong/"));
    }
}

TEST_F(BackupCompress, ChangingThePasswordReEncryptsEntriesTheOnlyChangedTestWouldKeep) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "b.txt", "b");
    TBackupProfile p = Compressed("Rekey", dst);
    p.BackupAttributes.ExcludeMatching = true;
    const std::string archive = dst + "Rekey.zip";
    struct TStep {
        const char* Password;
        int Copied;
        int Encryption;
    } steps[] = {{"", 2, ZIP_EM_NONE},
                 {"new", 2, ZIP_EM_AES_256},
                 {"new", 0, ZIP_EM_AES_256},
                 {"other", 2, ZIP_EM_AES_256},
                 {"", 2, ZIP_EM_NONE}};
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Password);
        p.BackupAttributes.Password = step.Password;
        RunResult run = RunNow(p);
        EXPECT_EQ(run.summary.FilesCopied, step.Copied);
        EXPECT_EQ(run.summary.FilesSkipped, 2 - step.Copied);
        for (const TEntry& entry : ReadEntries(archive))
            EXPECT_EQ(entry.Encryption, step.Encryption) << entry.Name;
        EXPECT_EQ(ReadEntry(archive, "a.txt", step.Password), "a");
    }
}

TEST_F(BackupCompress, SelfExtractingArchiveRunsAndExtractsTheFiles) {
    WriteFile(src + "a.txt", TextLike(10000));
    WriteFile(src + "sub/b.bin", RandomBytes(3000));
    WriteFile(dst + "Sfx.zip", "a plain archive of the same base");
    TBackupProfile p = Compressed("Sfx", dst);
    p.BackupAttributes.SelfExtracting = true;
    RunResult run = RunNow(p);
    EXPECT_EQ(run.summary.Errors, 0) << run.logText;
    const std::string exe = dst + "Sfx.exe";
    EXPECT_EQ(::access(exe.c_str(), X_OK), 0);
    EXPECT_EQ(ReadFile(dst + "Sfx.zip"), "a plain archive of the same base");
    EXPECT_NE(RunCommand("unzip -l " + Quote(exe)).Output.find("sub/b.bin"), std::string::npos);

    const std::string work = dir / "work/";
    (void)platform::ForceDirectories(work);
    const TCommandResult extract = RunCommand("cd " + Quote(work) + " && " + Quote(exe) + " out");
    EXPECT_EQ(extract.ExitCode, 0) << extract.Output;
    EXPECT_EQ(ReadFile(work + "out/a.txt"), TextLike(10000));
    EXPECT_EQ(ReadFile(work + "out/sub/b.bin"), RandomBytes(3000));
}

// The self-extractor reads its arguments as programs do: "-" begins an option, --help tells how to use
// it, an unknown option is refused, and after "--" a folder may begin with "-". Only a folder argument
// extracts anything.
TEST_F(BackupCompress, SelfExtractingArchiveReadsOptionsBeforeItsFolder) {
    WriteFile(src + "a.txt", "a");
    TBackupProfile p = Compressed("Sfx", dst);
    p.BackupAttributes.SelfExtracting = true;
    ASSERT_EQ(RunNow(p).summary.Errors, 0);
    const std::string exe = dst + "Sfx.exe";
    const struct {
        const char* arguments;
        int exitCode;
        const char* said;        // a part of what it printed
        const char* extractedTo; // the folder that holds a.txt afterwards, or none
    } cases[] = {
        {"--help", 0, "Usage: ", nullptr},
        {"--bogus", 2, "unknown option --bogus", nullptr},
        {"-x out", 2, "unknown option -x", nullptr},
        {"one two", 2, "Usage: ", nullptr},
        {"-- -dash", 0, "1 files extracted", "-dash"},
        {"plain", 0, "1 files extracted", "plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::string work = dir / ("work " + std::string(c.arguments) + "/");
        (void)platform::ForceDirectories(work);
        const TCommandResult run = RunCommand("cd " + Quote(work) + " && " + Quote(exe) + " " + c.arguments);
        EXPECT_EQ(run.ExitCode, c.exitCode) << run.Output;
        EXPECT_TRUE(Contains(run.Output, c.said)) << run.Output;
        std::vector<std::string> expected;
        if (c.extractedTo) {
            expected.push_back(std::string(c.extractedTo) + "/a.txt");
            EXPECT_EQ(ReadFile(work + c.extractedTo + "/a.txt"), "a");
        }
        EXPECT_EQ(Files(work), expected);
    }
}

TEST_F(BackupCompress, ArchiveThatCannotBeReadIsAnErrorAndStaysAsItIs) {
    WriteFile(src + "a.txt", "a");
    const std::string archive = dst + "Broken.zip";
    const std::string garbage = RandomBytes(4000);
    // An older generation, left from a time with more than one: with the current archive unreadable it is
    // the good one, and pruning must not take it.
    const std::string older = "Broken_20030101_000000.zip";
    WriteFile(dst + older, "an older generation");
    for (const bool onlyChanged : {true, false}) {
        SCOPED_TRACE(onlyChanged);
        WriteFile(archive, garbage);
        TBackupProfile p = Compressed("Broken", dst);
        p.BackupAttributes.ExcludeMatching = onlyChanged;
        RunResult run = RunNow(p);
        EXPECT_EQ(run.result.Failed, 0);
        EXPECT_EQ(run.finishedEvents, 1);
        EXPECT_TRUE(Contains(run.logText, "[Compression Error Code (519)] \r\n"));
        EXPECT_TRUE(Contains(run.logText, "Invalid zip file(Zip file: " + archive + ")"));
        EXPECT_EQ(run.summary.Errors, 1);
        EXPECT_EQ(run.summary.CompressedBytes, 0);
        EXPECT_EQ(ReadFile(archive), garbage);
        EXPECT_EQ(Files(dst), (std::vector<std::string>{"Broken.zip", older}));
    }
}

TEST_F(BackupCompress, UnusableDestinationWritesNoArchive) {
    WriteFile(src + "a.txt", "a");
    WriteFile(dir / "file", "a file where the destination folder should be");
    for (const std::string& path : {std::string(), std::string("relative/"), dir / "file/sub/"}) {
        SCOPED_TRACE(path);
        TBackupProfile p = Compressed("Nowhere", path);
        p.DriveDestination.Active = true;
        RunResult run = RunNow(p);
        EXPECT_TRUE(Contains(run.logText, "[" + path + "] \r\n"));
        EXPECT_TRUE(Contains(run.logText, "Destination Invalid/Unavailable"));
        EXPECT_EQ(run.summary.Errors, 1);
    }
    EXPECT_FALSE(platform::PathExists("Nowhere.zip"));
    EXPECT_FALSE(platform::PathExists("relative"));
}

TEST_F(BackupCompress, UnreadableFileIsSkippedWithItsReasonAndCounted) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "locked.txt", "no access");
    const ScopedFaultHook fault([this](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenRead && path == src + "locked.txt" ? EACCES : 0;
    });
    RunResult run = RunNow(Compressed("Locked", dst));
    EXPECT_TRUE(Contains(run.logText, "! "));
    EXPECT_TRUE(Contains(run.logText, "[locked.txt] \r\n"));
    EXPECT_TRUE(Contains(run.logText, "File Skipped - Reason: OpenFile"));
    EXPECT_EQ(run.summary.FilesCopied, 1);
    EXPECT_EQ(run.summary.FilesSkipped, 1);
    EXPECT_EQ(run.summary.BytesProcessed, run.summary.BytesTotal);
    EXPECT_EQ(run.summary.Errors, 1);
    EXPECT_EQ(EntryNames(dst + "Locked.zip"), std::vector<std::string>{"a.txt"});
}

} // namespace
