// The backup run: gathering the sources, the destinations in their order, the notification hand-off,
// the run log with its summary, and the failure path.
#include "engine/backup_thread.h"
#include "engine/engine_texts.h"

#include "engine/exception.h"
#include "engine/helpers.h"
#include "engine/zip/zip_component.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "platform/user_folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr auto StatusInterval = std::chrono::milliseconds(20);

} // namespace

TBackupThread::TBackupThread(bool createSuspended, std::uint8_t slotIndex, const std::string& logDir)
    : TThread(true), SlotIndex(slotIndex), LogDir(platform::IncludeTrailingPathDelimiter(logDir)) {
    if (!createSuspended)
        Resume();
}

TBackupThread::~TBackupThread() = default;

void TBackupThread::SetTempFolder(const std::string& folder) {
    TempFolder = folder;
    (void)platform::ForceDirectories(folder);
}

void TBackupThread::Execute() {
    if (!Profile) {
        ResultRec = {1, engine_texts::ProfileNotInitialized};
        Terminate();
        return;
    }
    try {
        RunBackup();
    } catch (...) {
        RecordFailure();
    }
    RemoveRunTempDir();
    Terminate();
}

void TBackupThread::RunBackup() {
    FreeScanLists();
    ClearSingleFiles();
    NotificationLog.reset();
    bool haveProfile = false;
    Synchronize([&] {
        if (*Profile) {
            RunProfile = **Profile;
            haveProfile = true;
        }
    });
    if (!haveProfile) {
        ResultRec = {1, engine_texts::ProfileNotInitialized};
        return;
    }
    RunLog = std::make_unique<TBackupLog>(LogDir, RunProfile.Name);
    if (RunProfile.EmailNotification.Active)
        OpenNotificationLog();
    RunLog->Summary.BeginTime = Now();
    Synchronize([this] { (*Profile)->InProcess = true; });
    Status.SetAction(TBackupAction::GatheringInformation);
    DoStatus();

    const TBackupAttributes& a = RunProfile.BackupAttributes;
    GatherSources(a.FilterDirectories ? &a.DirectoryFilter : nullptr,
                  a.FilterFiles ? &a.FileFilter : nullptr);
    FlushStatus();

    if (ScanLists.empty() && SingleFiles.empty())
        LogError("Backup Failure", "No valid sources to backup");
    else
        RunDestinations();

    const TDateTime finished = Now();
    Synchronize([this, finished] { (*Profile)->LastBackup = finished; });
    RunLog->Summary.EndTime = Now();
    FinishNotification();
    Synchronize([this] { (*Profile)->InProcess = false; });
    FlushStatus();
    DoFinished();
    FreeScanLists();
    ClearSingleFiles();
    RunLog.reset();
    NotificationLog.reset();
}

void TBackupThread::GatherSources(const std::vector<std::string>* folderMasks,
                                  const std::vector<std::string>* fileMasks) {
    for (const std::string& entry : RunProfile.Sources) {
        if (Terminated())
            break;
        if (entry.empty())
            continue;
        if (entry.back() == '*')
            GatherFolder(platform::ExtractFilePath(entry), folderMasks, fileMasks);
        else
            GatherSingleFile(entry, fileMasks);
    }
    // The extra folders are gathered even after an abort, as the run has always done.
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    const std::pair<bool, std::uint8_t> extras[] = {{a.Desktop, platform::CSIDL_DESKTOPDIRECTORY},
                                                    {a.MyDocuments, platform::CSIDL_PERSONAL},
                                                    {a.Favorites, platform::CSIDL_FAVORITES}};
    for (const auto& [wanted, folder] : extras)
        if (wanted)
            GatherFolder(GetSpecialFolderPath(folder), folderMasks, fileMasks);
}

void TBackupThread::GatherFolder(const std::string& folder, const std::vector<std::string>* folderMasks,
                                 const std::vector<std::string>* fileMasks) {
    TBackupSummary& summary = RunLog->Summary;
    const std::int32_t before = summary.FilesTotal;
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    auto list = std::make_unique<TFileSystemList>();
    list->OnFileFound = [this](const platform::TSearchRec& rec, TFileSystemElement* parent, bool excluded) {
        ScanFileFound(rec, parent, excluded);
    };
    list->OnFolderError = [this](const std::string& dir, int error) {
        const std::string path = platform::IncludeTrailingPathDelimiter(dir);
        LogError(path, "Folder could not be read - " + platform::ErrorText(error));
        m_unreadFolders.insert(path);
    };
    list->DirectoryAttributeMask = a.DirectoryAttributeMask;
    list->SetDirectoryMasks(folderMasks);
    list->DirectoryFilterFlag = a.DirectoryFilterFlag;
    list->FileAttributeMask = a.FileAttributeMask;
    list->SetFileMasks(fileMasks);
    list->FileFilterFlag = a.FileFilterFlag;
    // A destination inside the source would take in its own earlier copies, one level deeper every run.
    const std::string destination = DestinationFolderWithin(folder);
    if (!destination.empty())
        list->ExcludedFolders.push_back(destination);
    try {
        list->Open(folder, false);
        list->First();
        summary.BytesTotal += list->GetSize();
        summary.FilesTotal = before + list->GetFileCount(true);
        ScanLists.push_back(std::move(list));
    } catch (const std::exception& error) {
        summary.FilesTotal = before;
        m_unreadFolders.insert(platform::IncludeTrailingPathDelimiter(folder));
        LogError("FileSystemList->Open operation", error.what());
    }
}

std::string TBackupThread::DestinationFolderWithin(const std::string& sourceFolder) const {
    const TDriveDestination& destination = RunProfile.DriveDestination;
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    if (!destination.Active || destination.Path.empty() || destination.Path[0] != platform::PathDelim)
        return std::string();
    // Archives lie directly in the destination path, copies in the folder of the destination name.
    std::string folder = platform::IncludeTrailingPathDelimiter(destination.Path);
    if (!a.Compress && !a.DestinationName.empty())
        folder += a.DestinationName + platform::PathDelim;
    char resolved[PATH_MAX];
    if (!::realpath(folder.c_str(), resolved))
        return std::string();
    const std::string realFolder = platform::IncludeTrailingPathDelimiter(resolved);
    if (!::realpath(sourceFolder.c_str(), resolved))
        return std::string();
    const std::string realSource = platform::IncludeTrailingPathDelimiter(resolved);
    if (realFolder.size() <= realSource.size() || realFolder.compare(0, realSource.size(), realSource) != 0)
        return std::string();
    // The name the scan gives it: the source as written, then the folders below it.
    return platform::IncludeTrailingPathDelimiter(sourceFolder) + realFolder.substr(realSource.size());
}

void TBackupThread::GatherSingleFile(const std::string& fileName, const std::vector<std::string>* fileMasks) {
    TBackupSummary& summary = RunLog->Summary;
    summary.FilesTotal += 1;
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        // The user named this file; a file that is gone is not backed up, which is an error, not a filter.
        LogError(fileName, engine_texts::FileUnavailable);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        LogWarning(fileName, engine_texts::ExcludedFromBackup);
        return;
    }
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    try {
        if (IsFileFiltered(fileName, a.FileAttributeMask, a.FileFilterFlag, fileMasks)) {
            LogWarning(fileName, "File excluded because of filter.");
            return;
        }
    } catch (const std::exception& error) {
        LogError(fileName, error.what());
        return;
    }
    SingleFiles.push_back(fileName);
    summary.BytesTotal += FileSizeOf(fileName);
}

bool TBackupThread::IsFileFiltered(const std::string& fileName, int attributeMask, std::uint8_t filterFlag,
                                   const std::vector<std::string>* masks) {
    const platform::Result<int> attributes = platform::FileGetAttr(fileName);
    if (!attributes || (attributes.Value() & platform::faDirectory))
        return true;
    const int a = attributes.Value() & platform::faAnyFile;
    if ((a & attributeMask) != a)
        return true;
    if (!masks)
        return false;
    auto anyMatches = [&] {
        for (const std::string& mask : *masks)
            if (MatchesMask(fileName, mask))
                return true;
        return false;
    };
    switch (filterFlag) {
    case 0: // keep only matching files
        return masks->empty() || !anyMatches();
    case 1: // drop matching files; with no masks nothing matches, as in the folder scanner
        return !masks->empty() && anyMatches();
    default:
        return true;
    }
}

std::int64_t TBackupThread::FileSizeOf(const std::string& fileName) {
    platform::File file;
    const std::int64_t size = file.OpenRead(fileName) ? file.Size().ValueOr(0) : 0;
    return size > 0 ? size : 0;
}

void TBackupThread::ScanFileFound(const platform::TSearchRec& searchRec, TFileSystemElement* parent,
                                  bool excluded) {
    RunLog->Summary.FilesTotal += 1;
    DoStatus();
    if (excluded)
        LogWarning(parent->Name + searchRec.Name, engine_texts::ExcludedFromBackup);
}

void TBackupThread::RunDestinations() {
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    if (RunProfile.DriveDestination.Active && !Terminated()) {
        if (a.Compress)
            CompressBackup(std::string());
        else
            CopyToDrive();
    }
    if (RunProfile.FTPDestination.Active && !Terminated()) {
        if (a.Compress)
            CompressToFTP();
        else
            CopyToFTP();
    }
    if (RunProfile.EmailDestination.Active && !Terminated())
        EmailBackup();
}

void TBackupThread::FinishNotification() {
    if (!NotificationLog) {
        SendNotification(std::string());
        return;
    }
    const std::string name = NotificationLog->FileName();
    NotificationLog.reset();
    SendNotification(name);
    (void)platform::DeleteFile(name);
}

void TBackupThread::RecordFailure() {
    const std::string report = CurrentExceptionReport();
    NotificationLog.reset();
    if (RunLog) {
        RunLog->Summary.EndTime = Now();
        RunLog.reset();
    }
    ResultRec = {4, "BackupThread->Execute: " + report};
    // The run still counts as done for the scheduler, or a failing profile would restart at every tick.
    try {
        const TDateTime finished = Now();
        Synchronize([this, finished] {
            if (*Profile)
                (*Profile)->LastBackup = finished;
        });
    } catch (...) {
    }
}

// The notification only reports the backup: without its log (a temporary folder that cannot be written)
// the backup runs as usual and the notification goes out without the log.
void TBackupThread::OpenNotificationLog() {
    std::string reason;
    try {
        const std::string folder = RunTempDir(&reason);
        if (!folder.empty()) {
            NotificationLog = std::make_unique<TBackupLog>(folder, RunProfile.Name);
            NotificationLog->WriteSummary = false;
            return;
        }
    } catch (const std::exception& error) {
        reason = error.what();
    }
    NotificationLog.reset();
    LogError(engine_texts::EmailNotificationSource, "Notification log unavailable - " + reason);
}

std::string TBackupThread::RunTempDir(std::string* failure) {
    if (!m_runTempDir.empty())
        return m_runTempDir;
    std::string base = platform::DirectoryExists(TempFolder)
                           ? platform::IncludeTrailingPathDelimiter(TempFolder)
                           : platform::ProgramHomeDir() + "Temp/";
    // A folder that cannot be made shows when the run's own folder cannot be made in it.
    (void)platform::ForceDirectories(base);
    std::string pattern = base + "run-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_runTempDir = pattern + "/";
    else if (failure)
        *failure = platform::ErrorText(errno) + " (" + base + ")";
    return m_runTempDir;
}

void TBackupThread::RemoveRunTempDir() {
    if (m_runTempDir.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_runTempDir, ignored);
    m_runTempDir.clear();
}

void TBackupStatus::SetAction(TBackupAction kind) {
    static constexpr const char* Texts[] = {
        engine_texts::GatheringInformation, engine_texts::PreparingCompression,
        engine_texts::CopyingFile,          engine_texts::SynchronizingDestination,
        engine_texts::SendingEmailBackup,   engine_texts::SendingEmailNotification,
    };
    Kind = kind;
    Action = Texts[static_cast<int>(kind)];
}

void TBackupThread::DoStatus() {
    if (Status.Action != m_lastSentAction ||
        std::chrono::steady_clock::now() - m_lastStatusSent >= StatusInterval)
        SendStatus();
    else
        m_statusPending = true;
}

void TBackupThread::FlushStatus() {
    if (m_statusPending)
        SendStatus();
}

void TBackupThread::SendStatus() {
    m_statusPending = false;
    m_lastSentAction = Status.Action;
    Synchronize([this] {
        if (OnStatus)
            OnStatus(this);
    });
    m_lastStatusSent = std::chrono::steady_clock::now();
}

void TBackupThread::DoFinished() {
    Synchronize([this] {
        if (OnFinished)
            OnFinished(this);
    });
}

void TBackupThread::LogError(const std::string& source, const std::string& message) {
    WriteLogLine(lsError, source, Now(), message);
}

void TBackupThread::LogWarning(const std::string& source, const std::string& message) {
    WriteLogLine(lsWarning, source, Now(), message);
}

void TBackupThread::LogSuccess(const std::string& source, const std::string& message) {
    WriteLogLine(lsSuccess, source, Now(), message);
}

// While copies wait for their batch's rename, the lines after them wait too: the log keeps the files' order.
void TBackupThread::WriteLogLine(std::uint8_t kind, const std::string& source, TDateTime time,
                                 const std::string& message) {
    if (m_pendingCopies > 0) {
        TWaitingEntry line;
        line.Kind = kind;
        line.Source = source;
        line.Time = time;
        line.Message = message;
        m_waiting.push_back(std::move(line));
        return;
    }
    if (kind == lsError || LogDetails)
        RunLog->Add(kind, source, time, message);
    const int flag = kind == lsError ? 1 : kind == lsWarning ? 2 : 4;
    if (NotificationLog && (RunProfile.EmailNotifyLogFlags & flag))
        NotificationLog->Add(kind, source, time, message);
}
