// Durable replacement of files.
#include "platform/durable_file.h"

#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr char TemporarySuffix[] = ".brimvale-tmp";
constexpr std::size_t SuffixLength = sizeof TemporarySuffix - 1;
constexpr std::size_t RandomLength = 6;

bool IsRandomLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string TemporaryNameFor(const std::string& fileName) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof Letters - 2);
    // The dots, the random letters and the suffix must still fit in a name: a target whose name is close to
    // the longest one allowed lends the temporary file a shortened name, cut where a character begins.
    constexpr std::size_t Added = 2 + RandomLength + SuffixLength;
    std::string name = ExtractFileName(fileName);
    if (name.size() > NAME_MAX - Added) {
        std::size_t cut = NAME_MAX - Added;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    std::string result = "." + name + ".";
    for (std::size_t i = 0; i < RandomLength; ++i)
        result += Letters[pick(random)];
    return result + TemporarySuffix;
}

bool IsTemporaryName(const std::string& name) {
    constexpr std::size_t Least = 2 + RandomLength + SuffixLength;
    if (name.size() < Least || name.front() != '.' ||
        name.compare(name.size() - SuffixLength, SuffixLength, TemporarySuffix) != 0)
        return false;
    const std::size_t random = name.size() - SuffixLength - RandomLength;
    if (name[random - 1] != '.')
        return false;
    for (std::size_t i = random; i < random + RandomLength; ++i)
        if (!IsRandomLetter(name[i]))
            return false;
    return true;
}

int CreateTemporaryAt(int dirFd, const std::string& fileName, mode_t mode, std::string& tempName) {
    const std::string folder = dirFd == AT_FDCWD ? ExtractFilePath(fileName) : std::string();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = folder + TemporaryNameFor(fileName);
        const int fd =
            ::openat(dirFd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Another run's clean-up may have opened the new file before the lock was taken: the file must still
        // be there under its name, and the lock ours.
        struct stat own {
        }, named{};
        const bool ours = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &own) == 0 &&
                          ::fstatat(dirFd, candidate.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                          own.st_dev == named.st_dev && own.st_ino == named.st_ino;
        if (!ours) {
            ::close(fd);
            continue;
        }
        if (::fchmod(fd, mode) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlinkat(dirFd, candidate.c_str(), 0);
            errno = error;
            return -1;
        }
        tempName = candidate;
        return fd;
    }
    errno = EEXIST;
    return -1;
}

int CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName) {
    if (int fault = InjectedFault(FaultOp::OpenWrite, target)) {
        errno = fault;
        return -1;
    }
    return CreateTemporaryAt(AT_FDCWD, target, mode, tempName);
}

int RemoveStaleTemporaryFilesAt(int dirFd) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return 0;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return 0;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (IsTemporaryName(entry->d_name))
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : names) {
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat own {
        }, named{};
        // Only a regular file that nobody is writing, and that is still the one under the name.
        if (::fstat(fd, &own) == 0 && S_ISREG(own.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && own.st_dev == named.st_dev &&
            own.st_ino == named.st_ino && ::unlinkat(dirFd, name.c_str(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

int RemoveStaleTemporaryFiles(const std::string& folder) {
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int removed = RemoveStaleTemporaryFilesAt(dirFd);
    ::close(dirFd);
    return removed;
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
    RemoveStaleTemporaryFiles(ExtractFilePath(target));
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
    // Renamed while the file is still open, so that its lock lasts until it has its final name.
    if (int fault = InjectedFault(FaultOp::Rename, m_target))
        return Fail(fault);
    if (::rename(m_tempName.c_str(), m_target.c_str()) != 0)
        return Fail(errno);
    m_tempName.clear();
    ::close(m_fd); // the data is on disk already
    m_fd = -1;
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
