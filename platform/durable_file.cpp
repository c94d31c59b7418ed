// Durable replacement of files.
#include "platform/durable_file.h"

#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string TemporarySiblingPrefix(const std::string& target) {
    // The two dots and the six random letters must still fit in a name: a target whose name is close to the
    // longest one allowed lends the temporary file a shortened name, cut where a character begins.
    constexpr std::size_t Added = 8;
    std::string name = ExtractFileName(target);
    if (name.size() > NAME_MAX - Added) {
        std::size_t cut = NAME_MAX - Added;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return ExtractFilePath(target) + "." + name + ".";
}

int CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName) {
    if (int fault = InjectedFault(FaultOp::OpenWrite, target)) {
        errno = fault;
        return -1;
    }
    std::string pattern = TemporarySiblingPrefix(target) + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        errno = error;
        return -1;
    }
    tempName = pattern;
    return fd;
}

bool SyncParentDirectory(const std::string& path) {
    std::string dir = ExtractFilePath(path);
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

DurableWriter::~DurableWriter() {
    Abandon();
}

bool DurableWriter::Fail(int error) {
    m_error = error;
    Abandon();
    return false;
}

bool DurableWriter::Open(const std::string& target, mode_t mode) {
    Abandon();
    m_error = 0;
    m_target = target;
    m_fd = CreateTemporarySibling(target, mode, m_tempName);
    if (m_fd < 0)
        return Fail(errno);
    return true;
}

bool DurableWriter::Write(const void* data, std::size_t size) {
    if (m_fd < 0)
        return m_error ? false : Fail(EBADF);
    if (int fault = InjectedFault(FaultOp::Write, m_target))
        return Fail(fault);
    const int error = WriteFully(m_fd, data, size);
    return error == 0 ? true : Fail(error);
}

bool DurableWriter::Sync() {
    if (m_fd < 0)
        return m_error ? false : Fail(EBADF);
    if (::fdatasync(m_fd) != 0)
        return Fail(errno);
    return true;
}

bool DurableWriter::Commit() {
    if (m_fd < 0)
        return m_error ? false : Fail(EBADF);
    if (::fdatasync(m_fd) != 0)
        return Fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(errno);
    if (int fault = InjectedFault(FaultOp::Rename, m_target))
        return Fail(fault);
    if (::rename(m_tempName.c_str(), m_target.c_str()) != 0)
        return Fail(errno);
    m_tempName.clear();
    SyncParentDirectory(m_target);
    return true;
}

void DurableWriter::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.empty()) {
        ::unlink(m_tempName.c_str());
        m_tempName.clear();
    }
}

} // namespace platform
