// One backup run of one profile on a worker thread: gathering and filtering the sources, the
// destinations (drive copy or archive, e-mail), the notification, the run log and its summary.
// Progress and the end of the run reach the main thread through synchronised events.
#pragma once

#include "engine/backup_log.h"
#include "engine/backup_profile.h"
#include "engine/file_system_list.h"
#include "engine/mail_client.h"
#include "engine/thread.h"
#include "platform/file_io.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// What the status slot shows.
struct TBackupStatus {
    std::string Action;
    std::string FileName;
    std::int64_t Max = 0;      // size of the current item
    std::int64_t Position = 0; // progress within it
};

// The outcome of a run that did not start or was ended by an exception.
struct TBackupResultRec {
    std::uint8_t Failed = 0; // 0 the run went through, 1 no profile was set, 4 an exception ended the run
    std::string Message;
};

// The main window's cell that holds a profile; it stays in place until the run has ended.
using TProfileCell = std::unique_ptr<TBackupProfile>;

class TSmtpClient;
class TMimeMessage;

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
    std::string RunTempDir();

    // The drive destination without compression.
    void CopyToDrive();
    void CopyTree(TFileSystemList& list, std::string destDir);
    void CopyFile(const std::string& source, const std::string& dest);
    void SyncDelete(std::string sourceDir, std::string destDir);
    bool SyncDeleteTree(std::string dir);
    // The FTP destination is stored with the profile but transfers nothing.
    void CopyToFTP() {}
    void CompressToFTP() {}

    // The compressed destination, the e-mail destination and the notification.
    void CompressBackup(const std::string& zipName);
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
    void RunDestinations();
    void FinishNotification();
    void RecordFailure();
    void RemoveRunTempDir();
    void SendStatus();
    bool CopyFileBlocks(const std::string& source, platform::File& in, const struct stat& st,
                        const std::string& dest, bool replacing);
    bool SynchronizationWanted() const;
    void Synchronization(const std::string& root);
    std::string PlaceOfTree(const std::string& root, TFileSystemList& list);
    std::string PlaceOfFile(const std::string& root, const std::string& file);
    bool WrittenBelow(const std::string& destPath) const;
    std::string MailArchiveName();
    void LogInToPop3();
    void PrepareSmtpClient(TSmtpClient& client);
    void FillMessageHeader(TMimeMessage& message, const std::string& subject);

    std::string m_runTempDir;
    // Folders whose scan could not read everything; synchronisation must not trust them.
    std::set<std::string> m_unreadFolders;
    // Destination files this run wrote or kept; synchronisation never deletes them.
    std::set<std::string> m_written;
    bool m_synchronizing = false;
    // False while an archive is built only for the mail after the drive copy has counted the files.
    bool m_countArchiveFiles = true;
    std::vector<char> m_copyBuffer;
    std::string m_lastSentAction;
    std::chrono::steady_clock::time_point m_lastStatusSent{};
    bool m_statusPending = false;
};
