// File handles and file operations.
#include "platform/file_io.h"

#include "platform/fault_injection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string ErrorText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not lie in the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

File::~File() {
    if (m_fd >= 0)
        ::close(m_fd);
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd), m_error(other.m_error), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_error = other.m_error;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

File File::OpenWith(const std::string& path, int flags, mode_t mode, int faultOp) {
    if (int fault = InjectedFault(static_cast<FaultOp>(faultOp), path))
        return File(-1, fault, path);
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return File(fd, fd < 0 ? errno : 0, path);
}

File File::OpenRead(const std::string& path) {
    return OpenWith(path, O_RDONLY, 0, static_cast<int>(FaultOp::OpenRead));
}

File File::Create(const std::string& path, mode_t mode) {
    return OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC, mode, static_cast<int>(FaultOp::OpenWrite));
}

bool File::Fail(int error) {
    m_error = error;
    return false;
}

std::int64_t File::Read(void* buffer, std::size_t size) {
    if (m_fd < 0)
        return Fail(EBADF), -1;
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Fail(errno), -1;
    return n;
}

bool File::WriteAll(const void* data, std::size_t size) {
    if (m_fd < 0)
        return Fail(EBADF);
    if (int fault = InjectedFault(FaultOp::Write, m_path))
        return Fail(fault);
    const int error = WriteFully(m_fd, data, size);
    return error == 0 ? true : Fail(error);
}

std::int64_t File::CopyTo(File& out, std::size_t size) {
    if (m_fd < 0 || out.m_fd < 0)
        return Fail(EBADF), -1;
    if (int fault = InjectedFault(FaultOp::Write, out.m_path))
        return out.Fail(fault), Fail(fault), -1;
    ssize_t n;
    do {
        n = ::copy_file_range(m_fd, nullptr, out.m_fd, nullptr, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Fail(errno), -1;
    return n;
}

int WriteFully(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

bool File::Seek(std::int64_t offset) {
    return m_fd >= 0 && ::lseek(m_fd, offset, SEEK_SET) >= 0 ? true : Fail(errno);
}

std::int64_t File::Size() {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return Fail(errno), -1;
    return st.st_size;
}

bool File::DataSync() {
    return m_fd >= 0 && ::fdatasync(m_fd) == 0 ? true : Fail(errno);
}

bool File::Close() {
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? true : Fail(errno);
}

bool ReadWholeFile(const std::string& path, std::string& content, int* error) {
    content.clear();
    File file = File::OpenRead(path);
    char buffer[65536];
    std::int64_t n = 0;
    while (file.IsOpen() && (n = file.Read(buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<std::size_t>(n));
    if (file.IsOpen() && n == 0)
        return true;
    if (error)
        *error = file.Error();
    return false;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::size_t length = end - at;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        lines.push_back(text.substr(at, length));
        at = end + 1;
    }
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::string dir = ExcludeTrailingPathDelimiter(path);
    if (dir.empty() || DirectoryExists(dir))
        return DirectoryExists(dir.empty() ? "/" : dir);
    const std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(dir));
    if (!parent.empty() && parent != dir && !ForceDirectories(parent))
        return false;
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        return false;
    return DirectoryExists(dir);
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RemoveDir(const std::string& path) {
    return ::rmdir(ExcludeTrailingPathDelimiter(path).c_str()) == 0;
}

namespace {

bool RefusesNoReplaceFlag(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// For file systems without the no-replace rename (NFS, some FUSE), which refuse the flag itself: a new
// link, which fails on an existing name, then the old name's removal never replace either.
int RenameByLinkAt(int dir, const std::string& from, const std::string& to) {
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0) {
        if (::unlinkat(dir, from.c_str(), 0) == 0)
            return 0;
        const int error = errno;
        ::unlinkat(dir, to.c_str(), 0);
        return error;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // No hard links either: only a file created in the instant between the test and the rename could
    // still be replaced.
    struct stat existing {};
    if (::fstatat(dir, to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? 0 : errno;
}

} // namespace

int RenameNoReplaceAt(int dir, const std::string& from, const std::string& to) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    return RefusesNoReplaceFlag(errno) ? RenameByLinkAt(dir, from, to) : errno;
}

bool RenameFileNoReplace(const std::string& from, const std::string& to) {
    int error = InjectedFault(FaultOp::Rename, to);
    if (error == 0)
        error = RenameNoReplaceAt(AT_FDCWD, from, to);
    else if (RefusesNoReplaceFlag(error))
        error = RenameByLinkAt(AT_FDCWD, from, to);
    errno = error;
    return error == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (InjectedFault(FaultOp::Rename, to))
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (path.empty() || path.back() == PathDelim)
        return path;
    return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
    std::string result = path;
    while (result.size() > 1 && result.back() == PathDelim)
        result.pop_back();
    return result;
}

std::string ExtractFilePath(const std::string& path) {
    const auto slash = path.rfind(PathDelim);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
    const auto slash = path.rfind(PathDelim);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

} // namespace platform
