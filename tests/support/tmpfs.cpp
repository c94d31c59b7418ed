// Scoped tmpfs mounts for tests.
#include "tests/support/tmpfs.h"

#include "platform/file_io.h"

#include <cerrno>
#include <sys/mount.h>
#include <unistd.h>

namespace testing_support {

ScopedTmpfs::ScopedTmpfs(const std::string& folder, const std::string& size, bool readOnly)
    : m_folder(folder) {
    if (::geteuid() != 0) {
        m_reason = "mounting a tmpfs needs root";
        return;
    }
    (void)platform::ForceDirectories(folder);
    const std::string options = "size=" + size + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        m_reason = "cannot mount a tmpfs here: " + platform::ErrorText(errno);
        return;
    }
    m_mounted = true;
}

ScopedTmpfs::~ScopedTmpfs() {
    Unmount();
}

void ScopedTmpfs::Unmount() {
    if (m_mounted && ::umount2(m_folder.c_str(), MNT_DETACH) == 0)
        m_mounted = false;
}

} // namespace testing_support
