// Replacing a file without ever losing it: the new content goes to a hidden temporary file in the
// same folder, is synced to disk and is then renamed over the target. Until Commit succeeds the old
// file stays exactly as it was; an abandoned writer removes its temporary file. Every writer of a user's
// file (copies, extracted and restored files, archives, profiles and settings) goes through DurableWriter.
//
// Temporary files carry a name of their own (".<name>.XXXXXX.brimvale-tmp") and are locked (flock) by the
// process writing them until they have been renamed or removed, so that what a killed run leaves behind can
// be told from a user's file and from a file another running run is still writing: the next run that writes
// into a folder removes the stale ones there (RemoveStaleTemporaryFiles), and no scan takes them for a
// user's file (IsTemporaryName).
#pragma once

#include "platform/status.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

namespace platform {

class File;

// Whether a commit may take the place of a file that exists under the target's name by then. A writer that
// decided to write because nothing was there keeps whatever appeared meanwhile.
enum class ReplaceRule { Replace, KeepExisting };
// When a commit makes the file durable. Now: its data before the rename, the folder after it. Later: the
// caller does, by one sync of many writers (SyncTogether) before their commits, or for new files by one
// sync of the file system once a run has written them (SyncFileSystem).
enum class CommitSync { Now, Later };
// Whether opening first removes the stale temporary files of the target's folder. Writers of many files
// do it once per folder themselves.
enum class StaleFiles { Remove, LeaveToCaller };

class DurableWriter {
public:
    DurableWriter() = default;
    ~DurableWriter();
    DurableWriter(DurableWriter&& other) noexcept;
    DurableWriter& operator=(DurableWriter&& other) noexcept;
    DurableWriter(const DurableWriter&) = delete;
    DurableWriter& operator=(const DurableWriter&) = delete;

    // Creates the temporary file beside Target, which no listing of profiles, logs, archives or scanned
    // folders picks up. Mode applies to the new file.
    Status Open(const std::string& target, mode_t mode = 0644, StaleFiles stale = StaleFiles::Remove);
    // The same for the file Name in the open folder DirFd (the writer keeps a duplicate of it), so that no
    // link on the way to the folder can be swapped in meanwhile. Path is the target's full path, for the
    // failure seam.
    Status OpenAt(int dirFd, const std::string& name, const std::string& path, mode_t mode,
                  StaleFiles stale = StaleFiles::Remove);
    Status Write(const void* data, std::size_t size);
    Status Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Writes at Offset of the temporary file, for writers that go back to fill in what they wrote before.
    Status WriteAt(const void* data, std::size_t size, std::int64_t offset);
    // Copies up to Size bytes from In's position in the kernel: the bytes copied (0 at In's end). A failed
    // write abandons the writer (it is no longer open); any other failure is In's, EXDEV, EINVAL, ENOSYS or
    // EOPNOTSUPP where the file systems cannot copy so: read and Write then.
    Result<std::int64_t> CopyFrom(File& in, std::size_t size);
    // Gives the new file Source's permission bits, its owner and group where the system allows this process
    // to (silently kept otherwise), and its access and modification times.
    void KeepAttributesOf(const struct stat& source);
    // The new file's permission bits and modification time (its access time too).
    Status SetMode(mode_t mode);
    void SetModified(std::time_t seconds);
    // Syncs what was written so far, so that a caller can tell a failed write-out from a failed
    // rename. Commit syncs in any case, unless told to leave it.
    Status Sync();
    // Closes the written file, which reports the last write errors of some file systems, and keeps it
    // locked, so that the Commit that follows (on another thread, say) has only the rename left. Sync first
    // where the data must be on disk.
    Status Finish();
    // Renames the file over the target (see ReplaceRule and CommitSync). On failure the temporary
    // file is removed and the target is untouched; EEXIST when KeepExisting found a file.
    Status Commit(CommitSync sync = CommitSync::Now, ReplaceRule rule = ReplaceRule::Replace);
    // Removes the temporary file; the target is untouched.
    void Abandon();

    bool IsOpen() const { return m_fd >= 0; }
    // The temporary file's path (its name only for OpenAt); empty once committed or abandoned.
    const std::string& TempName() const { return m_tempName; }

private:
    friend void SyncTogether(std::span<DurableWriter* const> writers);
    Status Fail(Status failure);
    // The first failure of an abandoned writer, which every later call returns; EBADF when it never opened.
    Status Abandoned();
    Status Create(mode_t mode, StaleFiles stale);

    int m_fd = -1;
    int m_dirFd = -1; // the folder of OpenAt, owned; -1 for a path
    // The first failure: it abandoned the writer, also when SyncTogether found it, and the calls that
    // follow (the Commit after SyncTogether, say) report it.
    Status m_failure;
    mode_t m_mode = 0;
    uid_t m_owner = 0; // of the new file
    gid_t m_group = 0;
    bool m_finished = false;
    std::string m_target; // the path, or the name in m_dirFd
    std::string m_path;   // the target's full path
    std::string m_tempName;
};

// Syncs the data of all Writers (open, not yet committed) at once: one sync of their file system, and only
// when that reports a failure, one sync per writer to tell which failed; those are abandoned with their
// error. The first writer should be the oldest: the sync reports every write-back failure since it opened.
void SyncTogether(std::span<DurableWriter* const> writers);
// Syncs the whole file system that holds Folder, or the open file or folder Fd: the one sync that new files
// written with CommitSync::Later rely on.
void SyncFileSystem(const std::string& folder);
void SyncFileSystemOf(int fd);

// A fresh temporary name (no folder) for a file named FileName: ".<name>.XXXXXX.brimvale-tmp" with six random
// letters, the name shortened where it would not fit.
std::string TemporaryNameFor(const std::string& fileName);
// Name has the form of a temporary file's name.
bool IsTemporaryName(const std::string& name);
// Creates a fresh temporary file for FileName in the folder DirFd (AT_FDCWD with FileName a path: beside it),
// exclusively and without following links, and takes its lock; returns its descriptor. The
// lock lasts as long as the descriptor or a duplicate of it is open: rename the file before closing the last.
Result<int> CreateTemporaryAt(int dirFd, const std::string& fileName, mode_t mode, std::string& tempName);
// Creates a fresh temporary file beside Target; TempName is its path.
Result<int> CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName);
// Removes the temporary files in the folder whose lock can be taken (those that no running writer holds);
// links, folders and every other name are left alone. How many were removed; it fails when the folder
// cannot be read.
Result<int> RemoveStaleTemporaryFiles(const std::string& folder);
Result<int> RemoveStaleTemporaryFilesAt(int dirFd);
// Syncs the folder that holds Path, so that a rename into it survives a crash.
Status SyncParentDirectory(const std::string& path);

} // namespace platform
