// Restoring an entry of a profile's uncompressed drive copy: its files copied back into a target folder,
// each through the durable replace, with progress and cancel, and the outcome as the text a restore shows.
#pragma once

#include "engine/file_system_list.h"
#include "platform/status.h"

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace platform {
class DurableWriter;
class File;
} // namespace platform

enum class TRestoreResult { Completed, CompletedWithErrors, Cancelled, SourceMissing, InvalidDestination };

struct TRestoreOutcome {
    TRestoreResult Result = TRestoreResult::Completed;
    int Errors = 0;
    int Restored = 0; // files written, not those kept as they were
    std::string Text; // what the restore reports
};

// The texts of a restore's outcomes that both kinds of restore report.
std::string RestoreSourceMissingText(const std::string& source);
std::string RestoreInvalidDestinationText(const std::string& target);
// A cancelled restore, with the number of files it restored before the cancel.
std::string RestoreCancelledText(std::int64_t restored);

class TCopyRestore {
public:
    // Existing files are replaced also when they are as new as the copy or newer.
    bool ReplaceNewer = false;
    // Before each file, with the copy's full path.
    std::function<void(const std::string& sourceFile)> OnFile;
    // After each block written: the bytes of the whole entry and those done so far.
    std::function<void(std::int64_t total, std::int64_t done)> OnProgress;
    // Asked before each file and after each block; true stops the restore, leaving the file being written
    // as it was.
    std::function<bool()> Cancelled;

    // Copies EntryName of CopyFolder ("*": the folder's whole content, empty folders included; else one file)
    // into Target, which must be an absolute path and is created when missing. An existing file is replaced
    // when the copy is strictly newer (in DOS time) or ReplaceNewer is set, a read-only one too; each
    // restored file keeps the copy's mode, owner where allowed, and times.
    TRestoreOutcome Restore(const std::string& copyFolder, const std::string& entryName,
                            const std::string& target);

private:
    int RestoreTree(TFileSystemList& list, const std::string& target);
    // Why the file failed; a file cancelled, kept as it was or restored onto itself is no failure.
    platform::Status RestoreFile(const std::string& sourceFile, const std::string& targetFolder);
    bool Replaces(const struct stat& source, const struct stat& existing) const;
    // Why the copy failed; a cancel (IsCancelled) ends it without failure.
    platform::Status CopyContent(platform::File& in, std::int64_t size, platform::DurableWriter& out);
    bool IsCancelled();
    void Progress(std::int64_t bytes);

    std::set<std::string> m_cleanedFolders;
    std::vector<char> m_buffer;
    std::int64_t m_total = 0;
    std::int64_t m_done = 0;
    int m_restored = 0;
    bool m_cancelled = false;
};
