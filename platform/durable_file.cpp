// Durable replacement of files.
#include "platform/durable_file.h"

#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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

namespace {

// CreateTemporaryAt, telling the new file's status (its owner among it) in Own.
Result<int> CreateLockedTemporary(int dirFd, const std::string& fileName, mode_t mode, std::string& tempName,
                                  struct stat& own) {
    const std::string folder = dirFd == AT_FDCWD ? ExtractFilePath(fileName) : std::string();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = folder + TemporaryNameFor(fileName);
        const int fd =
            ::openat(dirFd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Status::FromErrno();
        }
        // Another run's clean-up may have opened the new file before the lock was taken: the file must still
        // be there under its name, and the lock ours.
        struct stat named {};
        const bool ours = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &own) == 0 &&
                          ::fstatat(dirFd, candidate.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                          own.st_dev == named.st_dev && own.st_ino == named.st_ino;
        if (!ours) {
            ::close(fd);
            continue;
        }
        if (::fchmod(fd, mode) != 0) {
            const Status failure = Status::FromErrno();
            ::close(fd);
            ::unlinkat(dirFd, candidate.c_str(), 0);
            return failure;
        }
        tempName = candidate;
        return fd;
    }
    return Status(EEXIST);
}

} // namespace

Result<int> CreateTemporaryAt(int dirFd, const std::string& fileName, mode_t mode, std::string& tempName) {
    struct stat own {};
    return CreateLockedTemporary(dirFd, fileName, mode, tempName, own);
}

Result<int> CreateTemporarySibling(const std::string& target, mode_t mode, std::string& tempName) {
    if (int fault = InjectedFault(FaultOp::OpenWrite, target))
        return Status(fault);
    return CreateTemporaryAt(AT_FDCWD, target, mode, tempName);
}

Result<int> RemoveStaleTemporaryFilesAt(int dirFd) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return Status::FromErrno();
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        const Status failure = Status::FromErrno();
        ::close(listFd);
        return failure;
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

Result<int> RemoveStaleTemporaryFiles(const std::string& folder) {
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return Status::FromErrno();
    const Result<int> removed = RemoveStaleTemporaryFilesAt(dirFd);
    ::close(dirFd);
    return removed;
}

Status SyncParentDirectory(const std::string& path) {
    std::string dir = ExtractFilePath(path);
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Status::FromErrno();
    const Status synced = ::fsync(fd) == 0 ? Status() : Status::FromErrno();
    ::close(fd);
    return synced;
}

DurableWriter::~DurableWriter() {
    Abandon();
}

DurableWriter::DurableWriter(DurableWriter&& other) noexcept {
    *this = std::move(other);
}

DurableWriter& DurableWriter::operator=(DurableWriter&& other) noexcept {
    if (this != &other) {
        Abandon();
        m_fd = std::exchange(other.m_fd, -1);
        m_dirFd = std::exchange(other.m_dirFd, -1);
        m_failure = other.m_failure;
        m_mode = other.m_mode;
        m_owner = other.m_owner;
        m_group = other.m_group;
        m_finished = other.m_finished;
        m_target = std::move(other.m_target);
        m_path = std::move(other.m_path);
        m_tempName = std::move(other.m_tempName);
        other.m_tempName.clear();
    }
    return *this;
}

Status DurableWriter::Fail(Status failure) {
    m_failure = failure;
    Abandon();
    return failure;
}

Status DurableWriter::Abandoned() {
    return m_failure ? Fail(Status(EBADF)) : m_failure;
}

Status DurableWriter::Open(const std::string& target, mode_t mode, StaleFiles stale) {
    Abandon();
    m_target = m_path = target;
    return Create(mode, stale);
}

Status DurableWriter::OpenAt(int dirFd, const std::string& name, const std::string& path, mode_t mode,
                             StaleFiles stale) {
    Abandon();
    m_dirFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    m_target = name;
    m_path = path;
    if (m_dirFd < 0)
        return Fail(Status::FromErrno());
    return Create(mode, stale);
}

Status DurableWriter::Create(mode_t mode, StaleFiles stale) {
    m_failure = Status();
    m_finished = false;
    const int dir = m_dirFd >= 0 ? m_dirFd : AT_FDCWD;
    // Clearing up is a courtesy: a folder that cannot be read shows itself when the file is created.
    if (stale == StaleFiles::Remove)
        (void)(m_dirFd >= 0 ? RemoveStaleTemporaryFilesAt(m_dirFd)
                            : RemoveStaleTemporaryFiles(ExtractFilePath(m_target)));
    if (int fault = InjectedFault(FaultOp::OpenWrite, m_path))
        return Fail(Status(fault));
    struct stat own {};
    const Result<int> created = CreateLockedTemporary(dir, m_target, mode, m_tempName, own);
    if (!created)
        return Fail(created.Status());
    m_fd = created.Value();
    m_owner = own.st_uid;
    m_group = own.st_gid;
    m_mode = mode & 07777;
    return {};
}

Status DurableWriter::Write(const void* data, std::size_t size) {
    if (m_fd < 0)
        return Abandoned();
    if (int fault = InjectedFault(FaultOp::Write, m_path))
        return Fail(Status(fault));
    const Status written = WriteFully(m_fd, data, size);
    return written ? written : Fail(written);
}

Status DurableWriter::WriteAt(const void* data, std::size_t size, std::int64_t offset) {
    if (m_fd < 0)
        return Abandoned();
    if (int fault = InjectedFault(FaultOp::Write, m_path))
        return Fail(Status(fault));
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? Status::FromErrno() : Status(ENOSPC));
        done += static_cast<std::size_t>(n);
    }
    return {};
}

Result<std::int64_t> DurableWriter::CopyFrom(File& in, std::size_t size) {
    if (m_fd < 0)
        return Abandoned();
    if (!in.IsOpen())
        return Status(EBADF);
    if (int fault = InjectedFault(FaultOp::Write, m_path))
        return Fail(Status(fault));
    File out = File::Adopt(m_fd, m_path);
    const Result<std::int64_t> copied = in.CopyTo(out, size);
    m_fd = out.Release();
    return copied;
}

void DurableWriter::KeepAttributesOf(const struct stat& source) {
    if (m_fd < 0)
        return;
    // Changing the owner clears the set-user and set-group bits: the mode comes after it. A user may not
    // give a file away, but may hand it to one of their groups.
    if (source.st_uid != m_owner || source.st_gid != m_group) {
        if (::fchown(m_fd, source.st_uid, source.st_gid) != 0)
            ::fchown(m_fd, static_cast<uid_t>(-1), source.st_gid);
        m_mode = static_cast<mode_t>(-1);
    }
    (void)SetMode(source.st_mode & 07777);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(m_fd, times);
}

Status DurableWriter::SetMode(mode_t mode) {
    if (m_fd < 0)
        return Status(EBADF);
    if (mode == m_mode)
        return {};
    if (::fchmod(m_fd, mode) != 0)
        return Status::FromErrno();
    m_mode = mode;
    return {};
}

void DurableWriter::SetModified(std::time_t seconds) {
    if (m_fd < 0)
        return;
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::futimens(m_fd, times);
}

Status DurableWriter::Sync() {
    if (m_fd < 0)
        return Abandoned();
    if (::fdatasync(m_fd) != 0)
        return Fail(Status::FromErrno());
    return {};
}

Status DurableWriter::Finish() {
    if (m_fd < 0)
        return Abandoned();
    // The close reports the last write errors of some file systems (network mounts), so it comes before
    // the rename; a duplicate keeps the lock until the file has its final name.
    const int lock = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (lock < 0)
        return Fail(Status::FromErrno());
    const int closing = std::exchange(m_fd, lock);
    if (::close(closing) != 0)
        return Fail(Status::FromErrno());
    m_finished = true;
    return {};
}

Status DurableWriter::Commit(CommitSync sync, ReplaceRule rule) {
    if (m_fd < 0)
        return Abandoned();
    if (sync == CommitSync::Now && ::fdatasync(m_fd) != 0)
        return Fail(Status::FromErrno());
    if (!m_finished)
        if (Status finished = Finish(); !finished)
            return finished;
    if (int fault = InjectedFault(FaultOp::Rename, m_path))
        return Fail(Status(fault));
    const int dir = m_dirFd >= 0 ? m_dirFd : AT_FDCWD;
    const Status renamed =
        rule == ReplaceRule::Replace
            ? (::renameat(dir, m_tempName.c_str(), dir, m_target.c_str()) == 0 ? Status()
                                                                               : Status::FromErrno())
            : RenameNoReplaceAt(dir, m_tempName, m_target);
    if (!renamed)
        return Fail(renamed);
    m_tempName.clear();
    ::close(std::exchange(m_fd, -1));
    // The rename has happened: a folder that cannot be synced does not undo it.
    if (sync == CommitSync::Now) {
        if (m_dirFd >= 0)
            ::fsync(m_dirFd);
        else
            (void)SyncParentDirectory(m_target);
    }
    Abandon(); // lets go of the folder
    return {};
}

void DurableWriter::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.empty()) {
        ::unlinkat(m_dirFd >= 0 ? m_dirFd : AT_FDCWD, m_tempName.c_str(), 0);
        m_tempName.clear();
    }
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
        m_dirFd = -1;
    }
}

void SyncTogether(std::span<DurableWriter* const> writers) {
    if (writers.empty())
        return;
    if (writers.front()->IsOpen() && ::syncfs(writers.front()->m_fd) == 0)
        return;
    // A writer whose sync fails is abandoned and remembers why: its Commit reports it.
    for (DurableWriter* writer : writers)
        if (writer->IsOpen())
            (void)writer->Sync();
}

void SyncFileSystemOf(int fd) {
    ::syncfs(fd);
}

void SyncFileSystem(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

} // namespace platform
