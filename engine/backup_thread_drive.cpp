// The drive destination without compression: copies laid out by the destination structure, the
// only-changed test, the free-space test, and the synchronisation of a single source folder.
#include "engine/backup_thread.h"
#include "engine/engine_texts.h"

#include "engine/helpers.h"
#include "platform/directory.h"
#include "platform/drive.h"
#include "platform/durable_file.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using platform::IncludeTrailingPathDelimiter;

namespace {

constexpr std::size_t CopyBlockSize = 61440;
// Files from this size on are copied in the kernel, in steps that leave room for progress and abort.
constexpr std::int64_t KernelCopyMinimum = 1 << 20;
constexpr std::size_t KernelCopyBlockSize = 8 << 20;
// Replaced copies wait for one shared sync in batches of at most this many files and bytes.
constexpr std::size_t PendingCopiesLimit = 64;
constexpr std::int64_t PendingBytesLimit = 64 << 20;

std::string WithoutLeadingDelimiters(const std::string& path) {
    const auto first = path.find_first_not_of(platform::PathDelim);
    return first == std::string::npos ? std::string() : path.substr(first);
}

std::int64_t TwoSecondStep(std::time_t seconds) {
    return seconds >= 0 ? seconds / 2 : (seconds - 1) / 2;
}

// The file's copy is taken as unchanged when both lie in the same two-second step and have the same size.
bool SameFile(const platform::TSearchRec& source, const platform::TSearchRec& dest) {
    return dest.Kind == platform::EntryKind::File && source.Size == dest.Size &&
           TwoSecondStep(source.ModifiedSeconds) == TwoSecondStep(dest.ModifiedSeconds);
}

// The file systems of the two files cannot copy between them in the kernel.
bool KernelCopyUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? IncludeTrailingPathDelimiter(resolved) : std::string();
}

bool LiesWithin(const std::string& inner, const std::string& outer) {
    return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0;
}

} // namespace

void TBackupThread::CopyToDrive() {
    const TDriveDestination& destination = RunProfile.DriveDestination;
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    std::string root = IncludeTrailingPathDelimiter(destination.Path);
    if (!a.DestinationName.empty())
        root += a.DestinationName + platform::PathDelim;
    // An empty or relative destination would land wherever the program happens to run.
    const bool absolute = !destination.Path.empty() && destination.Path[0] == platform::PathDelim;
    if (!absolute || (ValidateDestinationMedia && !IsDriveReady(root)) || !platform::ForceDirectories(root)) {
        LogError(root, engine_texts::DestinationUnavailable);
        return;
    }
    m_driveCopyCounted = true;
    m_synchronizing = SynchronizationWanted();
    try {
        for (const auto& list : ScanLists) {
            if (Terminated())
                break;
            list->First();
            CopyTree(*list, PlaceOfTree(root, *list));
            DoStatus();
        }
        for (const std::string& file : SingleFiles) {
            if (Terminated())
                break;
            CopyFile(file, PlaceOfFile(root, file));
            DoStatus();
        }
        // Copies written completely are renamed into place even when the run was stopped.
        FlushPendingCopies();
    } catch (...) {
        DiscardPendingCopies();
        throw;
    }
    Synchronization(root);
    if (RunLog->Summary.FilesCopied > 0)
        platform::SyncFileSystem(root);
    FlushStatus();
}

std::string TBackupThread::PlaceOfTree(const std::string& root, TFileSystemList& list) {
    switch (RunProfile.BackupAttributes.DirectoryStructure) {
    case 0:
        return root + WithoutLeadingDelimiters(list.GetFullName());
    case 1: {
        const std::string name = list.GetName();
        return name.empty() ? root : root + name + platform::PathDelim;
    }
    default:
        return root;
    }
}

std::string TBackupThread::PlaceOfFile(const std::string& root, const std::string& file) {
    switch (RunProfile.BackupAttributes.DirectoryStructure) {
    case 0:
        return root + WithoutLeadingDelimiters(file);
    case 1: {
        const std::string folder = ExtractLastDirName(file);
        return root + (folder.empty() ? std::string() : folder + platform::PathDelim) +
               platform::ExtractFileName(file);
    }
    default:
        return root + platform::ExtractFileName(file);
    }
}

void TBackupThread::CopyTree(TFileSystemList& list, std::string destDir) {
    if (!list.HasChildren() || Terminated())
        return;
    list.Down();
    destDir = IncludeTrailingPathDelimiter(destDir);
    // A folder this run creates holds no older copies to look for.
    const TDestFolder folder =
        platform::DirectoryExists(destDir) ? TDestFolder::Existing : TDestFolder::Created;
    if (!platform::ForceDirectories(destDir)) {
        LogError(destDir, "Destination Unavailable/Invalid");
        DoStatus();
        list.Up();
        return;
    }
    list.FirstSibling();
    auto handleChild = [&] {
        if (list.GetAttributes() & platform::faDirectory)
            CopyTree(list, destDir + list.GetName());
        else
            CopyFile(list.GetFullName(), destDir + list.GetName(), folder);
    };
    while (!list.IsLast() && !Terminated()) {
        handleChild();
        list.Next();
    }
    if (!Terminated())
        handleChild();
    list.Up();
}

void TBackupThread::CopyFile(const std::string& source, const std::string& dest, TDestFolder folder) {
    // Whatever becomes of this copy, its destination belongs to this run: synchronisation must keep it.
    if (m_synchronizing)
        m_written.insert(dest);
    platform::TSearchRec sourceRec;
    if (!platform::FindFile(source, sourceRec) || sourceRec.Kind != platform::EntryKind::File) {
        LogError(source, engine_texts::FileUnavailable);
        DoStatus();
        return;
    }
    TBackupSummary& summary = RunLog->Summary;
    const std::int64_t size = sourceRec.Size;
    Status.SetAction(TBackupAction::CopyingFile);
    Status.FileName = source;
    Status.Max = size;
    Status.Position = 0;
    DoStatus();

    platform::TSearchRec destRec;
    const bool destExists = folder != TDestFolder::Created && platform::FindFile(dest, destRec);
    // An unchanged copy is skipped before space is counted: it needs none.
    if (RunProfile.BackupAttributes.ExcludeMatching && destExists && SameFile(sourceRec, destRec)) {
        LogWarning(source, "File Skipped - destination file has not changed.");
        Status.Max = Status.Position = size;
        summary.BytesProcessed += size;
        summary.FilesSkipped += 1;
        DoStatus();
        return;
    }
    const std::int64_t freeBytes = FreeBytesFor(dest, size);
    if (freeBytes >= 0 && size >= freeBytes) {
        LogError(source, "Destination drive full - " + platform::MountPointOf(dest) + " - " +
                             std::to_string(freeBytes) + " bytes available.");
        DoStatus();
        return;
    }
    platform::File in;
    struct stat st {};
    if (!in.OpenRead(source) || ::fstat(in.Fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        LogError(source, engine_texts::FileUnavailable);
        DoStatus();
        return;
    }
    // A folder that cannot be made shows as the copy that cannot be created in it.
    if (folder == TDestFolder::Unknown)
        (void)platform::ForceDirectories(platform::ExtractFilePath(dest));
    if (destExists && destRec.Kind == platform::EntryKind::Directory) {
        LogError(dest, engine_texts::FailedToCreateDestinationFile);
        return;
    }
    bool pending = false;
    if (CopyFileBlocks(source, in, st, dest, destExists, pending)) {
        if (m_freeBytes >= 0)
            m_freeBytes -= size;
        if (!pending) {
            summary.FilesCopied += 1;
            LogSuccess(source, engine_texts::FileCopied);
        }
    }
    if (m_pendingCopies >= PendingCopiesLimit || m_pendingBytes >= PendingBytesLimit)
        FlushPendingCopies();
    DoStatus();
}

// The free bytes for Dest: one statvfs per destination folder, counted down by what the run writes there,
// and asked again whenever the count says that Size bytes would not fit.
std::int64_t TBackupThread::FreeBytesFor(const std::string& dest, std::int64_t size) {
    const std::string folder = platform::ExtractFilePath(dest);
    if (folder != m_freeFolder || m_freeBytes < 0 || size >= m_freeBytes) {
        m_freeFolder = folder;
        m_freeBytes = platform::FreeBytes(dest);
    }
    return m_freeBytes;
}

// Copies into a temporary file beside Dest and renames it over the old copy only when every byte is
// written, so an abort, a read error or a full disk never leaves a damaged copy behind.
bool TBackupThread::CopyFileBlocks(const std::string& source, platform::File& in, const struct stat& st,
                                   const std::string& dest, bool replacing, bool& pending) {
    // What a killed run left in this folder goes before this run writes there.
    const std::string folder = platform::ExtractFilePath(dest);
    if (m_cleanedFolders.insert(folder).second)
        (void)platform::RemoveStaleTemporaryFiles(folder);
    platform::DurableWriter out;
    // Made with the source's permission bits at once: the mode is set once per file.
    if (!out.Open(dest, st.st_mode & 0777, platform::StaleFiles::LeaveToCaller)) {
        LogError(dest, engine_texts::FailedToCreateDestinationFile);
        return false;
    }
    TBackupSummary& summary = RunLog->Summary;
    std::int64_t copied = 0;
    std::string failure;
    TCopyEnd end = TCopyEnd::Failed;
    try {
        // A large file is copied in the kernel up to the size it had when opened; reads and writes take over
        // for whatever follows, and wherever the file systems cannot copy so.
        end = CopyInKernel(in, st.st_size, out, copied, failure);
        if (end == TCopyEnd::Complete)
            end = CopyByBlocks(in, out, copied, failure);
        if (end == TCopyEnd::Complete) {
            out.KeepAttributesOf(st);
            // A copy that replaces an older one must be on disk before the rename removes the old one: it
            // waits for the sync its batch shares. New copies rely on the sync at the end of the run.
            pending = replacing;
            if (const platform::Status committed =
                    replacing ? platform::Status() : out.Commit(platform::CommitSync::Later);
                !committed) {
                failure = committed.Text();
                end = TCopyEnd::Failed;
            }
        }
    } catch (const std::exception& error) {
        failure = error.what();
        end = TCopyEnd::Failed;
    }
    if (end != TCopyEnd::Complete) {
        out.Abandon();
        summary.BytesProcessed -= copied;
        if (end == TCopyEnd::Failed)
            LogError(source, engine_texts::FileError + failure);
        return false;
    }
    if (Status.Max > Status.Position) {
        summary.BytesProcessed += Status.Max - Status.Position;
        copied += Status.Max - Status.Position;
        Status.Position = Status.Max;
    }
    if (pending)
        WaitForBatch(source, dest, std::move(out), copied);
    return true;
}

TBackupThread::TCopyEnd TBackupThread::CopyInKernel(platform::File& in, std::int64_t size,
                                                    platform::DurableWriter& out, std::int64_t& copied,
                                                    std::string& failure) {
    while (size >= KernelCopyMinimum && copied < size) {
        if (Terminated())
            return TCopyEnd::Aborted;
        const platform::Result<std::int64_t> n = out.CopyFrom(in, KernelCopyBlockSize);
        // A failed write has abandoned the writer; any other failure may only mean that reads and writes
        // must do the copy.
        if (!n && (!out.IsOpen() || !KernelCopyUnsupported(n.Status().Code()))) {
            failure = n.Status().Text();
            return TCopyEnd::Failed;
        }
        if (!n || n.Value() == 0)
            break;
        CountCopied(n.Value(), copied);
    }
    return TCopyEnd::Complete;
}

TBackupThread::TCopyEnd TBackupThread::CopyByBlocks(platform::File& in, platform::DurableWriter& out,
                                                    std::int64_t& copied, std::string& failure) {
    std::vector<char>& buffer = m_copyBuffer;
    buffer.resize(CopyBlockSize);
    for (;;) {
        if (Terminated())
            return TCopyEnd::Aborted;
        const platform::Result<std::int64_t> n = in.Read(buffer.data(), buffer.size());
        if (!n) {
            failure = n.Status().Text();
            return TCopyEnd::Failed;
        }
        // Only a read of nothing is the end: file systems such as FUSE and network mounts may hand out
        // less than a full block before it.
        if (n.Value() == 0)
            return TCopyEnd::Complete;
        if (const platform::Status written = out.Write(buffer.data(), static_cast<std::size_t>(n.Value()));
            !written) {
            failure = written.Text();
            return TCopyEnd::Failed;
        }
        CountCopied(n.Value(), copied);
    }
}

void TBackupThread::CountCopied(std::int64_t bytes, std::int64_t& copied) {
    copied += bytes;
    RunLog->Summary.BytesProcessed += bytes;
    Status.Position = copied;
    DoStatus();
}

void TBackupThread::WaitForBatch(const std::string& source, const std::string& dest,
                                 platform::DurableWriter out, std::int64_t credited) {
    TWaitingEntry entry;
    entry.Copy = std::make_unique<TPendingCopy>(TPendingCopy{source, dest, std::move(out), credited});
    m_waiting.push_back(std::move(entry));
    ++m_pendingCopies;
    m_pendingBytes += credited;
}

void TBackupThread::FlushPendingCopies() {
    if (m_pendingCopies == 0)
        return;
    // Every copy's data reaches the disk before the first rename, by one sync for the whole batch.
    std::vector<platform::DurableWriter*> writers;
    for (TWaitingEntry& entry : m_waiting)
        if (entry.Copy)
            writers.push_back(&entry.Copy->Out);
    platform::SyncTogether(writers);
    std::vector<TWaitingEntry> waiting = std::move(m_waiting);
    m_waiting.clear();
    m_pendingCopies = 0;
    m_pendingBytes = 0;
    TBackupSummary& summary = RunLog->Summary;
    for (TWaitingEntry& entry : waiting) {
        if (!entry.Copy) {
            WriteLogLine(entry.Kind, entry.Source, entry.Time, entry.Message);
            continue;
        }
        TPendingCopy& copy = *entry.Copy;
        const platform::Status committed = copy.Out.Commit(platform::CommitSync::Later);
        if (committed) {
            summary.FilesCopied += 1;
            LogSuccess(copy.Source, engine_texts::FileCopied);
            continue;
        }
        summary.BytesProcessed -= copy.Credited;
        LogError(copy.Source, engine_texts::FileError + committed.Text());
    }
}

// The run stops with an exception: the waiting copies go, their old copies stay.
void TBackupThread::DiscardPendingCopies() {
    m_waiting.clear();
    m_pendingCopies = 0;
    m_pendingBytes = 0;
}

bool TBackupThread::SynchronizationWanted() const {
    const std::vector<std::string>& sources = RunProfile.Sources;
    return RunProfile.BackupAttributes.Synchronize && sources.size() == 1 && !sources[0].empty() &&
           sources[0].back() == '*';
}

void TBackupThread::Synchronization(const std::string& root) {
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    const std::vector<std::string>& sources = RunProfile.Sources;
    if (!SynchronizationWanted())
        return;
    Status.SetAction(TBackupAction::Synchronizing);
    Status.FileName.clear();
    Status.Max = 0;
    Status.Position = 0;
    DoStatus();
    if (Terminated())
        return;
    const std::string sourceDir = platform::ExtractFilePath(sources[0]);
    std::string mirror = root;
    if (a.DirectoryStructure == 0)
        mirror += WithoutLeadingDelimiters(sourceDir);
    else if (a.DirectoryStructure == 1 && !ExtractLastDirName(sourceDir).empty())
        mirror += ExtractLastDirName(sourceDir) + platform::PathDelim;

    // Only what is known to be gone from the source may go: a source that cannot be read completely
    // now, or could not be scanned completely in this run, would make its copy look orphaned. So would the
    // empty folder that an unplugged disk or an unmounted file system leaves behind: a source that holds
    // nothing at all while its mirror holds something is taken for one, and the mirror waits until the
    // folder holds something again.
    const platform::DirectoryListing listing = platform::ListDirectory(sourceDir);
    bool sourceUsable = platform::DirectoryExists(sourceDir) && listing.Error &&
                        platform::RemovableMediaMounted(sourceDir) &&
                        !platform::FstabMountPointUnmounted(sourceDir);
    for (const std::string& folder : m_unreadFolders)
        if (LiesWithin(folder, sourceDir))
            sourceUsable = false;
    const bool mirrorExists = platform::DirectoryExists(mirror);
    if (sourceUsable && listing.Entries.empty() && mirrorExists &&
        !platform::ListDirectory(mirror).Entries.empty())
        sourceUsable = false;
    if (!sourceUsable) {
        LogError(sourceDir, "Synchronization skipped - source folder unavailable");
        return;
    }
    if (!mirrorExists)
        return;
    const std::string realSource = RealPath(sourceDir), realMirror = RealPath(mirror);
    if (realSource.empty() || realMirror.empty() || LiesWithin(realSource, realMirror) ||
        LiesWithin(realMirror, realSource)) {
        LogError(mirror, "Synchronization skipped - source and destination overlap");
        return;
    }
    SyncDelete(sourceDir, mirror);
}

bool TBackupThread::WrittenBelow(const std::string& destPath) const {
    const std::string prefix = IncludeTrailingPathDelimiter(destPath);
    const auto it = m_written.lower_bound(prefix);
    return it != m_written.end() && it->compare(0, prefix.size(), prefix) == 0;
}

void TBackupThread::SyncDelete(std::string sourceDir, std::string destDir) {
    sourceDir = IncludeTrailingPathDelimiter(sourceDir);
    destDir = IncludeTrailingPathDelimiter(destDir);
    for (const platform::TSearchRec& entry : platform::ListDirectory(destDir).Entries) {
        if (Terminated())
            break;
        const std::string destPath = destDir + entry.Name;
        const std::string sourcePath = sourceDir + entry.Name;
        struct stat st {};
        int error = ::stat(sourcePath.c_str(), &st) == 0 ? 0 : errno;
        // A link whose target cannot be reached is still in the source; the target may only be out of
        // reach for now (an unplugged disk), and the copy may be all that is left of it.
        struct stat link {};
        if (error == ENOENT && ::lstat(sourcePath.c_str(), &link) == 0)
            error = ENOLINK;
        if (error != 0 && error != ENOENT && error != ENOTDIR) {
            LogError(sourcePath, "Failed to examine source file during synchronization.");
            continue;
        }
        const bool sourceIsFolder = error == 0 && S_ISDIR(st.st_mode);
        const bool sourceIsFile = error == 0 && S_ISREG(st.st_mode);
        if (entry.Kind == platform::EntryKind::Directory) {
            if (sourceIsFolder || WrittenBelow(destPath)) {
                SyncDelete(sourcePath, destPath);
                continue;
            }
            Status.FileName = engine_texts::Deleting + destPath;
            DoStatus();
            if (SyncDeleteTree(destPath))
                LogSuccess(destPath, engine_texts::DeletedFolderBySync);
            else
                LogError(destPath, engine_texts::FolderDeleteFailedBySync);
            continue;
        }
        // Files, links (never followed) and anything else.
        if (sourceIsFile || m_written.count(destPath))
            continue;
        Status.FileName = engine_texts::Deleting + destPath;
        DoStatus();
        if (platform::DeleteFile(destPath))
            LogSuccess(destPath, engine_texts::DeletedFileBySync);
        else
            LogError(destPath, engine_texts::FileDeleteFailedBySync);
    }
}

bool TBackupThread::SyncDeleteTree(std::string dir) {
    dir = IncludeTrailingPathDelimiter(dir);
    for (const platform::TSearchRec& entry : platform::ListDirectory(dir).Entries) {
        if (Terminated())
            break;
        const std::string path = dir + entry.Name;
        Status.FileName = engine_texts::Deleting + path;
        DoStatus();
        if (entry.Kind == platform::EntryKind::Directory) {
            if (SyncDeleteTree(path))
                LogSuccess(path, engine_texts::DeletedFolderBySync);
            else
                LogError(path, engine_texts::FolderDeleteFailedBySync);
        } else if (platform::DeleteFile(path)) {
            LogSuccess(path, engine_texts::DeletedFileBySync);
        } else {
            LogError(path, engine_texts::FileDeleteFailedBySync);
        }
    }
    return static_cast<bool>(platform::RemoveDir(dir));
}
