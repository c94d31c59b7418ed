// File handles and file operations.
#include "platform/file_io.h"

#include "platform/fault_injection.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

File::~File() {
    if (m_fd >= 0)
        ::close(m_fd);
}

File::File(File&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

Status File::OpenWith(const std::string& path, int flags, mode_t mode, int faultOp) {
    *this = File(-1, path);
    if (int fault = InjectedFault(static_cast<FaultOp>(faultOp), path))
        return Status(fault);
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Status::FromErrno();
    m_fd = fd;
    return {};
}

Status File::OpenRead(const std::string& path) {
    return OpenWith(path, O_RDONLY, 0, static_cast<int>(FaultOp::OpenRead));
}

Status File::Create(const std::string& path, mode_t mode) {
    return OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC, mode, static_cast<int>(FaultOp::OpenWrite));
}

Result<std::int64_t> File::Read(void* buffer, std::size_t size) {
    if (m_fd < 0)
        return Status(EBADF);
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Status::FromErrno();
    return std::int64_t{n};
}

Status File::WriteAll(const void* data, std::size_t size) {
    if (m_fd < 0)
        return Status(EBADF);
    if (int fault = InjectedFault(FaultOp::Write, m_path))
        return Status(fault);
    return WriteFully(m_fd, data, size);
}

Result<std::int64_t> File::CopyTo(File& out, std::size_t size) {
    if (m_fd < 0 || out.m_fd < 0)
        return Status(EBADF);
    ssize_t n;
    do {
        n = ::copy_file_range(m_fd, nullptr, out.m_fd, nullptr, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return Status::FromErrno();
    return std::int64_t{n};
}

Status WriteFully(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Status::FromErrno();
        if (n == 0)
            return Status(ENOSPC);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

Status File::Seek(std::int64_t offset) {
    if (m_fd < 0)
        return Status(EBADF);
    return ::lseek(m_fd, offset, SEEK_SET) >= 0 ? Status() : Status::FromErrno();
}

Result<std::int64_t> File::Size() {
    if (m_fd < 0)
        return Status(EBADF);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return Status::FromErrno();
    return std::int64_t{st.st_size};
}

Status File::DataSync() {
    if (m_fd < 0)
        return Status(EBADF);
    return ::fdatasync(m_fd) == 0 ? Status() : Status::FromErrno();
}

Status File::Close() {
    if (m_fd < 0)
        return {};
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? Status() : Status::FromErrno();
}

Status ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    File file;
    if (Status opened = file.OpenRead(path); !opened)
        return opened;
    char buffer[65536];
    for (;;) {
        const Result<std::int64_t> n = file.Read(buffer, sizeof buffer);
        if (!n)
            return n.Status();
        if (n.Value() == 0)
            return {};
        content.append(buffer, static_cast<std::size_t>(n.Value()));
    }
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

namespace {

// Makes one folder whose parent exists; an existing folder will do.
Status MakeDirectory(const std::string& dir) {
    const int made = ::mkdir(dir.c_str(), 0777) == 0 ? 0 : errno;
    if (made != 0 && made != EEXIST)
        return Status(made);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return Status::FromErrno();
    return S_ISDIR(st.st_mode) ? Status() : Status(made != 0 ? made : ENOTDIR);
}

} // namespace

Status ForceDirectories(const std::string& path) {
    if (path.empty())
        return Status(ENOENT);
    const std::string dir = ExcludeTrailingPathDelimiter(path);
    if (DirectoryExists(dir))
        return {};
    const std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(dir));
    if (!parent.empty() && parent != dir)
        if (Status made = ForceDirectories(parent); !made)
            return made;
    return MakeDirectory(dir);
}

Status DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? Status() : Status::FromErrno();
}

Status RemoveDir(const std::string& path) {
    return ::rmdir(ExcludeTrailingPathDelimiter(path).c_str()) == 0 ? Status() : Status::FromErrno();
}

namespace {

bool RefusesNoReplaceFlag(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// For file systems without the no-replace rename (NFS, some FUSE), which refuse the flag itself: a new
// link, which fails on an existing name, then the old name's removal never replace either.
Status RenameByLinkAt(int dir, const std::string& from, const std::string& to) {
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) == 0) {
        if (::unlinkat(dir, from.c_str(), 0) == 0)
            return {};
        const Status failure = Status::FromErrno();
        ::unlinkat(dir, to.c_str(), 0);
        return failure;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return Status::FromErrno();
    // No hard links either: only a file created in the instant between the test and the rename could
    // still be replaced.
    struct stat existing {};
    if (::fstatat(dir, to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return Status(EEXIST);
    return ::renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? Status() : Status::FromErrno();
}

} // namespace

Status RenameNoReplaceAt(int dir, const std::string& from, const std::string& to) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    return RefusesNoReplaceFlag(errno) ? RenameByLinkAt(dir, from, to) : Status::FromErrno();
}

Status RenameFileNoReplace(const std::string& from, const std::string& to) {
    const int fault = InjectedFault(FaultOp::Rename, to);
    if (fault == 0)
        return RenameNoReplaceAt(AT_FDCWD, from, to);
    return RefusesNoReplaceFlag(fault) ? RenameByLinkAt(AT_FDCWD, from, to) : Status(fault);
}

Status RenameFile(const std::string& from, const std::string& to) {
    if (int fault = InjectedFault(FaultOp::Rename, to))
        return Status(fault);
    return ::rename(from.c_str(), to.c_str()) == 0 ? Status() : Status::FromErrno();
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
