// TZipComponent: builds zip and self-extracting archives from files handed to it one by one, updates an
// existing archive in place of the old one, and extracts archives into a folder, over libzip. Results are
// the integer codes of zip_codes.h; events are raised on the calling thread while an operation runs.
#pragma once

#include "engine/name_list.h"
#include "platform/date_time.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TZipComponent;

// Progress of one file; bFileCompleted on its last call. The calls of one file come together, in order, with
// lBytesProcessed growing, so a handler can count bytes by the difference to the previous call.
using TZipFileStatusEvent = std::function<void(
    TZipComponent* sender, const std::string& sFilename, std::int64_t lSize, std::int64_t lCompressedSize,
    std::int64_t lBytesProcessed, int nBytesPercent, int nCompressionRatio, bool bFileCompleted)>;
// Progress of the whole operation, after each file and while the archive is written.
using TZipGlobalStatusEvent = std::function<void(
    TZipComponent* sender, std::int64_t lFilesTotal, std::int64_t lFilesProcessed, std::int64_t lFilesSkipped,
    int nFilesPercent, std::int64_t lBytesTotal, std::int64_t lBytesProcessed, std::int64_t lBytesSkipped,
    int nBytesPercent, std::int64_t lBytesOutput, int nCompressionRatio)>;
// A file left out, with the reason code (zip_codes.h).
using TZipSkippingFileEvent = std::function<void(
    TZipComponent* sender, const std::string& sFilename, const std::string& sComment,
    const std::string& sFilenameOnDisk, std::int64_t lSize, std::int64_t lCompressedSize, int xAttributes,
    std::uint32_t lCRC, TDateTime dtLastModified, TDateTime dtLastAccessed, TDateTime dtCreated, int xMethod,
    bool bEncrypted, int xReason)>;
using TZipWarningEvent =
    std::function<void(TZipComponent* sender, const std::string& sFilename, int xWarning)>;
// Once per file handed to CompressFiles, before it is compressed. sFilename holds the proposed stored name
// and may be changed; setting bExcluded keeps the file out (an entry of that name in the existing archive
// then stays as it is), reported through OnSkippingFile with xReason (FilesToExclude when left at 0).
// bExisting: the existing archive holds an entry under the proposed name.
using TZipPreprocessingFileEvent = std::function<void(
    TZipComponent* sender, std::string& sFilename, const std::string& sComment,
    const std::string& sSourceFilename, std::int64_t lSize, int xAttributes, TDateTime dtLastModified,
    TDateTime dtLastAccessed, TDateTime dtCreated, int xMethod, bool bEncrypted, const std::string& sPassword,
    bool& bExcluded, int& xReason, bool bExisting)>;

// Compression methods as xMethod reports them.
constexpr int ZipMethodStored = 0;
constexpr int ZipMethodDeflated = 8;

enum class TZipEncryption { None, Traditional, Aes128, Aes192, Aes256, Other };

// One entry of an archive's directory.
struct TZipEntryInfo {
    std::string Name; // as stored, with "/" between folders
    std::int64_t Size = 0;
    std::int64_t CompressedSize = 0;
    TDateTime Modified = 0; // the entry's DOS date-time (local time, two-second steps)
    std::uint32_t Crc = 0;
    int Method = ZipMethodDeflated;
    TZipEncryption Encryption = TZipEncryption::None;
    bool IsFolder = false;
};

// Reads the directory of the archive at Path (also one behind a self-extractor stub). Returns 0, or 503 when
// the file is missing or cannot be opened, 519 when it is not a valid zip archive, 505 when it cannot be
// read.
int ReadZipDirectory(const std::string& path, std::vector<TZipEntryInfo>& entries);

class TZipComponent {
public:
    TZipComponent();
    ~TZipComponent();
    TZipComponent(const TZipComponent&) = delete;
    TZipComponent& operator=(const TZipComponent&) = delete;

    // Archives are never spanned over disks; the value is kept for callers that set it.
    int SpanMultipleDisks = 0;
    // An archive is always written to a temporary file beside it and renamed over the old one when complete.
    bool UseTempFile = true;
    // Where the compressed data waits until the archive is written (default: beside the archive).
    std::string TempFolder;
    // Extraction: a folder given in FilesToProcess takes its whole subtree.
    bool ProcessSubfolders = false;
    // The self-extractor module written in front of the archive; empty for a plain zip.
    std::string SfxBinaryModule;
    std::string ZipFilename;
    // Extraction: skip a file whose existing copy is as old as the entry or newer / that exists / that does
    // not exist. Compression ignores them: its only-changed test belongs to OnZipPreprocessingFile.
    bool SkipIfOlderDate = false;
    bool SkipIfExisting = false;
    bool SkipIfNotExisting = false;
    // Files carry no version resource here; kept for callers that set it.
    bool SkipIfOlderVersion = false;
    // Compression encrypts new entries with AES-256; extraction reads AES and traditional PKWARE entries.
    std::string EncryptionPassword;
    // Extraction: write entries under their stored folders (else every file directly into UnzipToFolder).
    bool PreservePaths = true;
    // Files open in other programs are read as they are; kept for callers that set it.
    bool ZipOpenedFiles = false;
    // Extraction: the entries to extract, a stored name or a stored path followed by a name mask ("*" for a
    // whole folder); empty for every entry.
    std::string FilesToProcess;
    std::string UnzipToFolder;
    // Extraction with PreservePaths: a stored path ("a/b/") whose folders below UnzipToFolder lead to the
    // folder the caller chose and are the user's own, so that where they are links they are followed. Links
    // anywhere else below UnzipToFolder are refused.
    std::string FollowLinksOnPath;
    // Set inside an event to cancel the running operation, which then returns 518.
    std::atomic<bool> Abort{false};

    TZipFileStatusEvent OnFileStatus;
    TZipGlobalStatusEvent OnGlobalStatus;
    TZipSkippingFileEvent OnSkippingFile;
    TZipWarningEvent OnWarning;
    TZipPreprocessingFileEvent OnZipPreprocessingFile;

    // Hands one file, by full path, to the next CompressFiles.
    void AddFileSpec(const std::string& path);
    // Compresses the files handed over into ZipFilename, updating an existing archive there: its entries that
    // no file replaces stay exactly as they were. The old archive stays intact until the new one is complete.
    // 0 when every file went in, 527 when some were skipped (the rest went in), 509 when nothing was to be
    // written, else an error code with the old archive untouched.
    int CompressFiles();
    // Extracts the entries chosen by FilesToProcess into UnzipToFolder. 0, 527 when some files were skipped
    // by the skip options, 509 when nothing was extracted, 532 when a file could not be extracted (also when
    // the password opens none of the chosen entries: then every file is skipped as InvalidPassword and
    // nothing is written), else an error.
    int ExtractFiles();

    // While CompressFiles runs (inside its events): the entry of the existing archive stored as Name.
    bool FindExistingEntry(const std::string& name, TZipEntryInfo& entry) const;
    // While CompressFiles runs: whether the existing entry Name is protected as this run asks, so that it may
    // be kept instead of compressed again: AES-256 opening with EncryptionPassword when one is set,
    // unencrypted when none is. False when there is no such entry.
    bool ExistingEntryMatchesEncryption(const std::string& name);
    // While CompressFiles runs: whether the existing entry Name may be kept as it is: it matches the
    // encryption as above and its data still reads back whole, matching its CRC. The entries are checked in
    // parallel on worker threads from the first question on. False when there is no such entry.
    bool ExistingEntryIntact(const std::string& name);

private:
    class TExistingArchive;
    class TCompressRun;
    class TExtractRun;

    // The file paths handed over, in a compact list: a million of them take a fraction of their text.
    std::string QueuedPath(std::size_t index) const { return m_queuedPaths.At(index); }
    std::size_t QueuedPathCount() const { return m_queuedPaths.Size(); }
    TNameList m_queuedPaths;
    std::unique_ptr<TExistingArchive> m_existing;
    bool m_busy = false;
};
