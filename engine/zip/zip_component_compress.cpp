// TZipComponent::CompressFiles: files are examined and named in order, compressed in parallel, reported in
// order, and written with the existing archive's other entries into a new archive that replaces the old one.
#include "engine/zip/zip_ahead_examiner.h"
#include "engine/zip/zip_archive_file.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component.h"
#include "engine/zip/zip_component_internal.h"
#include "engine/zip/zip_compressor.h"
#include "platform/directory.h"
#include "platform/durable_file.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int CompressionLevel = 6;
constexpr std::int64_t ProgressStep = 1 << 20;
constexpr std::uint32_t DosArchiveAttribute = 0x20;
constexpr std::uint32_t DosReadOnlyAttribute = 0x01;
// What placing an entry returns when this run placed its name already.
constexpr int PlacedTwice = -1;

struct TArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TArchiveHandle = std::unique_ptr<zip_t, TArchiveCloser>;

// The stored form of a name: parts joined by "/", without empty, "." and ".." parts, so that no name
// begins with "/" or climbs out of the folder it is extracted to.
std::string CleanStoredName(const std::string& name) {
    std::string result;
    std::size_t begin = 0;
    while (begin <= name.size()) {
        std::size_t end = name.find('/', begin);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(begin, end - begin);
        if (!part.empty() && part != "." && part != "..") {
            if (!result.empty())
                result += '/';
            result += part;
        }
        begin = end + 1;
    }
    return result;
}

bool ReadWholeFile(const std::string& path, std::vector<char>& content) {
    platform::File file;
    if (!file.OpenRead(path))
        return false;
    content.clear();
    char buffer[1 << 16];
    for (;;) {
        const std::int64_t n = file.Read(buffer, sizeof buffer).ValueOr(-1);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        content.insert(content.end(), buffer, buffer + n);
    }
}

} // namespace

class TZipComponent::TCompressRun {
public:
    explicit TCompressRun(TZipComponent& owner) : m_owner(owner) {}
    ~TCompressRun() {
        // The existing archive's checks may read through the run's handle: they end first.
        m_owner.m_existing.reset();
        m_archive.reset();
    }
    int Run();

private:
    // A file handed over, as examined before it is compressed. Its stored name lies in the archive's entry,
    // which is placed when the file is examined: a million files keep no second copy of their names, and
    // the records are given back before the archive is written.
    struct TFile {
        std::uint32_t Queued = 0; // the path handed to the component it came from
        std::uint32_t Entry = 0;  // its entry in the archive being written
        std::int64_t Size = 0;
        std::time_t Modified = 0;
        std::uint8_t Attr = 0;
        bool Replaces = false; // the entry was one of the existing archive's
    };

    int OpenArchive();
    int Preprocess(std::size_t queued, TAheadExaminer& examiner);
    int PlaceEntry(const std::string& storedName, std::int64_t existing, TFile& file);
    int CompressAll();
    void DropEntry(const TFile& file);
    int WriteArchive();
    int SetEntryAttributes(std::size_t fileIndex);
    std::string StoredName(const TFile& file) const;
    platform::TSearchRec RecordOf(const TFile& file) const;
    void Skip(const std::string& name, const std::string& onDisk, std::int64_t size,
              const platform::TSearchRec* rec, int reason);
    void FileStatus(const TFile& file, std::int64_t size, std::int64_t compressed, std::int64_t done,
                    bool completed);
    void GlobalStatus();
    bool Aborted() const { return m_owner.Abort.load(); }
    static void Progress(zip_t*, double fraction, void* state);
    static int Cancel(zip_t*, void* state);

    TZipComponent& m_owner;
    std::vector<char> m_stub;
    // Declared before the compressor: its workers read the files until it has joined them, which an
    // abort leaves to its destructor.
    std::vector<TFile> m_files;
    std::vector<bool> m_replaced; // which entries of the existing archive this run replaces
    std::unique_ptr<TArchiveFileSource> m_source;
    TParallelCompressor m_compressor;
    TArchiveHandle m_archive; // declared last: discarded before the sources it reads from

    std::int64_t m_filesTotal = 0, m_filesDone = 0, m_filesSkipped = 0, m_filesExcluded = 0;
    std::int64_t m_bytesTotal = 0, m_bytesDone = 0, m_bytesSkipped = 0, m_bytesOutput = 0;
};

int TZipComponent::CompressFiles() {
    if (m_busy)
        return ZipResult::Busy;
    const TBusyGuard busy(m_busy);
    Abort = false;
    TCompressRun run(*this);
    return run.Run();
}

int TZipComponent::TCompressRun::Run() {
    if (m_owner.ZipFilename.empty())
        return ZipResult::OpenZipFile;
    if (!m_owner.SfxBinaryModule.empty()) {
        if (!platform::FileExists(m_owner.SfxBinaryModule))
            return ZipResult::SfxBinaryNotFound;
        if (!ReadWholeFile(m_owner.SfxBinaryModule, m_stub) || m_stub.empty())
            return ZipResult::ReadSfxBinary;
    }
    if (int result = OpenArchive())
        return result;
    m_filesTotal = static_cast<std::int64_t>(m_owner.QueuedPathCount());
    // The records number files and entries in 32 bits.
    constexpr std::size_t MostFiles = 0xFFFFFFFFu;
    if (m_owner.QueuedPathCount() >= MostFiles || m_owner.m_existing->Entries().size() >= MostFiles)
        return ZipResult::OutOfMemory;
    m_replaced.assign(m_owner.m_existing->Entries().size(), false);
    m_files.reserve(m_owner.QueuedPathCount());
    {
        TAheadExaminer examiner([this](std::size_t i) { return m_owner.QueuedPath(i); },
                                m_owner.QueuedPathCount());
        for (std::size_t queued = 0; queued < m_owner.QueuedPathCount(); ++queued) {
            if (int result = Preprocess(queued, examiner))
                return result;
        }
    }
    m_files.shrink_to_fit();
    if (int result = CompressAll())
        return result;
    // Every file has ended and its entry is complete: only libzip's entries and the compressed data are
    // needed to write the archive.
    m_compressor.Join();
    std::vector<TFile>().swap(m_files);
    if (m_filesDone == 0) {
        // Nothing new: an archive whose unchanged entries were kept is current as it stands.
        const bool keptEntries = m_filesExcluded > 0 && !m_owner.m_existing->Entries().empty();
        return keptEntries ? ZipResult::FilesSkipped : ZipResult::NothingToDo;
    }
    if (int result = WriteArchive())
        return result;
    return m_filesSkipped > 0 ? ZipResult::FilesSkipped : ZipResult::Success;
}

int TZipComponent::TCompressRun::OpenArchive() {
    const std::string& path = m_owner.ZipFilename;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return ZipResult::OpenZipFile;
    mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    if (!m_stub.empty())
        mode |= (mode & 0444) >> 2; // executable wherever readable
    const std::int64_t start = exists ? std::max<std::int64_t>(FindZipStart(path), 0) : 0;
    m_source = std::make_unique<TArchiveFileSource>(path, start, m_stub, mode);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = m_source->CreateSource(error);
    // An empty file holds nothing to keep; libzip would not take it for an archive.
    const int flags = exists && st.st_size == 0 ? ZIP_CREATE | ZIP_TRUNCATE : ZIP_CREATE;
    zip_t* archive = source ? zip_open_from_source(source, flags, &error) : nullptr;
    const int zipError = zip_error_code_zip(&error);
    zip_error_fini(&error);
    if (!archive) {
        if (source)
            zip_source_free(source);
        return ZipResultOfError(zipError);
    }
    m_archive.reset(archive);
    std::vector<TZipEntryInfo> entries;
    ListZipEntries(archive, entries);
    m_owner.m_existing =
        std::make_unique<TExistingArchive>(path, m_owner.EncryptionPassword, std::move(entries), archive);
    return ZipResult::Success;
}

// Raises the preprocessing event of one file and places its entry as the event decided; UserAbort once
// aborted, an error code when the entry cannot be placed, else 0.
int TZipComponent::TCompressRun::Preprocess(std::size_t queued, TAheadExaminer& examiner) {
    const std::string path = m_owner.QueuedPath(queued);
    platform::TSearchRec rec;
    const int stop = ZipResult::UserAbort;
    if (!examiner.Take(queued, rec)) {
        Skip(CleanStoredName(path), path, 0, nullptr, ZipSkipReason::OpenFile);
        return Aborted() ? stop : 0;
    }
    if (rec.Kind != platform::EntryKind::File) {
        if (m_owner.OnWarning)
            m_owner.OnWarning(&m_owner, path, ZipWarningCode::NoFilesMatched);
        return Aborted() ? stop : 0;
    }
    m_bytesTotal += rec.Size;
    const std::string proposed = CleanStoredName(path);
    std::string storedName = proposed;
    bool excluded = false;
    int reason = 0;
    const bool encrypted = !m_owner.EncryptionPassword.empty();
    if (m_owner.OnZipPreprocessingFile) {
        m_owner.OnZipPreprocessingFile(
            &m_owner, storedName, std::string(), path, rec.Size, rec.Attr, ZipTimeOf(rec.ModifiedSeconds),
            platform::DateTimeFromUnix(rec.AccessedSeconds), platform::DateTimeFromUnix(rec.CreatedSeconds),
            rec.Size == 0 ? ZipMethodStored : ZipMethodDeflated, encrypted, m_owner.EncryptionPassword,
            excluded, reason, m_owner.m_existing->Find(proposed) >= 0);
    }
    if (Aborted())
        return stop;
    storedName = CleanStoredName(storedName);
    if (storedName.empty())
        storedName = proposed;
    if (excluded) {
        ++m_filesExcluded;
        Skip(storedName, path, rec.Size, &rec, reason != 0 ? reason : ZipSkipReason::FilesToExclude);
        return Aborted() ? stop : 0;
    }
    TFile file;
    file.Queued = static_cast<std::uint32_t>(queued);
    file.Size = rec.Size;
    file.Attr = static_cast<std::uint8_t>(rec.Attr);
    file.Modified = rec.ModifiedSeconds;
    const int placed = PlaceEntry(storedName, m_owner.m_existing->Find(storedName), file);
    if (placed == PlacedTwice) {
        Skip(storedName, path, rec.Size, &rec, ZipSkipReason::DuplicateFilenames);
        return Aborted() ? stop : 0;
    }
    if (placed != 0)
        return placed;
    m_files.push_back(file);
    return 0;
}

// Replaces the existing entry of that name, or adds a new one, with the source that will hand the file's
// compressed data to libzip. PlacedTwice when this run placed the name already.
int TZipComponent::TCompressRun::PlaceEntry(const std::string& storedName, std::int64_t existing,
                                            TFile& file) {
    if (existing >= 0 && m_replaced[static_cast<std::size_t>(existing)])
        return PlacedTwice;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = m_compressor.CreateSource(m_files.size(), error);
    zip_error_fini(&error);
    if (!source)
        return ZipResult::OutOfMemory;
    zip_t* archive = m_archive.get();
    if (existing >= 0) {
        if (zip_file_replace(archive, static_cast<zip_uint64_t>(existing), source, 0) != 0) {
            zip_source_free(source);
            return ZipResultOfError(zip_error_code_zip(zip_get_error(archive)));
        }
        m_replaced[static_cast<std::size_t>(existing)] = true;
        file.Entry = static_cast<std::uint32_t>(existing);
        file.Replaces = true;
        return 0;
    }
    const zip_int64_t added = zip_file_add(archive, storedName.c_str(), source, 0);
    if (added < 0) {
        zip_source_free(source);
        const int zipError = zip_error_code_zip(zip_get_error(archive));
        zip_error_clear(archive);
        return zipError == ZIP_ER_EXISTS ? PlacedTwice : ZipResultOfError(zipError);
    }
    if (static_cast<zip_uint64_t>(added) >= 0xFFFFFFFFu)
        return ZipResult::OutOfMemory;
    file.Entry = static_cast<std::uint32_t>(added);
    return 0;
}

std::string TZipComponent::TCompressRun::StoredName(const TFile& file) const {
    const char* name = zip_get_name(m_archive.get(), file.Entry, ZIP_FL_ENC_RAW);
    return name ? name : std::string();
}

// The file as it was examined. The records keep only what a skip report needs most; the access and
// creation times are looked up again, and where the file has gone they are taken to be its modification
// time.
platform::TSearchRec TZipComponent::TCompressRun::RecordOf(const TFile& file) const {
    platform::TSearchRec now;
    const bool found = static_cast<bool>(platform::FindFile(m_owner.QueuedPath(file.Queued), now));
    platform::TSearchRec rec;
    rec.Attr = file.Attr;
    rec.Size = file.Size;
    rec.Kind = platform::EntryKind::File;
    rec.ModifiedSeconds = file.Modified;
    rec.AccessedSeconds = found ? now.AccessedSeconds : file.Modified;
    rec.CreatedSeconds = found ? now.CreatedSeconds : file.Modified;
    return rec;
}

// A file that could not be compressed leaves the archive as it found it: a new entry goes, a replaced one
// becomes the existing entry again.
void TZipComponent::TCompressRun::DropEntry(const TFile& file) {
    if (file.Replaces)
        zip_unchange(m_archive.get(), file.Entry);
    else
        zip_delete(m_archive.get(), file.Entry);
}

int TZipComponent::TCompressRun::CompressAll() {
    if (m_files.empty())
        return ZipResult::Success;
    std::string spoolFolder = m_owner.TempFolder;
    if (spoolFolder.empty() || !platform::DirectoryExists(spoolFolder))
        spoolFolder = platform::ExtractFilePath(m_owner.ZipFilename);
    if (spoolFolder.empty())
        spoolFolder = "./";
    (void)platform::RemoveStaleTemporaryFiles(spoolFolder);
    const auto input = [this](std::size_t i) {
        const TFile& file = m_files[i];
        return TCompressInput{m_owner.QueuedPath(file.Queued), file.Size};
    };
    if (!m_compressor.Start(spoolFolder, m_files.size(), input, CompressionLevel))
        return ZipResult::CreateTempFile;

    for (std::size_t i = 0; i < m_files.size(); ++i) {
        TFile& file = m_files[i];
        std::int64_t seen = -1;
        std::int64_t reported = 0;
        for (;;) {
            const TCompressProgress progress = m_compressor.Wait(i, seen);
            if (m_compressor.SpoolError() != 0)
                return ZipResult::WriteTempZipFile;
            if (progress.State == TCompressState::Done) {
                const TCompressedFile result = m_compressor.Result(i);
                if (int error = SetEntryAttributes(i))
                    return error;
                ++m_filesDone;
                m_bytesDone += result.Size;
                m_bytesOutput += result.CompressedSize;
                FileStatus(file, result.Size, result.CompressedSize, result.Size, true);
                break;
            }
            if (progress.State == TCompressState::Failed) {
                const std::string name = StoredName(file);
                DropEntry(file);
                const platform::TSearchRec rec = RecordOf(file);
                Skip(name, m_owner.QueuedPath(file.Queued), file.Size, &rec, progress.Reason);
                break;
            }
            seen = progress.BytesRead;
            if (seen - reported >= ProgressStep && seen < file.Size) {
                reported = seen;
                FileStatus(file, file.Size, progress.BytesOut, seen, false);
            }
            if (Aborted())
                return ZipResult::UserAbort;
        }
        GlobalStatus();
        if (Aborted())
            return ZipResult::UserAbort;
    }
    return ZipResult::Success;
}

int TZipComponent::TCompressRun::SetEntryAttributes(std::size_t fileIndex) {
    const TFile& file = m_files[fileIndex];
    const TCompressedFile result = m_compressor.Result(fileIndex);
    zip_t* archive = m_archive.get();
    const std::string& password = m_owner.EncryptionPassword;
    const std::uint32_t dosAttributes =
        DosArchiveAttribute | ((result.Mode & S_IWUSR) == 0 ? DosReadOnlyAttribute : 0);
    const std::uint32_t attributes =
        (static_cast<std::uint32_t>(S_IFREG | result.Mode) << 16) | dosAttributes;
    const bool ok =
        zip_file_set_external_attributes(archive, file.Entry, 0, ZIP_OPSYS_UNIX, attributes) == 0 &&
        (result.Method != ZIP_CM_STORE ||
         zip_set_file_compression(archive, file.Entry, ZIP_CM_STORE, 0) == 0) &&
        zip_file_set_encryption(archive, file.Entry, password.empty() ? ZIP_EM_NONE : ZIP_EM_AES_256,
                                password.empty() ? nullptr : password.c_str()) == 0;
    return ok ? ZipResult::Success : ZipResultOfError(zip_error_code_zip(zip_get_error(archive)));
}

int TZipComponent::TCompressRun::WriteArchive() {
    zip_t* archive = m_archive.get();
    zip_register_progress_callback_with_state(archive, 0.01, &TCompressRun::Progress, nullptr, this);
    zip_register_cancel_callback_with_state(archive, &TCompressRun::Cancel, nullptr, this);
    if (zip_close(archive) != 0)
        return ZipResultOfError(zip_error_code_zip(zip_get_error(archive)));
    m_archive.release(); // zip_close freed it
    return ZipResult::Success;
}

void TZipComponent::TCompressRun::Progress(zip_t*, double, void* state) {
    static_cast<TCompressRun*>(state)->GlobalStatus();
}

int TZipComponent::TCompressRun::Cancel(zip_t*, void* state) {
    return static_cast<TCompressRun*>(state)->Aborted() ? 1 : 0;
}

void TZipComponent::TCompressRun::Skip(const std::string& name, const std::string& onDisk, std::int64_t size,
                                       const platform::TSearchRec* rec, int reason) {
    ++m_filesSkipped;
    m_bytesSkipped += size;
    if (!m_owner.OnSkippingFile)
        return;
    const TDateTime modified = rec ? ZipTimeOf(rec->ModifiedSeconds) : 0;
    const TDateTime accessed = rec ? platform::DateTimeFromUnix(rec->AccessedSeconds) : 0;
    const TDateTime created = rec ? platform::DateTimeFromUnix(rec->CreatedSeconds) : 0;
    m_owner.OnSkippingFile(&m_owner, name, std::string(), onDisk, size, 0, rec ? rec->Attr : 0, 0, modified,
                           accessed, created, size == 0 ? ZipMethodStored : ZipMethodDeflated,
                           !m_owner.EncryptionPassword.empty(), reason);
}

void TZipComponent::TCompressRun::FileStatus(const TFile& file, std::int64_t size, std::int64_t compressed,
                                             std::int64_t done, bool completed) {
    if (m_owner.OnFileStatus)
        m_owner.OnFileStatus(&m_owner, StoredName(file), size, compressed, done, Percent(done, size),
                             CompressionRatio(done, compressed), completed);
}

void TZipComponent::TCompressRun::GlobalStatus() {
    if (!m_owner.OnGlobalStatus)
        return;
    const std::int64_t filesEnded = m_filesDone + m_filesSkipped;
    m_owner.OnGlobalStatus(&m_owner, m_filesTotal, m_filesDone, m_filesSkipped,
                           Percent(filesEnded, m_filesTotal), m_bytesTotal, m_bytesDone, m_bytesSkipped,
                           Percent(m_bytesDone + m_bytesSkipped, m_bytesTotal), m_bytesOutput,
                           CompressionRatio(m_bytesDone, m_bytesOutput));
}
