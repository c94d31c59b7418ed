// A small tmpfs mounted on a folder for the life of the object, for real mounts, unmounts, full disks and
// read-only file systems. Mounting needs root; a test skips with Reason() when it cannot mount.
#pragma once

#include <string>

namespace testing_support {

class ScopedTmpfs {
public:
    // Mounts a tmpfs of Size (as mount(8) takes it: "20m") on Folder, which is created; read-only when asked.
    ScopedTmpfs(const std::string& folder, const std::string& size, bool readOnly = false);
    ~ScopedTmpfs();
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool Mounted() const { return m_mounted; }
    // Why it is not mounted.
    const std::string& Reason() const { return m_reason; }
    // Unmounts now (what was written there goes with it); the folder stays, empty.
    void Unmount();

private:
    std::string m_folder;
    std::string m_reason;
    bool m_mounted = false;
};

} // namespace testing_support
