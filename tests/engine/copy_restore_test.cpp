// The restore from an uncompressed copy: what it leaves behind when it is interrupted, and what a backup
// that runs while it writes takes from the folder it writes into.
#include "engine/copy_restore.h"

#include "engine/zip/zip_component.h"
#include "platform/durable_file.h"
#include "tests/engine/backup_run_fixture.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace backup_run_testing;

namespace {

class CopyRestore : public BackupRun {
protected:
    std::string copy = dir / "copy/";
    const std::string big = std::string(3 << 20, 'r') + "end";

    void SetUp() override {
        WriteFile(copy + "big.bin", big);
        WriteFile(copy + "a.txt", "alpha");
        WriteFile(src + "mine.txt", "mine");
    }

    std::vector<std::string> TemporaryFiles(const std::string& folder) {
        std::vector<std::string> names;
        for (const std::string& file : Tree(folder))
            if (platform::IsTemporaryName(platform::ExtractFileName(file)))
                names.push_back(file);
        return names;
    }
};

// A backup of the folder a restore is writing into, run while the restore's temporary file is there, copies
// and archives the user's files only.
TEST_F(CopyRestore, BackupDuringARestoreLeavesItsTemporaryFileOut) {
    RunResult copied, archived;
    TCopyRestore restore;
    restore.OnProgress = [&](std::int64_t, std::int64_t) {
        if (copied.cell || TemporaryFiles(src).empty())
            return;
        copied = Run(Profile("Copy", {src + "*"}, dst + "copy/"));
        TBackupProfile compressed = Profile("Zip", {src + "*"}, dst + "zip/");
        compressed.BackupAttributes.Compress = true;
        archived = Run(compressed);
    };
    const TRestoreOutcome outcome = restore.Restore(copy, "*", src);
    ASSERT_TRUE(copied.cell) << "no backup ran while the temporary file was there";
    EXPECT_EQ(outcome.Result, TRestoreResult::Completed);
    EXPECT_EQ(ReadFile(src + "big.bin"), big);

    EXPECT_EQ(Tree(dst + "copy/"), std::vector<std::string>{"src/mine.txt"});
    std::vector<TZipEntryInfo> entries;
    ASSERT_EQ(ReadZipDirectory(dst + "zip/Zip.zip", entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(platform::ExtractFileName(entries[0].Name), "mine.txt");
    for (const RunResult* run : {&copied, &archived}) {
        EXPECT_FALSE(Contains(run->logText, "brimvale-tmp")) << run->logText;
        EXPECT_EQ(run->summary.FilesCopied, 1);
    }
}

// A restore killed in the middle of a file leaves its temporary file; the next restore into that folder
// removes it and completes.
TEST_F(CopyRestore, TemporaryFileOfAKilledRestoreGoesWithTheNextOne) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TCopyRestore restore;
        restore.OnProgress = [](std::int64_t, std::int64_t) { ::raise(SIGKILL); };
        restore.Restore(copy, "big.bin", src);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(TemporaryFiles(src).size(), 1u);

    TCopyRestore restore;
    const TRestoreOutcome outcome = restore.Restore(copy, "*", src);
    EXPECT_EQ(outcome.Result, TRestoreResult::Completed);
    EXPECT_EQ(outcome.Text, "Restore completed successfully.");
    EXPECT_EQ(outcome.Restored, 2);
    EXPECT_EQ(ReadFile(src + "big.bin"), big);
    EXPECT_EQ(TemporaryFiles(src), std::vector<std::string>{});
}

} // namespace
