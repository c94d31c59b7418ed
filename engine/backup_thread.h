// One backup run of one profile on a worker thread: gathering and filtering the sources, the
// destinations (drive copy or archive, e-mail), the notification, the run log and its summary.
// Progress and the end of the run reach the main thread through synchronised events.
#pragma once

#include "engine/backup_log.h"
#include "engine/backup_profile.h"
#include "engine/file_system_list.h"
#include "engine/name_list.h"
#include "engine/net/mail_client.h"
#include "engine/thread.h"
#include "platform/durable_file.h"
#include "platform/file_io.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// What a run is doing; the status slot chooses what to show by it.
enum class TBackupAction {
    GatheringInformation,
    PreparingCompression,
    CopyingFile,
    Synchronizing,
    SendingEmailBackup,
    SendingEmailNotification,
};

// What the status slot shows.
struct TBackupStatus {
    TBackupAction Kind = TBackupAction::GatheringInformation;
    std::string Action; // the text of Kind
    std::string FileName;
    std::int64_t Max = 0;      // size of the current item
    std::int64_t Position = 0; // progress within it

    void SetAction(TBackupAction kind);
};

// The outcome of a run that did not start or was ended by an exception.
struct TBackupResultRec {
    std::uint8_t Failed = 0; // 0 the run went through, 1 no profile was set, 4 an exception ended the run
    std::string Message;
};

// The main window's cell that holds a profile; it stays in place until the run has ended.
using TProfileCell = std::unique_ptr<TBackupProfile>;

using TStringArray = std::vector<std::string>;
// Sorts ascending by plain byte comparison.
void SortStringArray(TStringArray& list);

class TSmtpClient;
class TMimeMessage;
class TZipComponent;
struct TZipEntryInfo;

class TBackupThread : public TThread {
public:
    TBackupThread(bool createSuspended, std::uint8_t slotIndex, const std::string& logDir);
    ~TBackupThread() override;

    void SetProfile(TProfileCell* cell) { Profile = cell; }
    TProfileCell* GetProfile() const { return Profile; }
    // The folder for the notification log and for archives built for mailing; created when missing.
    void SetTempFolder(const std::string& folder);

    std::uint8_t SlotIndex;
    std::function<void(TBackupThread* sender)> OnStatus;
    std::function<void(TBackupThread* sender)> OnFinished;
    bool ValidateDestinationMedia = true;
    std::string TempFolder;
    std::string LogDir;
    bool LogDetails = false;
    std::string MailFrom, MailReplyTo, SMTPHost, SMTPUsername, SMTPPassword, POP3Host, POP3Username,
        POP3Password;
    // How long the mail servers may take; tests shorten them.
    TMailTimeouts MailTimeouts;

    // Read by the main window inside OnStatus and OnFinished only.
    TBackupStatus Status;
    std::unique_ptr<TBackupLog> RunLog;
    // Read by the main window once the thread has ended.
    TBackupResultRec ResultRec;

protected:
    void Execute() override;

    // The settings of the run: a copy of the profile taken when the run starts.
    TBackupProfile RunProfile;
    TProfileCell* Profile = nullptr;
    std::unique_ptr<TBackupLog> NotificationLog;
    std::vector<std::unique_ptr<TFileSystemList>> ScanLists;
    std::vector<std::string> SingleFiles;

    // Raise OnStatus (coalesced to one call every 20 ms, never dropping a change of action) or
    // OnFinished on the main thread while this thread waits.
    void DoStatus();
    void FlushStatus();
    void DoFinished();
    void LogError(const std::string& source, const std::string& message);
    void LogWarning(const std::string& source, const std::string& message);
    void LogSuccess(const std::string& source, const std::string& message);
    void FreeScanLists() { ScanLists.clear(); }
    void ClearSingleFiles() { SingleFiles.clear(); }
    std::int64_t FileSizeOf(const std::string& fileName);
    // True when the single-file source is to be left out.
    bool IsFileFiltered(const std::string& fileName, int attributeMask, std::uint8_t filterFlag,
                        const std::vector<std::string>* masks);
    void ScanFileFound(const platform::TSearchRec& searchRec, TFileSystemElement* parent, bool excluded);
    // A private folder of this run for temporary files, removed when the run ends.
    // Empty when it cannot be created, with the reason in Failure when given.
    std::string RunTempDir(std::string* failure = nullptr);
    void OpenNotificationLog();

    // The drive destination without compression.
    void CopyToDrive();
    void CopyTree(TFileSystemList& list, std::string destDir);
    // Folder: what the caller knows of Dest's folder.
    enum class TDestFolder { Unknown, Existing, Created };
    void CopyFile(const std::string& source, const std::string& dest,
                  TDestFolder folder = TDestFolder::Unknown);
    void SyncDelete(std::string sourceDir, std::string destDir);
    bool SyncDeleteTree(std::string dir);
    // The FTP destination is stored with the profile but transfers nothing.
    void CopyToFTP() {}
    void CompressToFTP() {}

    // The compressed destination: one archive of everything gathered, into the drive destination (an empty
    // ZipName; older generations are pruned) or into ZipName (an archive built for the mail).
    void CompressBackup(const std::string& zipName);
    // Hands every file of the tree below the list's current element to the zip component.
    void AddListToZip(TFileSystemList& list);
    // Deletes all but the newest Keep archives of FileName's family: FileName itself, or its name with a
    // "_yyyymmdd_hhmmss" suffix before the extension. Written, the archive just made, is never deleted.
    static void PruneGenerations(const std::string& fileName, std::uint32_t keep, int attr,
                                 const std::string& written);
    // The zip component's events while CompressBackup runs.
    void ZipPreprocessingFile(TZipComponent* sender, std::string& sFilename, const std::string& sComment,
                              const std::string& sSourceFilename, std::int64_t lSize, int xAttributes,
                              TDateTime dtLastModified, TDateTime dtLastAccessed, TDateTime dtCreated,
                              int xMethod, bool bEncrypted, const std::string& sPassword, bool& bExcluded,
                              int& xReason, bool bExisting);
    void ZipFileStatus(TZipComponent* sender, const std::string& sFilename, std::int64_t lSize,
                       std::int64_t lCompressedSize, std::int64_t lBytesProcessed, int nBytesPercent,
                       int nCompressionRatio, bool bFileCompleted);
    void ZipSkippingFile(TZipComponent* sender, const std::string& sFilename, const std::string& sComment,
                         const std::string& sFilenameOnDisk, std::int64_t lSize, std::int64_t lCompressedSize,
                         int xAttributes, std::uint32_t lCRC, TDateTime dtLastModified,
                         TDateTime dtLastAccessed, TDateTime dtCreated, int xMethod, bool bEncrypted,
                         int xReason);
    void ZipWarning(TZipComponent* sender, const std::string& sFilename, int xWarning);
    void ZipGlobalStatus(TZipComponent* sender, std::int64_t lFilesTotal, std::int64_t lFilesProcessed,
                         std::int64_t lFilesSkipped, int nFilesPercent, std::int64_t lBytesTotal,
                         std::int64_t lBytesProcessed, std::int64_t lBytesSkipped, int nBytesPercent,
                         std::int64_t lBytesOutput, int nCompressionRatio);

    // Alive while CompressBackup runs: the component, whether the existing archive's entries are compared
    // with the files (the only-changed test; the component holds the entries), and the source entries the
    // stored names are made from.
    std::unique_ptr<TZipComponent> ZipComponent;
    bool KeepUnchangedEntries = false;
    std::vector<std::string> ZipSources;

    // The e-mail destination and the notification.
    void EmailBackup();
    void SendNotification(const std::string& logFile);
    // The expected size of the file's base64 form in a message; raises when the file cannot be opened.
    std::int64_t EstimateEncodedSize(const std::string& fileName);
    // Progress of the SMTP client; an abort closes its connection at once.
    void SmtpWork(TMailClient& sender, TWorkMode workMode, std::int64_t workCount);

private:
    void RunBackup();
    void GatherSources(const std::vector<std::string>* folderMasks,
                       const std::vector<std::string>* fileMasks);
    void GatherFolder(const std::string& folder, const std::vector<std::string>* folderMasks,
                      const std::vector<std::string>* fileMasks);
    void GatherSingleFile(const std::string& fileName, const std::vector<std::string>* fileMasks);
    // The drive destination's folder as the scan of SourceFolder names it, when it lies inside that folder;
    // else empty.
    std::string DestinationFolderWithin(const std::string& sourceFolder) const;
    void RunDestinations();
    void FinishNotification();
    void RecordFailure();
    void RemoveRunTempDir();
    void SendStatus();
    // True when the copy is done, or (Pending) written and waiting for its batch's rename.
    bool CopyFileBlocks(const std::string& source, platform::File& in, const struct stat& st,
                        const std::string& dest, bool replacing, bool& pending);
    enum class TCopyEnd { Complete, Aborted, Failed };
    // The two ways of copying a file's content, each up to its end, an abort, or a failure (Failure says
    // why); Copied counts the bytes copied.
    TCopyEnd CopyInKernel(platform::File& in, std::int64_t size, platform::DurableWriter& out,
                          std::int64_t& copied, std::string& failure);
    TCopyEnd CopyByBlocks(platform::File& in, platform::DurableWriter& out, std::int64_t& copied,
                          std::string& failure);
    void CountCopied(std::int64_t bytes, std::int64_t& copied);
    void WaitForBatch(const std::string& source, const std::string& dest, platform::DurableWriter out,
                      std::int64_t credited);
    // Syncs the waiting copies together, renames each over its old copy and writes the log lines that
    // waited with them, in order.
    void FlushPendingCopies();
    void DiscardPendingCopies();
    void WriteLogLine(std::uint8_t kind, const std::string& source, TDateTime time,
                      const std::string& message);
    std::int64_t FreeBytesFor(const std::string& dest, std::int64_t size);
    bool SynchronizationWanted() const;
    void Synchronization(const std::string& root);
    std::string PlaceOfTree(const std::string& root, TFileSystemList& list);
    std::string PlaceOfFile(const std::string& root, const std::string& file);
    bool WrittenBelow(const std::string& destPath) const;
    // The drive destination's archive of this run: its folder and base name, suffix and extension.
    struct TArchiveName {
        std::string Base, Suffix, Extension;
        std::string Full() const { return Base + Suffix + Extension; }
    };
    TArchiveName DriveArchiveName() const;
    int CompressFiles(const std::string& zipName, const TArchiveName& driveName);
    void ConfigureZipComponent(TZipComponent& zip);
    bool ZipDestinationReady(const std::string& zipName);
    void CollectZipSources();
    void RecordCompressionResult(int result, const std::string& zipFilename);
    std::string StoredNameOf(const std::string& sourceFile, const std::string& proposed) const;
    bool KeptUnchanged(TZipComponent& zip, const TZipEntryInfo& entry, const std::string& sourceFile,
                       std::int64_t size, TDateTime modified);
    std::string MailArchiveName();
    void LogInToPop3();
    void PrepareSmtpClient(TSmtpClient& client);
    void FillMessageHeader(TMimeMessage& message, const std::string& subject);
    // Sends inside its own guard (a failure is an "Email" entry), then ends the session with QUIT.
    void SendAndDisconnect(TSmtpClient& client, const TMimeMessage& message, const std::string& sentText);

    std::string m_runTempDir;
    // Folders whose scan could not read everything; synchronisation must not trust them.
    std::set<std::string> m_unreadFolders;
    // Destination folders whose stale temporary files this run has removed.
    std::set<std::string> m_cleanedFolders;
    // Destination files this run wrote or kept; synchronisation never deletes them.
    std::set<std::string> m_written;
    bool m_synchronizing = false;
    // False while an archive is built only for the mail after the drive copy has counted the files.
    bool m_countArchiveFiles = true;
    // The drive copy got past its destination check, so it counted the files.
    bool m_driveCopyCounted = false;
    // The last CompressBackup left a complete archive.
    bool m_archiveWritten = false;
    // The entries of files compressed by the running CompressBackup, logged once the archive is written, and
    // the bytes counted for them meanwhile. Each is its source, a NUL, and either "W" and a warning's text or
    // "C" and the two sizes of a file copied: a million of them fit in a few tens of megabytes.
    TNameList m_archivedEntries;
    void AddArchivedFile(const std::string& name, std::int64_t size, std::int64_t compressedSize);
    void AddArchivedWarning(const std::string& source, const std::string& message);
    void LogArchivedEntries();
    std::int64_t m_archivedBytes = 0;
    std::vector<char> m_copyBuffer;
    // Copies that replace older ones, written to their temporary files and waiting to be synced together
    // before their renames, and the log lines that came after them, in order.
    struct TPendingCopy {
        std::string Source, Dest;
        platform::DurableWriter Out;
        std::int64_t Credited = 0; // the bytes counted as processed for it
    };
    struct TWaitingEntry {
        std::unique_ptr<TPendingCopy> Copy; // a copy, or else a log line
        std::uint8_t Kind = 0;
        std::string Source;
        TDateTime Time = 0;
        std::string Message;
    };
    std::vector<TWaitingEntry> m_waiting;
    std::size_t m_pendingCopies = 0;
    std::int64_t m_pendingBytes = 0;
    // The free bytes of the last destination folder asked, less what the run has written there since.
    std::string m_freeFolder;
    std::int64_t m_freeBytes = -1;
    std::string m_lastSentAction;
    std::chrono::steady_clock::time_point m_lastStatusSent{};
    bool m_statusPending = false;
};
