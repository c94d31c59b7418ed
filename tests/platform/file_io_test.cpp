// The everyday file operations: each failure carries the errno that tells why.
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

using namespace platform;
using testing_support::TempDir;
using testing_support::WriteFile;

// Every case meets a real obstacle in a fresh folder, but the rename refused by the seam, which stands for
// a disk that fails mid-rename.
TEST(FileOperations, FailuresCarryTheReason) {
    struct Case {
        const char* name;
        std::function<Status(const TempDir&)> call;
        int error;
    } cases[] = {
        {"folder below a file", [](const TempDir& d) { return ForceDirectories(d / "file/sub/"); }, EEXIST},
        {"folder with no name", [](const TempDir&) { return ForceDirectories(""); }, ENOENT},
        {"delete a missing file", [](const TempDir& d) { return DeleteFile(d / "missing"); }, ENOENT},
        {"remove a folder that holds a file", [](const TempDir& d) { return RemoveDir(d.Path()); },
         ENOTEMPTY},
        {"rename onto a file", [](const TempDir& d) { return RenameFileNoReplace(d / "other", d / "file"); },
         EEXIST},
        {"rename refused by the disk",
         [](const TempDir& d) {
             SetFaultHook([](FaultOp op, const std::string&) { return op == FaultOp::Rename ? EIO : 0; });
             const Status renamed = RenameFile(d / "other", d / "new");
             SetFaultHook({});
             return renamed;
         },
         EIO},
        {"read a missing file",
         [](const TempDir& d) {
             std::string content;
             return ReadWholeFile(d / "missing", content);
         },
         ENOENT},
        {"read a folder",
         [](const TempDir& d) {
             std::string content;
             return ReadWholeFile(d.Path(), content);
         },
         EISDIR},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        WriteFile(dir / "file", "x");
        WriteFile(dir / "other", "y");
        const Status status = row.call(dir);
        EXPECT_FALSE(status);
        EXPECT_EQ(status.Code(), row.error);
        EXPECT_EQ(status.Text(), ErrorText(row.error));
    }
}
