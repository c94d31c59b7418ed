// Replacing a file without ever losing it: the new content goes to a hidden temporary file in the
// same folder, is synced to disk and is then renamed over the target. Until Commit succeeds the old
// file stays exactly as it was; an abandoned writer removes its temporary file.
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

    // Creates the temporary file ".<name>.XXXXXX" beside Target, which no listing of profiles, logs or
    // archives picks up. Mode applies to the new file.
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

// The temporary name DurableWriter and the copy routines use beside Target (without the random part).
std::string TemporarySiblingPrefix(const std::string& target);
// Creates a fresh temporary file beside Target from that prefix; returns its descriptor or -1 (errno set).
int CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName);
// Syncs the folder that holds Path, so that a rename into it survives a crash.
bool SyncParentDirectory(const std::string& path);

} // namespace platform
