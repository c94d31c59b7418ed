// The e-mail destination and the run notification: an archive of the backup, or the run's summary
// with its own log, mailed over SMTP after an optional POP3 log-in.
#include "engine/backup_thread.h"
#include "engine/engine_texts.h"

#include "engine/date_time_format.h"
#include "engine/exception.h"
#include "engine/helpers.h"
#include "engine/net/maker.h"
#include "engine/net/mime_message.h"
#include "engine/net/pop3_client.h"
#include "engine/net/smtp_client.h"
#include "platform/file_io.h"

#include <cmath>
#include <random>
#include <sys/stat.h>

namespace {

const char FontFace[] = "verdana, tahoma, arial, helvetica";
const char Dots[] = "......................................................"; // 54

std::string Html(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FontStart(const char* extra = "") {
    return std::string("<font face=\"") + FontFace + "\" size=\"2\"" + extra + ">";
}

// One row of the summary table: the label right-aligned, a no-wrap filler of dots, the value.
std::string SummaryRow(const std::string& label, const std::string& valueHtml) {
    return "<tr><td align=\"right\">" + FontStart() + Html(label) + "</font></td><td nowrap=\"nowrap\">" +
           FontStart() + Dots + "</font></td><td>" + FontStart() + valueHtml + "</font></td></tr>";
}

std::string Red(const std::string& text) {
    return "<font color=\"red\">" + text + "</font>";
}

// The body around the summary rows: the name header cell, the inner table, the maker's footer.
std::vector<std::string> HtmlBody(const std::vector<std::string>& intro, const std::string& name,
                                  const std::vector<std::string>& rows,
                                  const std::vector<std::string>& closing, const std::string& broughtBy) {
    std::vector<std::string> lines = {"<html>", "<body>", FontStart()};
    lines.insert(lines.end(), intro.begin(), intro.end());
    lines.push_back("<table border=\"0\" cellpadding=\"3\">");
    lines.push_back("<tr><td bgcolor=\"#0066CC\">" + FontStart(" color=\"white\"") + "<b>" + Html(name) +
                    "</b></font></td></tr>");
    lines.push_back("<tr><td bgcolor=\"#f7efde\">");
    lines.push_back("<table width=\"100%\" cellpadding=\"3\" cellspacing=\"0\" border=\"0\">");
    lines.insert(lines.end(), rows.begin(), rows.end());
    lines.push_back("</table>");
    lines.push_back("</td></tr>");
    lines.push_back("</table>");
    lines.insert(lines.end(), closing.begin(), closing.end());
    lines.push_back("<p>" + Html(broughtBy) + "<br /></p>");
    lines.push_back("<blockquote><b>" + Html(AppTitle) + "</b><br />");
    lines.push_back(std::string(MakerCompanyName) + "<br />");
    lines.push_back(std::string("<a href=\"") + MakerWebAddress + "\">" + MakerWebAddress + "</a><br />");
    lines.push_back(std::string(MakerRightsNotice) + "</blockquote>");
    lines.insert(lines.end(), {"</font>", "</body>", "</html>"});
    return lines;
}

std::vector<std::string> PlainFooter(const std::string& broughtBy) {
    return {"-------------------------------", broughtBy, AppTitle, MakerCompanyName, MakerWebAddress};
}

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
    platform::File file = platform::File::OpenRead(fileName);
    if (!file.IsOpen())
        throw Exception(FileErrorText("Cannot open file", fileName, file.Error()));
    return EncodedSizeOf(file.Size(), 1.3333, false);
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
            platform::DeleteFile(archive);
        return;
    }
    // Without an archive of this run there is nothing to mail; an older one of the same name (the last
    // run's, or one the compression could not update) must not go out as this backup.
    if (!m_archiveWritten) {
        LogError("Email", "Backup archive unavailable - " + archive);
        if (!reuseDriveArchive)
            platform::DeleteFile(archive);
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
            const std::string name = RunProfile.Name;
            std::vector<std::string> plain = {
                AppTitle + " E-mail Backup",
                "",
                "This message contains your '" + name + "' profile backup.",
                "Below is the backup summary:",
                "",
                "Files:\t" + std::to_string(summary.FilesTotal),
                "Size:\t" + FormatFileSize("0", summary.BytesTotal),
                "Errors:\t" + std::to_string(summary.Errors),
                "Time:\t" + FormatDateTime("hh:nn:ss ampm", summary.BeginTime),
                "",
                "",
            };
            const auto footer = PlainFooter("This backup brought to you by: ");
            plain.insert(plain.end(), footer.begin(), footer.end());
            Status.Max += TextLength(message.AddTextPart("text/plain", plain));
            const std::vector<std::string> rows = {
                SummaryRow("Files:", std::to_string(summary.FilesTotal)),
                SummaryRow("Size:", Html(FormatFileSize("0", summary.BytesTotal))),
                SummaryRow("Errors:", Red(std::to_string(summary.Errors))),
                SummaryRow("Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.BeginTime))),
            };
            const std::vector<std::string> intro = {
                "<p><b>" + Html(AppTitle) + " E-mail Backup</b></p>",
                "<p>This message contains the <font color=\"blue\">" + Html(name) +
                    "</font> profile backup.<br />Below is a backup summary:</p>",
            };
            Status.Max += TextLength(message.AddTextPart(
                "text/html", HtmlBody(intro, name, rows, {}, "This backup brought to you by:")));
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
        platform::DeleteFile(archive);
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
        const std::string name = RunProfile.Name;
        const std::string date = FormatDateTime("mmmm d, yyyy", summary.BeginTime);
        const std::string destination = RunProfile.DriveDestination.Path;
        std::vector<std::string> plain = {AppTitle + " Backup Notification",
                                          date,
                                          "",
                                          "This message contains a summary of backup profile '" + name + "'",
                                          "",
                                          "Below is the backup summary:",
                                          ""};
        std::string sourcesHtml;
        for (std::size_t i = 0; i < RunProfile.Sources.size(); ++i) {
            plain.push_back((i == 0 ? "Sources:" : "        ") + std::string("\t") + RunProfile.Sources[i]);
            sourcesHtml += Html(RunProfile.Sources[i]) + "<br />";
        }
        const std::string beginTime = FormatDateTime("mm/dd/yyyy hh:nn:ss ampm", summary.BeginTime);
        const std::string endTime = FormatDateTime("mm/dd/yyyy hh:nn:ss ampm", summary.EndTime);
        const std::vector<std::string> rest = {
            "Destination: \t" + destination,
            "Files:\t" + std::to_string(summary.FilesTotal),
            "Size:\t" + FormatFileSize("0", summary.BytesTotal),
            "Errors:\t" + std::to_string(summary.Errors),
            "Warnings:\t" + std::to_string(summary.Warnings),
            "Begin Time:\t" + beginTime,
            "End Time:\t" + endTime,
            "",
        };
        plain.insert(plain.end(), rest.begin(), rest.end());
        const auto footer = PlainFooter("This backup notification brought to you by: ");
        plain.insert(plain.end(), footer.begin(), footer.end());
        message.AddTextPart("text/plain", plain);

        struct stat st {};
        const bool attach =
            !logFile.empty() && ::stat(logFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
        const std::vector<std::string> rows = {
            SummaryRow("Sources:", sourcesHtml),
            SummaryRow("Destination:", Html(destination)),
            SummaryRow("Files:", std::to_string(summary.FilesTotal)),
            SummaryRow("Size:", Html(FormatFileSize("0", summary.BytesTotal))),
            SummaryRow("Errors:", Red(std::to_string(summary.Errors))),
            SummaryRow("Warnings:", Red(std::to_string(summary.Warnings))),
            SummaryRow("Begin Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.BeginTime))),
            SummaryRow("End Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.EndTime))),
        };
        const std::vector<std::string> intro = {
            "<p><b>" + Html(AppTitle) + " Backup Notification</b><br /><font color=\"#0066CC\">" +
                Html(date) + "</font></p>",
            "<p>This message contains a summary of backup profile <font color=\"blue\">" + Html(name) +
                "</font><br /><br />Below is the backup summary:</p>",
        };
        std::vector<std::string> closing;
        if (attach)
            closing.push_back("<p>A backup log has been attached to this message</p>");
        message.AddTextPart(
            "text/html", HtmlBody(intro, name, rows, closing, "This backup notification brought to you by:"));
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
            platform::DeleteFile(logFile);
    } catch (const std::exception& error) {
        LogError(engine_texts::EmailNotificationSource, std::string("ERROR: ") + error.what());
    }
}
