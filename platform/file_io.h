// Plain file access over POSIX descriptors: an owning File handle and the everyday file operations.
#pragma once

#include "platform/status.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Writes all Size bytes to the descriptor, retrying short and interrupted writes; ENOSPC for a write that
// stores nothing.
Status WriteFully(int fd, const void* data, std::size_t size);

// A file descriptor, closed by the destructor. Every call that can fail returns why.
class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens Path for reading in place of the file held so far.
    Status OpenRead(const std::string& path);
    // Creates the file, or empties an existing one, in place of the file held so far.
    Status Create(const std::string& path, mode_t mode = 0644);
    // Takes ownership of an open descriptor.
    static File Adopt(int fd, const std::string& path) { return File(fd, path); }

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    // Gives the descriptor up to the caller, who closes it.
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // The bytes read (0 at the end of the file).
    Result<std::int64_t> Read(void* buffer, std::size_t size);
    // Writes everything or fails: a short write is retried, a write that stores nothing is an error.
    Status WriteAll(const void* data, std::size_t size);
    Status WriteAll(const std::string& text) { return WriteAll(text.data(), text.size()); }
    // Copies up to Size bytes from this file's position to Out's in the kernel: the bytes copied (0 at the
    // end of this file). EXDEV, EINVAL, ENOSYS or EOPNOTSUPP where the file systems cannot do it: read and
    // write then.
    Result<std::int64_t> CopyTo(File& out, std::size_t size);
    Status Seek(std::int64_t offset);
    Result<std::int64_t> Size();
    Status DataSync();
    Status Close();

private:
    File(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    Status OpenWith(const std::string& path, int flags, mode_t mode, int faultOp);

    int m_fd = -1;
    std::string m_path;
};

// The whole content of the file at Path; it fails when the file cannot be opened or read.
Status ReadWholeFile(const std::string& path, std::string& content);
// The lines of Text, split at each LF, a CR at the end of a line dropped; a last line without LF counts too.
std::vector<std::string> SplitLines(const std::string& text);

// A regular file (or a link to one).
bool FileExists(const std::string& path);
// A folder (a link to a folder counts).
bool DirectoryExists(const std::string& path);
// Anything at all, dangling links included.
bool PathExists(const std::string& path);
// Creates the folder and its missing parents; succeeds when it exists afterwards (EEXIST where something
// else has its name or a parent's).
Status ForceDirectories(const std::string& path);
Status DeleteFile(const std::string& path);
Status RemoveDir(const std::string& path);
// Renames From to To in the folder Dir (AT_FDCWD: paths) without ever taking the place of an existing file
// (EEXIST when To exists). Falls back to a link and an unlink where the file system has no no-replace
// rename.
Status RenameNoReplaceAt(int dir, const std::string& from, const std::string& to);
// Fails when the new name exists already.
Status RenameFileNoReplace(const std::string& from, const std::string& to);
// Replaces the target when it exists.
Status RenameFile(const std::string& from, const std::string& to);
// The path with exactly one trailing "/" (an empty path stays empty).
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);
// Everything up to and including the last "/".
std::string ExtractFilePath(const std::string& path);
// Everything after the last "/".
std::string ExtractFileName(const std::string& path);
// The extension with its dot, or empty.
std::string ExtractFileExt(const std::string& path);
constexpr char PathDelim = '/';

} // namespace platform
