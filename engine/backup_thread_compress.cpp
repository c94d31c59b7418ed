// The compressed destination: one archive of everything gathered, with stored names by the destination
// structure, the only-changed test against the existing archive, and the pruning of old generations.
#include "engine/backup_thread.h"
#include "engine/engine_texts.h"

#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component.h"
#include "platform/directory.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

using platform::IncludeTrailingPathDelimiter;

namespace {

constexpr const char* SelfExtractorModule = "xcdsfx32.bin";
// The run log's text, spelling included, as users and their tools have always seen it.
constexpr const char* ComponentUnavailableText =
    "Unable to initiliaze compression component. Please contact Mirn Software support for more information.";
// What PruneGenerations is given: every attribute but the folder bit, so that only files count.
constexpr int PruneAttributes = 47;

// An empty or relative path would land wherever the program happens to run.
bool IsAbsolutePath(const std::string& path) {
    return !path.empty() && path.front() == platform::PathDelim;
}

// The two times lie less than two seconds apart (compared in milliseconds, so that the rounding of a
// date-time cannot turn two seconds into 1.99).
bool WithinTwoSeconds(TDateTime a, TDateTime b) {
    return std::llround(std::fabs(a - b) * 86400000.0) < 2000;
}

bool AllDigits(const std::string& text, std::size_t begin, std::size_t count) {
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(begin),
                       text.begin() + static_cast<std::ptrdiff_t>(begin + count),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Name is one of the archives of the family Base + Ext: Base + Ext itself, or Base + "_yyyymmdd_hhmmss" +
// Ext. Another profile whose name merely begins with Base ("Docs2" for "Docs") is not of the family.
bool IsGenerationOf(const std::string& name, const std::string& base, const std::string& ext) {
    if (name == base + ext)
        return true;
    constexpr std::size_t SuffixLength = 16; // "_yyyymmdd_hhmmss"
    if (name.size() != base.size() + SuffixLength + ext.size() || name.compare(0, base.size(), base) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return false;
    const std::size_t s = base.size();
    return name[s] == '_' && AllDigits(name, s + 1, 8) && name[s + 9] == '_' && AllDigits(name, s + 10, 6);
}

bool IsReadableArchive(const std::string& path) {
    std::vector<TZipEntryInfo> entries;
    return ReadZipDirectory(path, entries) == ZipResult::Success;
}

} // namespace

void SortStringArray(TStringArray& list) {
    // std::string compares its characters as unsigned bytes, the plain character-code order.
    std::sort(list.begin(), list.end());
}

TBackupThread::TArchiveName TBackupThread::DriveArchiveName() const {
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    TArchiveName name;
    name.Base = IncludeTrailingPathDelimiter(RunProfile.DriveDestination.Path) +
                (a.DestinationName.empty() ? RunProfile.Name : a.DestinationName);
    if (a.Generations > 1)
        name.Suffix = FormatDateTime("_yyyymmdd_hhmmss", RunLog->Summary.BeginTime);
    name.Extension = a.SelfExtracting ? ".exe" : ".zip";
    return name;
}

void TBackupThread::CompressBackup(const std::string& zipName) {
    Status.SetAction(TBackupAction::PreparingCompression);
    Status.Max = 0;
    Status.Position = 0;
    DoStatus();
    m_archiveWritten = false;
    m_archivedEntries.Clear();
    m_archivedBytes = 0;
    if (!zipName.empty()) {
        const std::string folder = platform::ExtractFilePath(zipName);
        if (!IsAbsolutePath(folder) || !platform::ForceDirectories(folder)) {
            LogError(zipName, engine_texts::EmailInvalidTempFile);
            return;
        }
    }
    try {
        ZipComponent = std::make_unique<TZipComponent>();
    } catch (const std::exception&) {
        LogError("Compression Error", ComponentUnavailableText);
        return;
    }
    const TArchiveName driveName = DriveArchiveName();
    try {
        const int result = CompressFiles(zipName, driveName);
        const std::string zipFilename = ZipComponent->ZipFilename;
        if (result >= 0) {
            RecordCompressionResult(result, zipFilename);
            // An archive of this name that cannot be read is no generation to keep: the older ones may be
            // all the user has left.
            if (zipName.empty() && platform::FileExists(zipFilename) &&
                (m_archiveWritten || IsReadableArchive(zipFilename)))
                PruneGenerations(driveName.Base + driveName.Extension,
                                 RunProfile.BackupAttributes.Generations, PruneAttributes, zipFilename);
        }
    } catch (...) {
        ZipSources.clear();
        KeepUnchangedEntries = false;
        ZipComponent.reset();
        throw;
    }
    ZipComponent.reset();
    FlushStatus();
}

// Hands the files over and compresses them; the component's result, or -1 when the destination is not
// usable (nothing written, nothing to prune).
int TBackupThread::CompressFiles(const std::string& zipName, const TArchiveName& driveName) {
    TZipComponent& zip = *ZipComponent;
    ConfigureZipComponent(zip);
    if (zipName.empty() && !ZipDestinationReady(RunProfile.DriveDestination.Path)) {
        LogError(RunProfile.DriveDestination.Path, engine_texts::DestinationUnavailable);
        return -1;
    }
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    zip.ProcessSubfolders = false;
    if (a.SelfExtracting)
        zip.SfxBinaryModule = platform::ResourceDir() + SelfExtractorModule;
    zip.ZipFilename = zipName.empty() ? driveName.Full() : zipName;
    zip.SkipIfOlderDate = a.ExcludeMatching;
    zip.EncryptionPassword = a.Password;
    zip.PreservePaths = true;
    zip.ZipOpenedFiles = true;

    for (const auto& list : ScanLists) {
        list->First();
        AddListToZip(*list);
    }
    for (const std::string& file : SingleFiles)
        zip.AddFileSpec(file);
    // The component holds the paths now. A tree that no later destination reads is given back before the
    // compression, which needs the room: a million files take some hundred megabytes in it.
    const bool treeReadLater = zipName.empty() && RunProfile.FTPDestination.Active;
    if (!treeReadLater)
        FreeScanLists();

    // The component reads the existing archive's directory as it opens it; an archive that cannot be read
    // is left for the user to look at, nothing is written over it.
    KeepUnchangedEntries = a.ExcludeMatching && platform::FileExists(zip.ZipFilename);
    CollectZipSources();
    const int result = zip.CompressFiles();
    ZipSources.clear();
    KeepUnchangedEntries = false;
    return result;
}

void TBackupThread::ConfigureZipComponent(TZipComponent& zip) {
    zip.SpanMultipleDisks = 0;
    zip.UseTempFile = true;
    if (platform::DirectoryExists(TempFolder))
        zip.TempFolder = TempFolder;
    zip.OnZipPreprocessingFile = std::bind_front(&TBackupThread::ZipPreprocessingFile, this);
    zip.OnFileStatus = std::bind_front(&TBackupThread::ZipFileStatus, this);
    zip.OnSkippingFile = std::bind_front(&TBackupThread::ZipSkippingFile, this);
    zip.OnWarning = std::bind_front(&TBackupThread::ZipWarning, this);
    zip.OnGlobalStatus = std::bind_front(&TBackupThread::ZipGlobalStatus, this);
}

bool TBackupThread::ZipDestinationReady(const std::string& path) {
    return IsAbsolutePath(path) && (!ValidateDestinationMedia || IsDriveReady(path)) &&
           platform::ForceDirectories(path);
}

void TBackupThread::CollectZipSources() {
    ZipSources = RunProfile.Sources;
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    const std::pair<bool, std::uint8_t> extras[] = {{a.Desktop, platform::CSIDL_DESKTOPDIRECTORY},
                                                    {a.MyDocuments, platform::CSIDL_PERSONAL},
                                                    {a.Favorites, platform::CSIDL_FAVORITES}};
    for (const auto& [wanted, folder] : extras) {
        const std::string path = GetSpecialFolderPath(folder);
        if (wanted && !path.empty())
            ZipSources.push_back(IncludeTrailingPathDelimiter(path) + "*");
    }
}

void TBackupThread::RecordCompressionResult(int result, const std::string& zipFilename) {
    TBackupSummary& summary = RunLog->Summary;
    if (result == ZipResult::Success || result == ZipResult::Warnings || result == ZipResult::FilesSkipped) {
        summary.CompressedBytes += FileSizeOf(zipFilename);
        m_archiveWritten = platform::FileExists(zipFilename);
        LogArchivedEntries();
        m_archivedEntries.Clear();
        m_archivedBytes = 0;
        return;
    }
    // Nothing of this run is in an archive: the files it compressed count for nothing.
    summary.BytesProcessed -= m_archivedBytes;
    m_archivedEntries.Clear();
    m_archivedBytes = 0;
    std::string text;
    ZipErrorText(result, text);
    LogError("Compression Error Code (" + std::to_string(result) + ")",
             text + "(Zip file: " + zipFilename + ")");
    summary.CompressedBytes = 0;
}

void TBackupThread::AddArchivedFile(const std::string& name, std::int64_t size, std::int64_t compressedSize) {
    char sizeText[24];
    char compressedText[24];
    const char* sizeEnd = std::to_chars(sizeText, sizeText + sizeof sizeText, size).ptr;
    const char* compressedEnd =
        std::to_chars(compressedText, compressedText + sizeof compressedText, compressedSize).ptr;
    std::string entry = name;
    entry += '\0';
    entry += 'C';
    entry.append(sizeText, static_cast<std::size_t>(sizeEnd - sizeText));
    entry += ' ';
    entry.append(compressedText, static_cast<std::size_t>(compressedEnd - compressedText));
    m_archivedEntries.Append(entry);
}

void TBackupThread::AddArchivedWarning(const std::string& source, const std::string& message) {
    std::string entry = source;
    entry += '\0';
    entry += 'W';
    entry += message;
    m_archivedEntries.Append(entry);
}

void TBackupThread::LogArchivedEntries() {
    TBackupSummary& summary = RunLog->Summary;
    for (TNameList::TReader reader(m_archivedEntries); reader.Next();) {
        const std::string& entry = reader.Name();
        const std::size_t end = entry.find('\0');
        const std::string source = entry.substr(0, end);
        if (entry[end + 1] == 'W') {
            LogWarning(source, entry.substr(end + 2));
            continue;
        }
        std::int64_t size = 0;
        std::int64_t compressedSize = 0;
        const char* numbers = entry.data() + end + 2;
        const char* last = entry.data() + entry.size();
        numbers = std::from_chars(numbers, last, size).ptr;
        std::from_chars(numbers + 1, last, compressedSize);
        if (m_countArchiveFiles)
            summary.FilesCopied += 1;
        LogSuccess(source, "File Copied: Size (" + FormatFileSize("#,##0", size) + ") " + " Compressed (" +
                               FormatFileSize("#,##0", compressedSize) + ")");
    }
}

void TBackupThread::AddListToZip(TFileSystemList& list) {
    if (!list.HasChildren())
        return;
    list.Down();
    list.FirstSibling();
    for (;;) {
        if (list.GetAttributes() & platform::faDirectory)
            AddListToZip(list);
        else
            ZipComponent->AddFileSpec(list.GetFullName());
        if (list.IsLast())
            break;
        list.Next();
    }
    list.Up();
}

// The stored name comes from the source entry that holds the file: a single-file entry holds exactly its
// own file (so "/d/a.txt" does not claim "/d/a.txt2"), a folder entry the files below its folder. The
// first entry that holds it wins; a file no entry holds keeps the proposed name.
std::string TBackupThread::StoredNameOf(const std::string& sourceFile, const std::string& proposed) const {
    const std::uint8_t structure = RunProfile.BackupAttributes.DirectoryStructure;
    if (structure == 0)
        return proposed;
    for (const std::string& entry : ZipSources) {
        if (entry.empty())
            continue;
        if (entry.back() == '*') {
            // The folder the gathering scanned: everything up to the last "/", so it ends at a boundary.
            const std::string folder = platform::ExtractFilePath(entry);
            if (folder.empty() || sourceFile.size() <= folder.size() ||
                sourceFile.compare(0, folder.size(), folder) != 0)
                continue;
            const std::string rest = sourceFile.substr(folder.size());
            const std::string last = ExtractLastDirName(folder);
            return structure == 1 && !last.empty() ? last + platform::PathDelim + rest : rest;
        }
        if (entry == sourceFile) {
            const std::string name = platform::ExtractFileName(sourceFile);
            const std::string last = ExtractLastDirName(sourceFile);
            return structure == 1 && !last.empty() ? last + platform::PathDelim + name : name;
        }
    }
    return proposed;
}

// An entry may stay as it is when the file has its size and time and the entry is protected as this run
// asks (changing or adding the password re-encrypts it). A damaged entry would be carried into every later
// archive while the file never changes, so the backup of the file would be lost for good: it is compressed
// afresh instead.
bool TBackupThread::KeptUnchanged(TZipComponent& zip, const TZipEntryInfo& entry,
                                  const std::string& sourceFile, std::int64_t size, TDateTime modified) {
    if (size != entry.Size || !WithinTwoSeconds(modified, entry.Modified) ||
        !zip.ExistingEntryMatchesEncryption(entry.Name))
        return false;
    if (zip.ExistingEntryIntact(entry.Name))
        return true;
    AddArchivedWarning(sourceFile, "Damaged archive entry replaced");
    return false;
}

void TBackupThread::ZipPreprocessingFile(TZipComponent* sender, std::string& sFilename, const std::string&,
                                         const std::string& sSourceFilename, std::int64_t lSize, int,
                                         TDateTime dtLastModified, TDateTime, TDateTime, int, bool,
                                         const std::string&, bool& bExcluded, int& xReason, bool) {
    if (Terminated())
        sender->Abort = true;
    sFilename = StoredNameOf(sSourceFilename, sFilename);
    TZipEntryInfo entry;
    if (!KeepUnchangedEntries || !sender->FindExistingEntry(sFilename, entry))
        return;
    bExcluded = KeptUnchanged(*sender, entry, sSourceFilename, lSize, dtLastModified);
    if (bExcluded)
        xReason = ZipSkipReason::FileUnChanged;
}

void TBackupThread::ZipFileStatus(TZipComponent* sender, const std::string& sFilename, std::int64_t lSize,
                                  std::int64_t lCompressedSize, std::int64_t lBytesProcessed, int, int,
                                  bool bFileCompleted) {
    if (Terminated())
        sender->Abort = true;
    TBackupSummary& summary = RunLog->Summary;
    // A file is copied only once the archive that holds it has been written (RecordCompressionResult).
    if (bFileCompleted)
        AddArchivedFile(sFilename, lSize, lCompressedSize);
    Status.SetAction(TBackupAction::CopyingFile);
    Status.FileName = sFilename;
    Status.Max = lSize;
    if (m_countArchiveFiles) {
        summary.BytesProcessed += lBytesProcessed - Status.Position;
        m_archivedBytes += lBytesProcessed - Status.Position;
    }
    Status.Position = lBytesProcessed;
    DoStatus();
    if (bFileCompleted)
        Status.Position = 0;
}

void TBackupThread::ZipSkippingFile(TZipComponent*, const std::string& sFilename, const std::string&,
                                    const std::string&, std::int64_t lSize, std::int64_t, int, std::uint32_t,
                                    TDateTime, TDateTime, TDateTime, int, bool, int xReason) {
    if (xReason == 0)
        return;
    if (const TZipReasonRow* row = FindZipSkipReason(xReason)) {
        const std::string message = std::string("File Skipped - Reason: ") + row->Name;
        if (row->IsError)
            LogError(sFilename, message);
        else
            LogWarning(sFilename, message);
    }
    if (m_countArchiveFiles) {
        RunLog->Summary.FilesSkipped += 1;
        RunLog->Summary.BytesProcessed += lSize;
    }
    DoStatus();
}

void TBackupThread::ZipWarning(TZipComponent*, const std::string& sFilename, int xWarning) {
    if (xWarning == ZipWarningCode::NoFilesMatched && platform::FileExists(sFilename))
        return;
    const TZipWarningRow* row = FindZipWarning(xWarning);
    LogWarning(sFilename, std::string("File Warning - Warning: ") + (row ? row->Name : ""));
}

void TBackupThread::ZipGlobalStatus(TZipComponent* sender, std::int64_t, std::int64_t, std::int64_t, int,
                                    std::int64_t, std::int64_t, std::int64_t, int, std::int64_t, int) {
    if (Terminated())
        sender->Abort = true;
}

void TBackupThread::PruneGenerations(const std::string& fileName, std::uint32_t keep, int attr,
                                     const std::string& written) {
    const std::string dir = platform::ExtractFilePath(fileName);
    const std::string ext = platform::ExtractFileExt(fileName);
    const std::string fullName = platform::ExtractFileName(fileName);
    const std::string base = fullName.substr(0, fullName.size() - ext.size());
    const bool wantFolders = (attr & platform::faDirectory) != 0;
    TStringArray family;
    for (const platform::TSearchRec& entry : platform::ListDirectory(dir).Entries) {
        const bool isFolder = entry.Kind == platform::EntryKind::Directory ||
                              entry.Kind == platform::EntryKind::LinkToDirectory;
        if (entry.Kind == platform::EntryKind::Other || isFolder != wantFolders)
            continue;
        if (IsGenerationOf(entry.Name, base, ext) && dir + entry.Name != written)
            family.push_back(entry.Name);
    }
    // The archive just written is one of the Keep; 0 and 1 both mean one archive. Counted in 64 bits, so a
    // huge Generations keeps everything.
    const std::uint64_t others = std::max<std::uint64_t>(keep, 1) - 1;
    if (family.size() <= others)
        return;
    SortStringArray(family);
    const std::size_t surplus = family.size() - static_cast<std::size_t>(others);
    for (std::size_t i = 0; i < surplus; ++i)
        (void)platform::DeleteFile(dir + family[i]); // one that cannot be deleted is passed over
}
