// TZipComponent::ExtractFiles: the chosen entries are written below UnzipToFolder, each checked, skipped or
// extracted on its own, so that one bad entry never stops the others nor reads as success.
#include "engine/zip/zip_archive_file.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component.h"
#include "engine/zip/zip_component_internal.h"
#include "engine/zip/zip_safe_extract.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t ProgressStep = 1 << 20;

// "*" any run of characters, "?" one character; letter case counts, as it does in stored names.
bool MatchesNameMask(const char* mask, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*mask == '?' || (*mask != '*' && *mask == *name)) {
            ++mask;
            ++name;
        } else if (*mask == '*') {
            star = mask++;
            resume = name;
        } else if (star) {
            mask = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*mask == '*')
        ++mask;
    return *mask == 0;
}

// Whether the stored Name is chosen by Pattern. A plain stored name matches only itself; a stored path
// followed by a mask matches the entries directly in that path, with Subfolders those in its whole subtree.
bool MatchesFileSpec(const std::string& pattern, const std::string& name, bool subfolders) {
    if (pattern.empty())
        return true;
    const std::size_t slash = pattern.rfind('/');
    const std::string path = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    const std::string mask = pattern.substr(path.size());
    if (name.compare(0, path.size(), path) != 0)
        return false;
    std::string rest = name.substr(path.size());
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    if (rest.empty())
        return false;
    if (mask.find_first_of("*?") == std::string::npos)
        return rest == mask;
    const std::size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos && !subfolders)
        return false;
    return MatchesNameMask(mask.c_str(), rest.c_str() + (lastSlash == std::string::npos ? 0 : lastSlash + 1));
}

// A folder entry's stored name ends in "/". A damaged archive may hold an entry without a name.
bool IsFolderEntry(const std::string& name) {
    return !name.empty() && name.back() == '/';
}

} // namespace

class TZipComponent::TExtractRun {
public:
    explicit TExtractRun(TZipComponent& owner) : m_owner(owner) {}
    ~TExtractRun() {
        if (m_archive)
            zip_discard(m_archive);
    }
    int Run();

private:
    // Extracts or skips one file entry; false once aborted.
    bool ExtractEntry(zip_uint64_t index, const zip_stat_t& st, std::vector<std::string> parts);
    void Skip(const std::string& name, const std::string& onDisk, const zip_stat_t& st, int reason);
    void GlobalStatus();
    bool Aborted() const { return m_owner.Abort.load(); }

    TZipComponent& m_owner;
    zip_t* m_archive = nullptr;
    TTargetFolder m_target;
    bool m_targetOpen = false;
    std::int64_t m_filesTotal = 0, m_filesDone = 0, m_filesSkipped = 0, m_filesFailed = 0;
    std::int64_t m_bytesTotal = 0, m_bytesDone = 0, m_bytesSkipped = 0, m_bytesInput = 0;
};

int TZipComponent::ExtractFiles() {
    if (m_busy)
        return ZipResult::Busy;
    const TBusyGuard busy(m_busy);
    Abort = false;
    TExtractRun run(*this);
    return run.Run();
}

int TZipComponent::TExtractRun::Run() {
    struct stat file {};
    if (::stat(m_owner.ZipFilename.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0)
        return ZipResult::EmptyZipFile;
    zip_error_t error;
    m_archive = OpenZipArchiveReadOnly(m_owner.ZipFilename, error);
    const int zipError = zip_error_code_zip(&error);
    zip_error_fini(&error);
    if (!m_archive)
        return ZipResultOfError(zipError);
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    if (count <= 0)
        return ZipResult::EmptyZipFile;

    std::vector<zip_uint64_t> chosen;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        const zip_uint64_t index = static_cast<zip_uint64_t>(i);
        if (zip_stat_index(m_archive, index, ZIP_FL_ENC_RAW, &st) != 0 || !st.name)
            continue;
        if (!MatchesFileSpec(m_owner.FilesToProcess, st.name, m_owner.ProcessSubfolders))
            continue;
        chosen.push_back(index);
        if (!IsFolderEntry(st.name)) {
            ++m_filesTotal;
            m_bytesTotal += static_cast<std::int64_t>(st.size);
        }
    }
    if (chosen.empty()) {
        if (m_owner.OnWarning)
            m_owner.OnWarning(&m_owner, m_owner.FilesToProcess, ZipWarningCode::NoFilesMatched);
        return ZipResult::NothingToDo;
    }
    m_targetOpen = m_target.Open(m_owner.UnzipToFolder);

    for (const zip_uint64_t index : chosen) {
        zip_stat_t st;
        zip_stat_index(m_archive, index, ZIP_FL_ENC_RAW, &st);
        const std::string name = st.name;
        std::vector<std::string> parts;
        bool isFolder = false;
        // A name that cannot be written here is refused, never written as another file.
        if (!SplitEntryName(name, EntryMadeOnUnix(m_archive, index), parts, isFolder)) {
            ++m_filesFailed;
            Skip(name, std::string(), st, ZipSkipReason::AccessDenied);
        } else if (isFolder) {
            if (m_owner.PreservePaths && (!m_targetOpen || CreateEntryFolder(m_target, parts).Reason != 0)) {
                ++m_filesFailed;
                Skip(name, m_target.Path() + name, st, ZipSkipReason::CreateFolder);
            }
        } else if (!ExtractEntry(index, st, std::move(parts))) {
            return ZipResult::UserAbort;
        }
        if (Aborted())
            return ZipResult::UserAbort;
    }
    if (m_targetOpen)
        ::syncfs(m_target.Fd());
    if (m_filesFailed > 0)
        return ZipResult::FilesNotExtracted;
    if (m_filesDone == 0)
        return ZipResult::NothingToDo;
    return m_filesSkipped > 0 ? ZipResult::FilesSkipped : ZipResult::Success;
}

bool TZipComponent::TExtractRun::ExtractEntry(zip_uint64_t index, const zip_stat_t& st,
                                              std::vector<std::string> parts) {
    const std::string name = st.name;
    if (!m_owner.PreservePaths)
        parts = {parts.back()};
    std::string onDisk = m_target.Path();
    for (std::size_t i = 0; i < parts.size(); ++i)
        onDisk += (i ? "/" : "") + parts[i];
    const auto finish = [this] {
        GlobalStatus();
        return !Aborted();
    };
    if (!m_targetOpen) {
        ++m_filesFailed;
        Skip(name, onDisk, st, ZipSkipReason::CreateFolder);
        return finish();
    }
    struct stat existing {};
    const bool exists = StatTarget(m_target, parts, existing);
    int skipReason = 0;
    if (m_owner.SkipIfExisting && exists)
        skipReason = ZipSkipReason::SkipExisting;
    else if (m_owner.SkipIfNotExisting && !exists)
        skipReason = ZipSkipReason::SkipNotExisting;
    else if (m_owner.SkipIfOlderDate && exists && ZipTimeOf(existing.st_mtime) >= ZipTimeOf(st.mtime))
        skipReason = ZipSkipReason::SkipOlderDate;
    if (skipReason != 0) {
        ++m_filesSkipped;
        m_bytesSkipped += static_cast<std::int64_t>(st.size);
        Skip(name, onDisk, st, skipReason);
        return finish();
    }

    const std::int64_t size = static_cast<std::int64_t>(st.size);
    const std::int64_t compressed = static_cast<std::int64_t>(st.comp_size);
    std::int64_t reported = 0;
    const auto progress = [&](std::int64_t written) {
        if (written - reported >= ProgressStep && written < size) {
            reported = written;
            if (m_owner.OnFileStatus)
                m_owner.OnFileStatus(&m_owner, name, size, compressed, written, Percent(written, size),
                                     CompressionRatio(size, compressed), false);
        }
        return !Aborted();
    };
    const std::string& password = m_owner.EncryptionPassword;
    const TEntryExtraction result = ExtractEntryToFile(
        m_archive, index, password.empty() ? nullptr : password.c_str(), m_target, parts, progress);
    if (result.Reason == ExtractCancelled)
        return false;
    if (result.Reason != 0) {
        ++m_filesFailed;
        Skip(name, onDisk, st, result.Reason);
        return finish();
    }
    ++m_filesDone;
    m_bytesDone += size;
    m_bytesInput += compressed;
    if (m_owner.OnFileStatus)
        m_owner.OnFileStatus(&m_owner, name, size, compressed, size, 100, CompressionRatio(size, compressed),
                             true);
    return finish();
}

void TZipComponent::TExtractRun::Skip(const std::string& name, const std::string& onDisk,
                                      const zip_stat_t& st, int reason) {
    if (!m_owner.OnSkippingFile)
        return;
    const TDateTime modified = ZipTimeOf(st.mtime);
    m_owner.OnSkippingFile(&m_owner, name, std::string(), onDisk, static_cast<std::int64_t>(st.size),
                           static_cast<std::int64_t>(st.comp_size), 0, st.crc, modified, modified, modified,
                           st.comp_method == ZIP_CM_STORE ? ZipMethodStored : ZipMethodDeflated,
                           st.encryption_method != ZIP_EM_NONE, reason);
}

void TZipComponent::TExtractRun::GlobalStatus() {
    if (!m_owner.OnGlobalStatus)
        return;
    const std::int64_t filesEnded = m_filesDone + m_filesSkipped + m_filesFailed;
    m_owner.OnGlobalStatus(&m_owner, m_filesTotal, m_filesDone, m_filesSkipped + m_filesFailed,
                           Percent(filesEnded, m_filesTotal), m_bytesTotal, m_bytesDone, m_bytesSkipped,
                           Percent(m_bytesDone + m_bytesSkipped, m_bytesTotal), m_bytesInput,
                           CompressionRatio(m_bytesDone, m_bytesInput));
}
