// Safe extraction of archive entries below a target folder.
#include "engine/zip/zip_safe_extract.h"

#include "engine/zip/zip_codes.h"
#include "platform/durable_file.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr std::size_t BlockSize = 1 << 20;
// Most kept entries are small: a smaller buffer than extraction's, reused from entry to entry, so that
// checking an archive of many small entries costs no allocation per entry.
constexpr std::size_t CheckBlockSize = 256 << 10;

class TDescriptor {
public:
    TDescriptor(int fd, int keep) : m_fd(fd), m_keep(keep) {}
    ~TDescriptor() {
        if (m_fd >= 0 && m_fd != m_keep)
            ::close(m_fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
    int m_keep;
};

std::string Join(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        if (!path.empty())
            path += '/';
        path += part;
    }
    return path;
}

int ReasonOfOpenError(int zipError) {
    switch (zipError) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return ZipSkipReason::InvalidPassword;
    case ZIP_ER_CRC:
        return ZipSkipReason::InvalidCRC;
    default:
        return ZipSkipReason::Uncompress;
    }
}

bool IsWinZipAes(zip_uint16_t method) {
    return method == ZIP_EM_AES_128 || method == ZIP_EM_AES_192 || method == ZIP_EM_AES_256;
}

// Entries that another archiver wrote in the AES format without a CRC (AE-2) end in a CRC error in libzip
// 1.7.3 although their data is right. For a compressed entry the authentication code still tells: reading
// its decrypted, compressed data checks it. A stored entry of that kind cannot be checked further.
bool AesEntryAuthenticates(zip_t* archive, zip_uint64_t index, const zip_stat_t& st, const char* password) {
    if (st.comp_method == ZIP_CM_STORE)
        return true;
    zip_set_default_password(archive, password);
    zip_source_t* source = zip_source_zip(archive, archive, index, 0, 0, -1);
    zip_set_default_password(archive, nullptr);
    if (!source)
        return false;
    bool ok = zip_source_open(source) == 0;
    if (ok) {
        std::vector<char> buffer(BlockSize);
        zip_int64_t n;
        while ((n = zip_source_read(source, buffer.data(), buffer.size())) > 0) {
        }
        ok = n == 0;
        zip_source_close(source);
    }
    zip_source_free(source);
    return ok;
}

struct TFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

} // namespace

bool SplitEntryName(const std::string& name, bool madeOnUnix, std::vector<std::string>& parts,
                    bool& isFolder) {
    parts.clear();
    isFolder = false;
    const auto separates = [madeOnUnix](char c) { return c == '/' || (!madeOnUnix && c == '\\'); };
    if (name.empty() || separates(name.front()) || name.find('\0') != std::string::npos)
        return false;
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !separates(name[i])) {
            part += name[i];
            continue;
        }
        if (part == "." || part == "..")
            return false;
        if (!madeOnUnix && parts.empty() && part.find(':') != std::string::npos)
            return false;
        if (!part.empty())
            parts.push_back(part);
        part.clear();
    }
    isFolder = separates(name.back());
    return !parts.empty();
}

bool EntryMadeOnUnix(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    return zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
           system == ZIP_OPSYS_UNIX;
}

TTargetFolder::~TTargetFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TTargetFolder::Open(const std::string& folder) {
    m_path = platform::IncludeTrailingPathDelimiter(folder.empty() ? std::string("./") : folder);
    if (const platform::Status made = platform::ForceDirectories(m_path); !made) {
        m_error = made.Code();
        return false;
    }
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_error = m_fd < 0 ? errno : 0;
    return m_fd >= 0;
}

int TTargetFolder::OpenFolder(const std::vector<std::string>& parts, std::size_t count, bool create) {
    int fd = m_fd;
    bool followed = true;
    for (std::size_t i = 0; i < count && fd >= 0; ++i) {
        const char* part = parts[i].c_str();
        followed = followed && i < m_followed.size() && m_followed[i] == parts[i];
        if (create && ::mkdirat(fd, part, 0777) != 0 && errno != EEXIST) {
            m_error = errno;
            if (fd != m_fd)
                ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, part, O_RDONLY | O_DIRECTORY | (followed ? 0 : O_NOFOLLOW) | O_CLOEXEC);
        m_error = next < 0 ? errno : 0;
        if (fd != m_fd)
            ::close(fd);
        fd = next;
    }
    return fd;
}

int CheckEntryData(zip_t* archive, zip_uint64_t index, const char* password, const std::atomic<bool>* stop,
                   std::vector<char>& buffer) {
    zip_stat_t st;
    if (zip_stat_index(archive, index, 0, &st) != 0)
        return zip_error_code_zip(zip_get_error(archive));
    std::unique_ptr<zip_file_t, TFileCloser> entry(
        zip_fopen_index_encrypted(archive, index, 0, password && *password ? password : nullptr));
    if (!entry)
        return zip_error_code_zip(zip_get_error(archive));
    if (buffer.size() < CheckBlockSize)
        buffer.resize(CheckBlockSize);
    std::uint64_t total = 0;
    for (;;) {
        if (stop && stop->load())
            return ZIP_ER_CANCELLED;
        const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            const int error = zip_error_code_zip(zip_file_get_error(entry.get()));
            const bool aesWithoutCrc =
                error == ZIP_ER_CRC && IsWinZipAes(st.encryption_method) && st.crc == 0 && total == st.size;
            if (aesWithoutCrc && AesEntryAuthenticates(archive, index, st, password))
                break;
            return error != ZIP_ER_OK ? error : ZIP_ER_READ;
        }
        total += static_cast<std::uint64_t>(n);
    }
    return total == st.size ? ZIP_ER_OK : ZIP_ER_INCONS;
}

bool EntryFileMode(zip_t* archive, zip_uint64_t index, mode_t& mode) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        attributes = 0;
    const mode_t unixMode = static_cast<mode_t>(attributes >> 16);
    if (system == ZIP_OPSYS_UNIX && (unixMode & S_IFMT) != 0 && !S_ISREG(unixMode))
        return false;
    if (system == ZIP_OPSYS_UNIX && (unixMode & 0777) != 0)
        mode = unixMode & 0777;
    else
        mode = (attributes & 1) ? 0444 : 0644;
    return true;
}

bool StatTarget(TTargetFolder& target, const std::vector<std::string>& parts, struct stat& st) {
    if (parts.empty())
        return false;
    TDescriptor dir(target.OpenFolder(parts, parts.size() - 1, false), target.Fd());
    return dir.Get() >= 0 && ::fstatat(dir.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

TEntryExtraction CreateEntryFolder(TTargetFolder& target, const std::vector<std::string>& parts) {
    TDescriptor dir(target.OpenFolder(parts, parts.size(), true), target.Fd());
    if (dir.Get() < 0)
        return {ZipSkipReason::CreateFolder, target.Error()};
    return {};
}

TEntryExtraction ExtractEntryToFile(zip_t* archive, zip_uint64_t index, const char* password,
                                    TTargetFolder& target, const std::vector<std::string>& parts,
                                    const TExtractProgress& progress) {
    TExtractedFile file;
    const TEntryExtraction result =
        ExtractEntryToTemporary(archive, index, password, target, parts, progress, file);
    return result.Reason != 0 ? result : CommitExtractedFile(file);
}

TEntryExtraction CommitExtractedFile(TExtractedFile& file) {
    // A replaced file's data is on disk already; new files rely on the one sync at the end of the extraction.
    if (const platform::Status committed = file.Writer.Commit(platform::CommitSync::Later, file.Rule);
        !committed)
        return {ZipSkipReason::MoveFile, committed.Code()};
    return {};
}

TEntryExtraction ExtractEntryToTemporary(zip_t* archive, zip_uint64_t index, const char* password,
                                         TTargetFolder& target, const std::vector<std::string>& parts,
                                         const TExtractProgress& progress, TExtractedFile& file) {
    zip_stat_t st;
    if (parts.empty() || zip_stat_index(archive, index, 0, &st) != 0)
        return {ZipSkipReason::Uncompress, 0};
    mode_t mode = 0644;
    if (!EntryFileMode(archive, index, mode))
        return {ZipSkipReason::AccessDenied, 0};
    TDescriptor dir(target.OpenFolder(parts, parts.size() - 1, true), target.Fd());
    if (dir.Get() < 0)
        return {ZipSkipReason::CreateFolder, target.Error()};
    const std::string& name = parts.back();
    const std::string fullPath = target.Path() + Join(parts);

    std::unique_ptr<zip_file_t, TFileCloser> entry(
        zip_fopen_index_encrypted(archive, index, 0, password && *password ? password : nullptr));
    if (!entry)
        return {ReasonOfOpenError(zip_error_code_zip(zip_get_error(archive))), 0};

    // What a killed extraction left in this folder goes before this one writes there.
    if (target.FirstWriteInto(Join(std::vector<std::string>(parts.begin(), parts.end() - 1))))
        (void)platform::RemoveStaleTemporaryFilesAt(dir.Get());
    platform::DurableWriter& out = file.Writer;
    const platform::Status opened =
        out.OpenAt(dir.Get(), name, fullPath, 0600, platform::StaleFiles::LeaveToCaller);
    if (!opened)
        return {ZipSkipReason::CreateFile, opened.Code()};
    const auto fail = [&](int reason, int error) {
        out.Abandon();
        return TEntryExtraction{reason, error};
    };

    std::vector<char> buffer(BlockSize);
    std::int64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            const int error = zip_error_code_zip(zip_file_get_error(entry.get()));
            const bool aesWithoutCrc = error == ZIP_ER_CRC && IsWinZipAes(st.encryption_method) &&
                                       st.crc == 0 && static_cast<zip_uint64_t>(total) == st.size;
            if (aesWithoutCrc && AesEntryAuthenticates(archive, index, st, password))
                break;
            return fail(ReasonOfOpenError(error), 0);
        }
        if (const platform::Status written = out.Write(buffer.data(), static_cast<std::size_t>(n)); !written)
            return fail(ZipSkipReason::WriteFile, written.Code());
        total += n;
        if (progress && !progress(total))
            return fail(ExtractCancelled, 0);
    }
    if (static_cast<zip_uint64_t>(total) != st.size)
        return fail(ZipSkipReason::InvalidUncompSize, 0);

    (void)out.SetMode(mode);
    if ((st.valid & ZIP_STAT_MTIME) != 0)
        out.SetModified(st.mtime);
    struct stat existing {};
    const bool replaces = ::fstatat(dir.Get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    // A replaced file must not be lost if the machine stops right after the rename; new files rely on the
    // one sync at the end of the extraction.
    const platform::Status written = replaces ? out.Sync() : platform::Status();
    if (const platform::Status finished = written ? out.Finish() : written; !finished)
        return fail(ZipSkipReason::WriteFile, finished.Code());
    file.Rule = replaces ? platform::ReplaceRule::Replace : platform::ReplaceRule::KeepExisting;
    return {};
}
