// TZipComponent::ExtractFiles: the chosen entries are written below UnzipToFolder, each checked, skipped or
// extracted on its own, so that one bad entry never stops the others nor reads as success.
#include "engine/zip/zip_archive_file.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component.h"
#include "engine/zip/zip_component_internal.h"
#include "engine/zip/zip_safe_extract.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
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
bool MatchesFilesToProcess(const std::string& pattern, const std::string& name, bool subfolders) {
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

std::string JoinParts(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

} // namespace

class TZipComponent::TExtractRun {
public:
    explicit TExtractRun(TZipComponent& owner) : m_owner(owner) {}
    ~TExtractRun() {
        StopWorkers();
        if (m_archive)
            zip_discard(m_archive);
    }
    int Run();

private:
    // An entry that worker threads extract ahead of the events, each into its own temporary file; the calling
    // thread raises its events in archive order and renames it into place then, unless aborted meanwhile.
    struct TJob {
        zip_uint64_t Index = 0;
        std::vector<std::string> Parts;
        std::int64_t Size = 0;
        std::int64_t Reported = 0;
        std::vector<std::int64_t> Progress; // progress events waiting to be raised
        bool Done = false;
        bool Serial = false; // no worker could take it: the calling thread extracts it
        TEntryExtraction Result;
        TExtractedFile File;
    };

    // Extracts or skips one file entry; false once aborted.
    bool ExtractEntry(zip_uint64_t index, const zip_stat_t& st, std::vector<std::string> parts);
    int SkipReasonFor(const std::vector<std::string>& parts, const zip_stat_t& st);
    std::vector<std::string> TargetParts(std::vector<std::string> parts) const;
    void StartWorkers(const std::vector<zip_uint64_t>& chosen);
    void Work();
    TEntryExtraction WaitForJob(TJob& job, const std::function<void(std::int64_t)>& progressEvent);
    void StopWorkers();
    void Skip(const std::string& name, const std::string& onDisk, const zip_stat_t& st, int reason);
    void GlobalStatus();
    bool Aborted() const { return m_owner.Abort.load(); }
    bool PasswordRefused(const std::vector<zip_uint64_t>& chosen);
    std::vector<std::string> FollowedParts() const;
    void SkipAllAsRefused(const std::vector<zip_uint64_t>& chosen);

    TZipComponent& m_owner;
    zip_t* m_archive = nullptr;
    TTargetFolder m_target;
    bool m_targetOpen = false;
    std::int64_t m_filesTotal = 0, m_filesDone = 0, m_filesSkipped = 0, m_filesFailed = 0;
    std::int64_t m_bytesTotal = 0, m_bytesDone = 0, m_bytesSkipped = 0, m_bytesInput = 0;

    std::vector<std::unique_ptr<TJob>> m_jobs; // in archive order
    std::size_t m_jobCursor = 0;
    std::atomic<std::size_t> m_nextJob{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_jobMutex;
    std::condition_variable m_jobChanged; // only the calling thread waits on it
    std::vector<std::thread> m_workers;
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
        if (!MatchesFilesToProcess(m_owner.FilesToProcess, st.name, m_owner.ProcessSubfolders))
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
    if (PasswordRefused(chosen)) {
        SkipAllAsRefused(chosen);
        return ZipResult::FilesNotExtracted;
    }
    m_targetOpen = m_target.Open(m_owner.UnzipToFolder);
    m_target.FollowLinksOn(FollowedParts());
    StartWorkers(chosen);

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
        platform::SyncFileSystemOf(m_target.Fd());
    if (m_filesFailed > 0)
        return ZipResult::FilesNotExtracted;
    if (m_filesDone == 0)
        return ZipResult::NothingToDo;
    return m_filesSkipped > 0 ? ZipResult::FilesSkipped : ZipResult::Success;
}

std::vector<std::string> TZipComponent::TExtractRun::FollowedParts() const {
    std::vector<std::string> parts;
    bool isFolder = false;
    if (!m_owner.PreservePaths || !SplitEntryName(m_owner.FollowLinksOnPath, true, parts, isFolder))
        parts.clear();
    return parts;
}

// Every chosen file is encrypted and the smallest of them does not open with the password (or without one):
// told before anything is written, so that a wrong password leaves the target as it was. An archive that
// also holds entries without encryption is extracted entry by entry.
bool TZipComponent::TExtractRun::PasswordRefused(const std::vector<zip_uint64_t>& chosen) {
    bool found = false;
    zip_uint64_t smallest = 0, smallestSize = 0;
    for (const zip_uint64_t index : chosen) {
        zip_stat_t st;
        if (zip_stat_index(m_archive, index, ZIP_FL_ENC_RAW, &st) != 0 || IsFolderEntry(st.name))
            continue;
        if (st.encryption_method == ZIP_EM_NONE)
            return false;
        if (!found || st.size < smallestSize) {
            found = true;
            smallest = index;
            smallestSize = st.size;
        }
    }
    if (!found)
        return false;
    const std::string& password = m_owner.EncryptionPassword;
    std::vector<char> buffer;
    const int error = CheckEntryData(m_archive, smallest, password.empty() ? nullptr : password.c_str(),
                                     &m_owner.Abort, buffer);
    return error == ZIP_ER_WRONGPASSWD || error == ZIP_ER_NOPASSWD;
}

void TZipComponent::TExtractRun::SkipAllAsRefused(const std::vector<zip_uint64_t>& chosen) {
    for (const zip_uint64_t index : chosen) {
        zip_stat_t st;
        if (zip_stat_index(m_archive, index, ZIP_FL_ENC_RAW, &st) != 0 || IsFolderEntry(st.name))
            continue;
        ++m_filesFailed;
        Skip(st.name, std::string(), st, ZipSkipReason::InvalidPassword);
    }
    GlobalStatus();
}

std::vector<std::string> TZipComponent::TExtractRun::TargetParts(std::vector<std::string> parts) const {
    if (!m_owner.PreservePaths)
        parts = {parts.back()};
    return parts;
}

// Why the file entry is skipped by the skip options, or 0.
int TZipComponent::TExtractRun::SkipReasonFor(const std::vector<std::string>& parts, const zip_stat_t& st) {
    struct stat existing {};
    const bool exists = StatTarget(m_target, parts, existing);
    if (m_owner.SkipIfExisting && exists)
        return ZipSkipReason::SkipExisting;
    if (m_owner.SkipIfNotExisting && !exists)
        return ZipSkipReason::SkipNotExisting;
    if (m_owner.SkipIfOlderDate && exists && ZipTimeOf(existing.st_mtime) >= ZipTimeOf(st.mtime))
        return ZipSkipReason::SkipOlderDate;
    return 0;
}

// The files to extract go to worker threads when no two entries share a place on disk (nor is one file's
// place a folder of another), so that extracting them ahead changes nothing another entry finds.
void TZipComponent::TExtractRun::StartWorkers(const std::vector<zip_uint64_t>& chosen) {
    if (!m_targetOpen)
        return;
    std::set<std::string> files, folders;
    std::vector<std::unique_ptr<TJob>> jobs;
    for (const zip_uint64_t index : chosen) {
        zip_stat_t st;
        std::vector<std::string> parts;
        bool isFolder = false;
        if (zip_stat_index(m_archive, index, ZIP_FL_ENC_RAW, &st) != 0 || !st.name ||
            !SplitEntryName(st.name, EntryMadeOnUnix(m_archive, index), parts, isFolder))
            continue;
        if (isFolder) {
            folders.insert(JoinParts(parts, parts.size()));
            continue;
        }
        parts = TargetParts(std::move(parts));
        if (!files.insert(JoinParts(parts, parts.size())).second)
            return;
        for (std::size_t count = 1; count < parts.size(); ++count)
            folders.insert(JoinParts(parts, count));
        if (SkipReasonFor(parts, st) != 0)
            continue;
        auto job = std::make_unique<TJob>();
        job->Index = index;
        job->Parts = std::move(parts);
        job->Size = static_cast<std::int64_t>(st.size);
        jobs.push_back(std::move(job));
    }
    for (const std::string& folder : folders)
        if (files.count(folder))
            return;
    const unsigned threads =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), jobs.size());
    if (threads < 2)
        return;
    m_jobs = std::move(jobs);
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { Work(); });
}

// One worker: its own reader of the archive and its own handle of the target folder.
void TZipComponent::TExtractRun::Work() {
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = OpenZipArchiveReadOnly(m_owner.ZipFilename, error);
    zip_error_fini(&error);
    TTargetFolder target;
    const bool ready = archive && target.Open(m_owner.UnzipToFolder);
    target.FollowLinksOn(FollowedParts());
    const std::string& password = m_owner.EncryptionPassword;
    for (;;) {
        const std::size_t next = m_nextJob.fetch_add(1);
        if (next >= m_jobs.size())
            break;
        TJob& job = *m_jobs[next];
        TEntryExtraction result{ExtractCancelled, 0};
        const auto progress = [&](std::int64_t written) {
            if (written - job.Reported >= ProgressStep && written < job.Size) {
                std::lock_guard lock(m_jobMutex);
                job.Reported = written;
                job.Progress.push_back(written);
                m_jobChanged.notify_one();
            }
            return !m_stop.load();
        };
        if (ready && !m_stop.load())
            result =
                ExtractEntryToTemporary(archive, job.Index, password.empty() ? nullptr : password.c_str(),
                                        target, job.Parts, progress, job.File);
        std::lock_guard lock(m_jobMutex);
        job.Serial = !ready;
        job.Result = result;
        job.Done = true;
        m_jobChanged.notify_one();
    }
    if (archive)
        zip_discard(archive);
}

// Raises the job's progress events as they come; once the entry is whole and no event aborted, renames it
// into place.
TEntryExtraction
TZipComponent::TExtractRun::WaitForJob(TJob& job, const std::function<void(std::int64_t)>& progressEvent) {
    std::unique_lock lock(m_jobMutex);
    for (;;) {
        m_jobChanged.wait(lock, [&] { return !job.Progress.empty() || job.Done; });
        const std::vector<std::int64_t> events = std::move(job.Progress);
        job.Progress.clear();
        const bool done = job.Done;
        lock.unlock();
        for (const std::int64_t written : events)
            progressEvent(written);
        if (Aborted())
            return {ExtractCancelled, 0}; // its temporary file goes with the job
        if (done)
            return job.Result.Reason != 0 || job.Serial ? job.Result : CommitExtractedFile(job.File);
        lock.lock();
    }
}

void TZipComponent::TExtractRun::StopWorkers() {
    {
        std::lock_guard lock(m_jobMutex);
        m_stop = true;
    }
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}

bool TZipComponent::TExtractRun::ExtractEntry(zip_uint64_t index, const zip_stat_t& st,
                                              std::vector<std::string> parts) {
    const std::string name = st.name;
    parts = TargetParts(std::move(parts));
    const std::string onDisk = m_target.Path() + JoinParts(parts, parts.size());
    const auto finish = [this] {
        GlobalStatus();
        return !Aborted();
    };
    if (!m_targetOpen) {
        ++m_filesFailed;
        Skip(name, onDisk, st, ZipSkipReason::CreateFolder);
        return finish();
    }
    TJob* job = m_jobCursor < m_jobs.size() && m_jobs[m_jobCursor]->Index == index
                    ? m_jobs[m_jobCursor++].get()
                    : nullptr;
    // Nothing else writes where a job writes, so what the skip options found before it began still holds.
    const int skipReason = job ? 0 : SkipReasonFor(parts, st);
    if (skipReason != 0) {
        ++m_filesSkipped;
        m_bytesSkipped += static_cast<std::int64_t>(st.size);
        Skip(name, onDisk, st, skipReason);
        return finish();
    }

    const std::int64_t size = static_cast<std::int64_t>(st.size);
    const std::int64_t compressed = static_cast<std::int64_t>(st.comp_size);
    const auto progressEvent = [&](std::int64_t written) {
        if (m_owner.OnFileStatus)
            m_owner.OnFileStatus(&m_owner, name, size, compressed, written, Percent(written, size),
                                 CompressionRatio(size, compressed), false);
    };
    std::int64_t reported = 0;
    const auto progress = [&](std::int64_t written) {
        if (written - reported >= ProgressStep && written < size) {
            reported = written;
            progressEvent(written);
        }
        return !Aborted();
    };
    const std::string& password = m_owner.EncryptionPassword;
    TEntryExtraction result = job ? WaitForJob(*job, progressEvent) : TEntryExtraction{};
    if (!job || job->Serial)
        result = ExtractEntryToFile(m_archive, index, password.empty() ? nullptr : password.c_str(), m_target,
                                    parts, progress);
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
