// Directory listings over openat/getdents and statx.
#include "platform/directory.h"

#include "platform/dos_time.h"
#include "platform/fault_injection.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr unsigned StatxMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_BTIME;

struct stat StatFromStatx(const struct statx& sx) {
    struct stat st {};
    st.st_mode = sx.stx_mode;
    st.st_size = static_cast<off_t>(sx.stx_size);
    return st;
}

// The last conversion of a time to local DOS time: files of one folder often share their second, and the
// conversion takes the C library's time-zone lock, which folders listed side by side would contend for.
struct TDosTimeCache {
    std::time_t Seconds = 0;
    TDateTime Dos = 0;
    bool Valid = false;

    TDateTime Of(std::time_t seconds) {
        if (!Valid || seconds != Seconds) {
            Seconds = seconds;
            Dos = DosTimeOf(seconds);
            Valid = true;
        }
        return Dos;
    }
};

// Fills Rec from the entry Name of the folder open as DirFd; false (errno set) when the entry vanished or
// cannot be read.
bool Examine(int dirFd, const char* name, TSearchRec& rec, TDosTimeCache& times) {
    struct statx sx {};
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, StatxMask, &sx) != 0)
        return false;
    rec.Name = name;
    if (S_ISLNK(sx.stx_mode)) {
        struct statx target {};
        if (::statx(dirFd, name, AT_NO_AUTOMOUNT, StatxMask, &target) != 0) {
            rec.Kind = EntryKind::Other; // dangling
            rec.Attr = AttributesFromStat(rec.Name, StatFromStatx(sx)) & ~faArchive;
            return true;
        }
        if (S_ISDIR(target.stx_mode)) {
            rec.Kind = EntryKind::LinkToDirectory;
            rec.Attr = AttributesFromStat(rec.Name, StatFromStatx(target));
            return true;
        }
        sx = target;
    }
    const struct stat st = StatFromStatx(sx);
    rec.Attr = AttributesFromStat(rec.Name, st);
    if (S_ISDIR(sx.stx_mode))
        rec.Kind = EntryKind::Directory;
    else if (S_ISREG(sx.stx_mode))
        rec.Kind = EntryKind::File;
    else
        rec.Kind = EntryKind::Other;
    rec.Size = rec.Kind == EntryKind::File ? static_cast<std::int64_t>(sx.stx_size) : 0;
    rec.ModifiedSeconds = sx.stx_mtime.tv_sec;
    rec.ModifiedNanoseconds = sx.stx_mtime.tv_nsec;
    rec.AccessedSeconds = sx.stx_atime.tv_sec;
    rec.CreatedSeconds = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
    rec.Modified = times.Of(rec.ModifiedSeconds);
    return true;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

} // namespace

DirectoryListing ListDirectory(const std::string& dir) {
    DirectoryListing listing;
    if (int fault = InjectedFault(FaultOp::ListDirectory, dir)) {
        listing.Error = Status(fault);
        return listing;
    }
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listing.Error = Status::FromErrno();
        return listing;
    }
    std::unique_ptr<DIR, DirCloser> handle(::fdopendir(fd));
    if (!handle) {
        listing.Error = Status::FromErrno();
        ::close(fd);
        return listing;
    }
    TDosTimeCache times;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(handle.get());
        if (!entry) {
            listing.Error = Status(errno); // 0 at the end of the folder
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        TSearchRec rec;
        if (Examine(fd, name, rec, times))
            listing.Entries.push_back(std::move(rec));
    }
    std::sort(listing.Entries.begin(), listing.Entries.end(),
              [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
    return listing;
}

Status FindFile(const std::string& path, TSearchRec& rec) {
    const std::string trimmed = ExcludeTrailingPathDelimiter(path);
    TDosTimeCache times;
    if (!Examine(AT_FDCWD, trimmed.c_str(), rec, times))
        return Status::FromErrno();
    rec.Name = ExtractFileName(trimmed);
    rec.Attr = (rec.Attr & ~faHidden) | (!rec.Name.empty() && rec.Name[0] == '.' ? faHidden : 0);
    return {};
}

} // namespace platform
