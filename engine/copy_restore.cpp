// TCopyRestore: files of an uncompressed copy brought back through the durable replace.
#include "engine/copy_restore.h"

#include "platform/directory.h"
#include "platform/dos_time.h"
#include "platform/durable_file.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"

#include <cerrno>

using platform::IncludeTrailingPathDelimiter;

namespace {

const std::string LineBreaks = "\r\n\r\n";
constexpr std::size_t CopyBlockSize = 61440;
// Files from this size on are copied in the kernel, in steps that leave room for progress and cancel.
constexpr std::int64_t KernelCopyMinimum = 1 << 20;
constexpr std::size_t KernelCopyStep = 1 << 20;

// The DOS date-time of a file time, for the strictly-later test of a restore.
std::uint32_t DosStamp(std::time_t seconds) {
    std::uint32_t dos = 0;
    platform::UnixToDosDateTime(seconds, dos);
    return dos;
}

bool KernelCopyUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

} // namespace

std::string RestoreSourceMissingText(const std::string& source) {
    return "Nothing to restore." + LineBreaks + "\t" + source + LineBreaks + "Source does not exist.";
}

std::string RestoreInvalidDestinationText(const std::string& target) {
    return "Unable to restore." + LineBreaks + "\t" + target + LineBreaks + "Invalid destination.";
}

std::string RestoreCancelledText(std::int64_t restored) {
    return "ERROR: User aborted process" + LineBreaks +
           "Files restored before the cancel: " + std::to_string(restored);
}

TRestoreOutcome TCopyRestore::Restore(const std::string& copyFolder, const std::string& entryName,
                                      const std::string& target) {
    TRestoreOutcome outcome;
    if (!platform::DirectoryExists(copyFolder)) {
        outcome.Result = TRestoreResult::SourceMissing;
        outcome.Text = RestoreSourceMissingText(copyFolder);
        return outcome;
    }
    if (target.empty() || target[0] != platform::PathDelim || !platform::ForceDirectories(target)) {
        outcome.Result = TRestoreResult::InvalidDestination;
        outcome.Text = RestoreInvalidDestinationText(target);
        return outcome;
    }
    m_cancelled = false;
    m_restored = 0;
    m_done = 0;
    if (entryName == "*") {
        TFileSystemList list;
        list.Open(copyFolder, false);
        list.First();
        m_total = list.GetSize();
        if (list.Down())
            outcome.Errors = RestoreTree(list, target);
    } else {
        const std::string file = IncludeTrailingPathDelimiter(copyFolder) + entryName;
        platform::TSearchRec rec;
        m_total = platform::FindFile(file, rec) ? rec.Size : 0;
        if (!RestoreFile(file, target))
            outcome.Errors = 1;
    }
    // New files rely on one sync of the target's file system; replaced ones were synced before their rename.
    if (m_restored > 0)
        platform::SyncFileSystem(target);
    outcome.Restored = m_restored;
    if (m_cancelled) {
        outcome.Result = TRestoreResult::Cancelled;
        outcome.Text = RestoreCancelledText(m_restored);
    } else if (outcome.Errors == 0) {
        outcome.Text = "Restore completed successfully.";
    } else {
        outcome.Result = TRestoreResult::CompletedWithErrors;
        outcome.Text = "Restore completed with " + std::to_string(outcome.Errors) + " errors.";
    }
    return outcome;
}

int TCopyRestore::RestoreTree(TFileSystemList& list, const std::string& target) {
    const std::string folder = IncludeTrailingPathDelimiter(target);
    (void)platform::ForceDirectories(folder); // each file and folder below fails on its own
    int count = 0;
    for (;;) {
        if (list.GetAttributes() & platform::faDirectory) {
            const std::string name = list.GetName();
            // An empty folder of the copy is made again, as the backup found it.
            if (!platform::ForceDirectories(folder + name))
                ++count;
            else if (list.HasChildren()) {
                const std::string fullName = list.GetFullName();
                list.Down();
                count += RestoreTree(list, folder + name);
                list.Locate(fullName);
            }
        } else if (!RestoreFile(list.GetFullName(), folder)) {
            ++count;
        }
        if (IsCancelled() || !list.Next())
            break;
    }
    return count;
}

bool TCopyRestore::Replaces(const struct stat& source, const struct stat& existing) const {
    return ReplaceNewer || DosStamp(source.st_mtime) > DosStamp(existing.st_mtime);
}

platform::Status TCopyRestore::RestoreFile(const std::string& sourceFile, const std::string& targetFolder) {
    const std::string folder = IncludeTrailingPathDelimiter(targetFolder);
    (void)platform::ForceDirectories(folder); // a folder that cannot be made fails the file's creation
    const std::string target = folder + platform::ExtractFileName(sourceFile);
    if (OnFile)
        OnFile(sourceFile);
    if (IsCancelled())
        return {};

    platform::File in;
    if (const platform::Status opened = in.OpenRead(sourceFile); !opened)
        return opened;
    struct stat source {};
    if (::fstat(in.Fd(), &source) != 0)
        return platform::Status::FromErrno();
    if (!S_ISREG(source.st_mode))
        return platform::Status(EINVAL);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        // Restoring a file onto itself would lose it.
        if (existing.st_dev == source.st_dev && existing.st_ino == source.st_ino)
            return {};
        if (!S_ISREG(existing.st_mode))
            return platform::Status(EEXIST);
        if (!Replaces(source, existing))
            return {};
    }
    // What a killed restore or run left in this folder goes before this restore writes there.
    if (m_cleanedFolders.insert(folder).second)
        (void)platform::RemoveStaleTemporaryFiles(folder);
    platform::DurableWriter out;
    if (const platform::Status opened = out.Open(target, 0600, platform::StaleFiles::LeaveToCaller); !opened)
        return opened;
    if (const platform::Status copied = CopyContent(in, source.st_size, out); !copied || m_cancelled)
        return copied;
    out.KeepAttributesOf(source);
    // A replaced file is on disk before the rename takes the old one's place; a file that appeared since
    // the test above is the user's and stays.
    const platform::Status committed =
        exists ? out.Commit(platform::CommitSync::Now, platform::ReplaceRule::Replace)
               : out.Commit(platform::CommitSync::Later, platform::ReplaceRule::KeepExisting);
    if (committed)
        ++m_restored;
    return committed;
}

platform::Status TCopyRestore::CopyContent(platform::File& in, std::int64_t size,
                                           platform::DurableWriter& out) {
    std::int64_t copied = 0;
    while (size >= KernelCopyMinimum && copied < size) {
        const platform::Result<std::int64_t> n = out.CopyFrom(in, KernelCopyStep);
        // A failed write has abandoned the writer; any other failure may only mean that reads and writes
        // must do the copy.
        if (!n && (!out.IsOpen() || !KernelCopyUnsupported(n.Status().Code())))
            return n.Status();
        if (!n || n.Value() == 0)
            break;
        copied += n.Value();
        Progress(n.Value());
        if (IsCancelled())
            return {};
    }
    m_buffer.resize(CopyBlockSize);
    for (;;) {
        const platform::Result<std::int64_t> n = in.Read(m_buffer.data(), m_buffer.size());
        if (!n || n.Value() == 0)
            return n.Status();
        if (const platform::Status written = out.Write(m_buffer.data(), static_cast<std::size_t>(n.Value()));
            !written)
            return written;
        Progress(n.Value());
        if (IsCancelled())
            return {};
    }
}

bool TCopyRestore::IsCancelled() {
    if (!m_cancelled && Cancelled && Cancelled())
        m_cancelled = true;
    return m_cancelled;
}

void TCopyRestore::Progress(std::int64_t bytes) {
    m_done += bytes;
    if (OnProgress)
        OnProgress(m_total, m_done);
}
