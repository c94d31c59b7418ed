// Replacing a file without ever losing it: the new content goes to a hidden temporary file in the
// same folder, is synced to disk and is then renamed over the target. Until Commit succeeds the old
// file stays exactly as it was; an abandoned writer removes its temporary file.
//
// Temporary files carry a name of their own (".<name>.XXXXXX.brimvale-tmp") and are locked (flock) by the
// process writing them until they have been renamed or removed, so that what a killed run leaves behind can
// be told from a user's file and from a file another running run is still writing: the next run that writes
// into a folder removes the stale ones there (RemoveStaleTemporaryFiles).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

class DurableWriter {
public:
    DurableWriter() = default;
    ~DurableWriter();
    DurableWriter(const DurableWriter&) = delete;
    DurableWriter& operator=(const DurableWriter&) = delete;

    // Removes the stale temporary files of Target's folder, then creates the temporary file beside Target,
    // which no listing of profiles, logs or archives picks up. Mode applies to the new file.
    bool Open(const std::string& target, mode_t mode = 0644);
    bool Write(const void* data, std::size_t size);
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Syncs what was written so far, so that a caller can tell a failed write-out from a failed
    // rename. Commit syncs in any case.
    bool Sync();
    // Syncs, closes and renames over the target, then syncs the folder. On failure the temporary
    // file is removed and the target is untouched.
    bool Commit();
    // Removes the temporary file; the target is untouched.
    void Abandon();

    int Error() const { return m_error; }
    const std::string& TempName() const { return m_tempName; }

private:
    bool Fail(int error);

    int m_fd = -1;
    int m_error = 0;
    std::string m_target;
    std::string m_tempName;
};

// A fresh temporary name (no folder) for a file named FileName: ".<name>.XXXXXX.brimvale-tmp" with six random
// letters, the name shortened where it would not fit.
std::string TemporaryNameFor(const std::string& fileName);
// Name has the form of a temporary file's name.
bool IsTemporaryName(const std::string& name);
// Creates a fresh temporary file for FileName in the folder DirFd (AT_FDCWD with FileName a path: beside it),
// exclusively and without following links, and takes its lock; returns its descriptor or -1 (errno set). The
// lock lasts as long as the descriptor or a duplicate of it is open: rename the file before closing the last.
int CreateTemporaryAt(int dirFd, const std::string& fileName, mode_t mode, std::string& tempName);
// Creates a fresh temporary file beside Target; TempName is its path.
int CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName);
// Removes the temporary files in the folder whose lock can be taken (those that no running writer holds);
// links, folders and every other name are left alone. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& folder);
int RemoveStaleTemporaryFilesAt(int dirFd);
// Syncs the folder that holds Path, so that a rename into it survives a crash.
bool SyncParentDirectory(const std::string& path);

} // namespace platform
