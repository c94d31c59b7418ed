// The e-mail destination and the run notification: an archive of the backup, or the run's summary
// with its own log, mailed over SMTP after an optional POP3 log-in.
#include "engine/backup_thread.h"
#include "engine/engine_texts.h"

#include "engine/date_time_format.h"
#include "engine/exception.h"
#include "engine/helpers.h"
#include "engine/mail_texts.h"
#include "engine/net/maker.h"
#include "engine/net/mime_message.h"
#include "engine/net/pop3_client.h"
#include "engine/net/smtp_client.h"
#include "platform/file_io.h"

#include <cmath>
#include <random>
#include <sys/stat.h>

namespace {

std::int64_t EncodedSizeOf(std::int64_t size, double factor, bool round) {
    const double scaled = static_cast<double>(size) * factor;
    const std::int64_t n = static_cast<std::int64_t>(round ? std::nearbyint(scaled) : std::trunc(scaled));
    return n + (n / 76) * 2;
}

// The message identifier: the date stamp, a random fraction, a fixed text and a second fraction.
std::string MessageIdentifier() {
    thread_local std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    return FormatDateTime("yyyymmddhhnnss", Now()) + FormatFloat("####.####", fraction(random)) +
           "brimvale.message." + FormatFloat("####.####", fraction(random));
}

void AddRecipients(std::vector<TMailAddress>& to, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries)
        to.push_back(ParseMailAddress(entry));
}

std::int64_t TextLength(const TTextPart& part) {
    return static_cast<std::int64_t>(part.Text().size());
}

} // namespace

std::int64_t TBackupThread::EstimateEncodedSize(const std::string& fileName) {
    platform::File file;
    if (const platform::Status opened = file.OpenRead(fileName); !opened)
        throw Exception(FileErrorText("Cannot open file", fileName, opened.Code()));
    return EncodedSizeOf(file.Size().ValueOr(-1), 1.3333, false);
}

void TBackupThread::SmtpWork(TMailClient& sender, TWorkMode workMode, std::int64_t workCount) {
    if (Terminated()) {
        sender.DisconnectSocket();
        return;
    }
    if (workMode == TWorkMode::Write) {
        Status.Position = workCount;
        DoStatus();
    }
}

std::string TBackupThread::MailArchiveName() {
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    const std::string base = a.DestinationName.empty() ? RunProfile.Name : a.DestinationName;
    const std::string extension = a.SelfExtracting ? ".exe" : ".zip";
    // The archive the drive step of this run wrote, named as that step names it.
    if (a.Compress && RunProfile.DriveDestination.Active)
        return DriveArchiveName().Full();
    const std::string suffix =
        a.Generations > 1 ? FormatDateTime("_mmddyyyy_hhmmss", RunLog->Summary.BeginTime) : "";
    return RunTempDir() + base + suffix + extension;
}

void TBackupThread::LogInToPop3() {
    if (POP3Host.empty() || POP3Username.empty())
        return;
    TPop3Client pop3;
    pop3.Host = POP3Host;
    pop3.Username = POP3Username;
    pop3.Password = POP3Password;
    pop3.Timeouts = MailTimeouts;
    pop3.AbortRequested = [this] { return Terminated(); };
    pop3.Connect();
    if (pop3.Connected()) {
        pop3.MailboxStatus();
        pop3.Disconnect();
    }
}

void TBackupThread::PrepareSmtpClient(TSmtpClient& client) {
    client.OnWork = [this](TMailClient& sender, TWorkMode mode, std::int64_t count) {
        SmtpWork(sender, mode, count);
    };
    client.AbortRequested = [this] { return Terminated(); };
    client.Host = SMTPHost;
    client.Username = SMTPUsername;
    client.Password = SMTPPassword;
    client.Timeouts = MailTimeouts;
}

void TBackupThread::FillMessageHeader(TMimeMessage& message, const std::string& subject) {
    message.From = ParseMailAddress(MailFrom);
    message.From.Name.clear();
    message.ReplyTo = ParseMailAddressList(MailReplyTo);
    message.MsgId = MessageIdentifier();
    message.Subject = subject;
}

void TBackupThread::SendAndDisconnect(TSmtpClient& client, const TMimeMessage& message,
                                      const std::string& sentText) {
    try {
        client.Send(message);
        LogSuccess("Email", sentText);
        Status.Position = Status.Max;
        DoStatus();
    } catch (const std::exception& error) {
        // A send cut off by an abort ends here too, with the mail library's text.
        LogError("Email", error.what());
    }
    if (client.Connected())
        client.Disconnect();
}

void TBackupThread::EmailBackup() {
    const TBackupAttributes& a = RunProfile.BackupAttributes;
    const bool reuseDriveArchive = a.Compress && RunProfile.DriveDestination.Active;
    const std::string archive = MailArchiveName();
    // Without the run's own folder the archive's bare name would stand for a file in whatever folder the
    // program runs in, which the clean-up below would then delete.
    if (!reuseDriveArchive && RunTempDir().empty()) {
        LogError(archive, engine_texts::EmailInvalidTempFile);
        return;
    }
    if (!reuseDriveArchive) {
        // Files the drive copy has counted already are not counted again.
        m_countArchiveFiles = !m_driveCopyCounted;
        CompressBackup(archive);
        m_countArchiveFiles = true;
    }
    if (Terminated()) {
        if (!reuseDriveArchive)
            (void)platform::DeleteFile(archive);
        return;
    }
    // Without an archive of this run there is nothing to mail; an older one of the same name (the last
    // run's, or one the compression could not update) must not go out as this backup.
    if (!m_archiveWritten) {
        LogError("Email", "Backup archive unavailable - " + archive);
        if (!reuseDriveArchive)
            (void)platform::DeleteFile(archive);
        return;
    }
    const TBackupSummary& summary = RunLog->Summary;
    try {
        LogInToPop3();
        TSmtpClient client;
        Status.SetAction(TBackupAction::SendingEmailBackup);
        Status.Max = 0;
        PrepareSmtpClient(client);
        client.Connect();
        if (!client.Connected()) {
            LogError("Email", engine_texts::ErrorConnectingToHost + SMTPHost);
        } else {
            TMimeMessage message;
            FillMessageHeader(message, AppTitle + " Backup - " + RunProfile.Name);
            const TMailTexts texts = BackupMailTexts(RunProfile.Name, summary);
            Status.Max += TextLength(message.AddTextPart("text/plain", texts.Plain));
            Status.Max += TextLength(message.AddTextPart("text/html", texts.Html));
            AddRecipients(message.To, RunProfile.EmailDestination.To);
            AddRecipients(message.CC, RunProfile.EmailDestination.CC);
            AddRecipients(message.BCC, RunProfile.EmailDestination.BCC);
            message.AddAttachment(archive);

            Status.SetAction(TBackupAction::SendingEmailBackup);
            Status.FileName = archive;
            Status.Max = static_cast<std::int64_t>(message.HeaderText().size()) + Status.Max +
                         EstimateEncodedSize(archive) + 1000;
            Status.Position = 0;
            SendAndDisconnect(client, message, "Backup Message Sent");
        }
    } catch (const std::exception& error) {
        LogError("Email",
                 std::string(error.what()) + " (Host: " + SMTPHost + ";" + " UserID: " + SMTPUsername + ")");
    }
    // An archive built only for the mail never stays behind, whatever happened.
    if (!reuseDriveArchive)
        (void)platform::DeleteFile(archive);
}

void TBackupThread::SendNotification(const std::string& logFileName) {
    const TBackupSummary& summary = RunLog->Summary;
    if (!RunProfile.EmailNotification.Active || Terminated() ||
        (RunProfile.EmailNotifyErrorsOnly && summary.Errors <= 0))
        return;
    Status.SetAction(TBackupAction::SendingEmailNotification);
    DoStatus();
    std::string logFile = logFileName;
    if ((RunProfile.EmailNotifyLogFlags & 7) == 0)
        logFile.clear();
    try {
        LogInToPop3();
        TSmtpClient client;
        PrepareSmtpClient(client);
        client.Connect();
        if (!client.Connected()) {
            LogError(engine_texts::EmailNotificationSource, engine_texts::ErrorConnectingToHost + SMTPHost);
            return;
        }
        TMimeMessage message;
        FillMessageHeader(message, AppTitle + " Backup Notification - " + RunProfile.Name);
        struct stat st {};
        const bool attach =
            !logFile.empty() && ::stat(logFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
        const TMailTexts texts = NotificationMailTexts(RunProfile, summary, attach);
        message.AddTextPart("text/plain", texts.Plain);
        message.AddTextPart("text/html", texts.Html);
        if (attach)
            message.AddAttachment(logFile);
        AddRecipients(message.To, RunProfile.EmailNotification.To);
        AddRecipients(message.CC, RunProfile.EmailNotification.CC);
        AddRecipients(message.BCC, RunProfile.EmailNotification.BCC);

        const std::int64_t logEstimate = !logFile.empty() && platform::FileExists(logFile)
                                             ? EncodedSizeOf(GetFileSize64(logFile), 1.33333, true)
                                             : 0;
        Status.Max = logEstimate + static_cast<std::int64_t>(message.HeaderText().size());
        SendAndDisconnect(client, message, "Notification Message Sent");
        if (!logFile.empty())
            (void)platform::DeleteFile(logFile);
    } catch (const std::exception& error) {
        LogError(engine_texts::EmailNotificationSource, std::string("ERROR: ") + error.what());
    }
}
