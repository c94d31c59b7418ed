// Writing archive entries below a target folder without ever leaving it: names are checked part by part,
// folders are entered with O_NOFOLLOW so that no link inside the target leads out, no link is ever created
// from an entry, and each file is written to a locked temporary file that is renamed into place.
#pragma once

#include "platform/durable_file.h"

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

// Splits an entry name into the parts of the path it stands for. In entries made on Unix only "/" separates
// parts, and "\" and ":" are characters of a name like any other (a file "a\b.txt" is no file "b.txt" in a
// folder "a"). In entries made on other systems "\" separates parts as "/" does, and a drive letter or
// another ":" in the first part is refused. False when the name may not be written: it is empty, begins with
// a separator, holds a NUL, a "." or a ".." part, or is refused as above. Empty parts ("a//b") are dropped.
// IsFolder: the name ends in a separator.
bool SplitEntryName(const std::string& name, bool madeOnUnix, std::vector<std::string>& parts,
                    bool& isFolder);
// The entry's made-by system is Unix, as it is for every archive this program writes.
bool EntryMadeOnUnix(zip_t* archive, zip_uint64_t index);

// The folder that receives extracted entries.
class TTargetFolder {
public:
    TTargetFolder() = default;
    ~TTargetFolder();
    TTargetFolder(const TTargetFolder&) = delete;
    TTargetFolder& operator=(const TTargetFolder&) = delete;

    // Opens the folder, creating it with its missing parents; false with errno in Error().
    bool Open(const std::string& folder);
    int Error() const { return m_error; }
    // The folder with a trailing "/".
    const std::string& Path() const { return m_path; }

    // The leading folders of entry paths that lead to the folder the user chose, and are the user's own:
    // where they are links, they are followed.
    void FollowLinksOn(std::vector<std::string> parts) { m_followed = std::move(parts); }
    // The descriptor of the folder Parts[0..count) below the target, each part created when missing and none
    // of them a link (but those of FollowLinksOn); -1 with errno in Error(). The caller closes it (unless it
    // is Fd() itself).
    int OpenFolder(const std::vector<std::string>& parts, std::size_t count, bool create);
    int Fd() const { return m_fd; }
    // True the first time a file is written into Folder (parts joined by "/", empty for the target itself).
    bool FirstWriteInto(const std::string& folder) { return m_written.insert(folder).second; }

private:
    std::set<std::string> m_written;
    std::vector<std::string> m_followed;
    int m_fd = -1;
    int m_error = 0;
    std::string m_path;
};

// What extracting one entry came to: Reason is 0 on success, a skip reason of the zip component otherwise
// (ExtractCancelled when Progress asked to stop); SystemError the errno behind it, if any.
struct TEntryExtraction {
    int Reason = 0;
    int SystemError = 0;
};
constexpr int ExtractCancelled = -1;

// Progress after each block written: the bytes of the entry written so far. Returning false cancels.
using TExtractProgress = std::function<bool(std::int64_t bytesWritten)>;

// Reads the whole data of file entry Index (decrypted with Password when encrypted; Password may be null) and
// checks it against its CRC, or for an AES entry stored without one against its authentication code. 0 when
// the data is intact; else libzip's error (ZIP_ER_WRONGPASSWD or ZIP_ER_NOPASSWD when the password does not
// open it, ZIP_ER_CANCELLED once Stop is set). Buffer is the caller's to reuse from entry to entry.
int CheckEntryData(zip_t* archive, zip_uint64_t index, const char* password, const std::atomic<bool>* stop,
                   std::vector<char>& buffer);

// The file's mode for an entry: its Unix permission bits when it was stored from Unix, else 0644 (0444 when
// marked read-only). False for an entry that stands for a link or another non-regular file.
bool EntryFileMode(zip_t* archive, zip_uint64_t index, mode_t& mode);

// Extracts the file entry Index of Archive to Parts below Target (folders created as needed). Password may be
// null. The file gets the entry's time and mode; an existing file is replaced only once the new one is whole.
TEntryExtraction ExtractEntryToFile(zip_t* archive, zip_uint64_t index, const char* password,
                                    TTargetFolder& target, const std::vector<std::string>& parts,
                                    const TExtractProgress& progress);

// A whole extracted file under its temporary name beside its place, until CommitExtractedFile renames it into
// place. Dropped uncommitted, it removes the temporary file.
struct TExtractedFile {
    void Discard() { Writer.Abandon(); }

    platform::DurableWriter Writer;
    // A file that was not there when the entry was written out is not replaced by this one when it appears.
    platform::ReplaceRule Rule = platform::ReplaceRule::Replace;
};

// ExtractEntryToFile's first half: the entry written whole to File's temporary name (and synced when it is
// to replace a file), not yet in place. Worker threads may run it, each with its own Archive and Target.
TEntryExtraction ExtractEntryToTemporary(zip_t* archive, zip_uint64_t index, const char* password,
                                         TTargetFolder& target, const std::vector<std::string>& parts,
                                         const TExtractProgress& progress, TExtractedFile& file);
// Its second half: renames File into place.
TEntryExtraction CommitExtractedFile(TExtractedFile& file);

// Creates the folder Parts below Target; 0 or the skip reason CreateFolder.
TEntryExtraction CreateEntryFolder(TTargetFolder& target, const std::vector<std::string>& parts);

// The status of the existing file Parts below Target, not following a final link; false when there is none
// (or a folder on the way is missing or a link).
bool StatTarget(TTargetFolder& target, const std::vector<std::string>& parts, struct stat& st);
