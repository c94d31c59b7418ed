// The e-mail destination and the run notification of a backup run, as real loopback servers receive them.
#include "tests/engine/backup_run_fixture.h"
#include "tests/engine/zip_test_util.h"
#include "tests/support/mail_servers.h"
#include "tests/support/tmpfs.h"

#include "engine/helpers.h"
#include "tests/support/seams.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>

using namespace backup_run_testing;
using namespace testing_support;
using namespace zip_testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class BackupMail : public BackupRun {
protected:
    static void SetUpTestSuite() { InitMailClients(); }

    // Mail settings for every run of the test, pointed at Host.
    void UseServer(const std::string& host, const std::string& password = "secret") {
        configure = [host, password](TBackupThread& t) {
            t.MailFrom = "backup@example.com";
            t.MailReplyTo = "ops@example.com";
            t.SMTPHost = host;
            t.SMTPUsername = "tester";
            t.SMTPPassword = password;
            t.MailTimeouts = ShortMailTimeouts();
        };
    }

    // A run with one good file and one missing folder source: one error entry.
    TBackupProfile NotifyingProfile(std::uint8_t logFlags, bool errorsOnly, bool withError = true) {
        WriteFile(src + "a.txt", "a");
        std::vector<std::string> sources = {src + "a.txt"};
        if (withError)
            sources.push_back(dir / "missing/*");
        TBackupProfile p = Profile("Nightly <Docs>", sources, dst);
        p.EmailNotification.Active = true;
        p.EmailNotification.To = {"Admin Person <admin@example.com>"};
        p.EmailNotification.BCC = {"hidden@example.com"};
        p.EmailNotifyLogFlags = logFlags;
        p.EmailNotifyErrorsOnly = errorsOnly;
        return p;
    }

    // A profile that mails its folder source src/ (two files) to one recipient.
    TBackupProfile MailingProfile(const std::string& name, const std::string& dest) {
        WriteFile(src + "a.txt", TextLike(20000));
        WriteFile(src + "sub/b.bin", RandomBytes(3000));
        TBackupProfile p = Profile(name, {src + "*"}, dest);
        p.BackupAttributes.DirectoryStructure = 2;
        p.EmailDestination.Active = true;
        p.EmailDestination.To = {"Backup Person <backup@example.com>"};
        return p;
    }

    // The one mail the server received, with its archive attached as the third part.
    const ReceivedMail::Leaf& Attachment(const std::vector<ReceivedMail>& mails) {
        static const ReceivedMail::Leaf none;
        EXPECT_EQ(mails.size(), 1u);
        if (mails.size() != 1 || mails[0].Leaves.size() != 3) {
            ADD_FAILURE() << "no attachment";
            return none;
        }
        return mails[0].Leaves[2];
    }

    // The archive as received, written to a file and read back.
    std::vector<std::string> ReceivedEntries(const ReceivedMail::Leaf& attachment) {
        const std::string path = dir / "received.zip";
        WriteFile(path, attachment.Bytes);
        EXPECT_EQ(RunCommand("unzip -tq " + Quote(path)).ExitCode, 0);
        EXPECT_EQ(ReadEntry(path, "a.txt"), TextLike(20000));
        return EntryNames(path);
    }

    bool TempFolderEmpty() {
        return !platform::DirectoryExists(dir / "home/Temp/") ||
               platform::ListDirectory(dir / "home/Temp/").Entries.empty();
    }

    static const ReceivedMail::Leaf* LeafOfType(const ReceivedMail& mail, const std::string& type) {
        for (const auto& leaf : mail.Leaves)
            if (leaf.ContentType.rfind(type, 0) == 0)
                return &leaf;
        return nullptr;
    }
};

} // namespace

TEST_F(BackupMail, BackupMailCarriesAnArchiveThatUnpacksToTheSources) {
    SmtpTestServer server;
    UseServer(server.Host());
    AppTitle = "Brimvale 2.0";
    RunResult run = Run(MailingProfile("Mailed", ""));
    const auto mails = server.Messages();
    const ReceivedMail::Leaf& attachment = Attachment(mails);
    EXPECT_EQ(mails[0].Header("Subject"), "Brimvale 2.0 Backup - Mailed");
    EXPECT_EQ(mails[0].To, std::vector<std::string>{"backup@example.com"});
    EXPECT_THAT(mails[0].Leaves[0].Bytes, HasSubstr("This message contains your 'Mailed' profile backup."));
    EXPECT_EQ(attachment.FileName, "Mailed.zip");
    EXPECT_EQ(ReceivedEntries(attachment), (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    EXPECT_EQ(run.summary.FilesCopied, 2);
    EXPECT_EQ(run.summary.CompressedBytes, static_cast<std::int64_t>(attachment.Bytes.size()));
    EXPECT_EQ(run.summary.Errors, 0) << run.logText;
    EXPECT_THAT(run.logText, HasSubstr("Backup Message Sent"));
    EXPECT_TRUE(TempFolderEmpty());
}

// The drive copy counts the files; the archive built for the mail afterwards adds only its size.
TEST_F(BackupMail, UncompressedDriveCopyMailsATemporaryArchiveCountedOnce) {
    SmtpTestServer server;
    UseServer(server.Host());
    const testing_support::ScopedClock clock(platform::EncodeDateTime({2004, 1, 2, 3, 4, 5}));
    TBackupProfile p = MailingProfile("Copied", dst);
    p.BackupAttributes.Generations = 3;
    RunResult run = Run(p);
    const auto mails = server.Messages();
    const ReceivedMail::Leaf& attachment = Attachment(mails);
    EXPECT_EQ(attachment.FileName, "Copied_01022004_030405.zip");
    EXPECT_EQ(ReceivedEntries(attachment), (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    EXPECT_EQ(Tree(dst), (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    EXPECT_EQ(run.summary.FilesTotal, 2);
    EXPECT_EQ(run.summary.FilesCopied, 2);
    EXPECT_EQ(run.summary.FilesSkipped, 0);
    EXPECT_EQ(run.summary.BytesProcessed, run.summary.BytesTotal);
    EXPECT_EQ(run.summary.CompressedBytes, static_cast<std::int64_t>(attachment.Bytes.size()));
    EXPECT_EQ(run.summary.Errors, 0) << run.logText;
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(BackupMail, CompressedDriveBackupMailsTheArchiveItWrote) {
    SmtpTestServer server;
    UseServer(server.Host());
    const testing_support::ScopedClock clock(platform::EncodeDateTime({2004, 1, 2, 3, 4, 5}));
    TBackupProfile p = MailingProfile("Zipped", dst);
    p.BackupAttributes.Compress = true;
    p.BackupAttributes.Generations = 3;
    RunResult run = Run(p);
    const auto mails = server.Messages();
    const ReceivedMail::Leaf& attachment = Attachment(mails);
    EXPECT_EQ(attachment.FileName, "Zipped_20040102_030405.zip");
    EXPECT_EQ(attachment.Bytes, ReadFile(dst + "Zipped_20040102_030405.zip"));
    EXPECT_EQ(ReceivedEntries(attachment), (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    EXPECT_EQ(run.summary.FilesCopied, 2);
    EXPECT_EQ(run.summary.CompressedBytes, static_cast<std::int64_t>(attachment.Bytes.size()));
    EXPECT_EQ(run.summary.Errors, 0) << run.logText;
}

// An archive the compression could not update is the last run's, or broken: it does not go out.
TEST_F(BackupMail, NoMailWithoutAnArchiveOfThisRun) {
    SmtpTestServer server;
    UseServer(server.Host());
    TBackupProfile p = MailingProfile("Stale", dst);
    p.BackupAttributes.Compress = true;
    WriteFile(dst + "Stale.zip", "not an archive");
    RunResult run = Run(p);
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_THAT(run.logText, HasSubstr("[Compression Error Code (519)]"));
    EXPECT_THAT(run.logText, HasSubstr("[Email] \r\n"));
    EXPECT_THAT(run.logText, HasSubstr("Backup archive unavailable - " + dst + "Stale.zip"));
    EXPECT_EQ(run.summary.Errors, 2);
    EXPECT_EQ(ReadFile(dst + "Stale.zip"), "not an archive");
}

// When the run cannot make its temporary folder there is no archive to mail, and nothing is deleted: the
// archive's bare name would stand for a file in the folder the program happens to run in.
TEST_F(BackupMail, WithoutATemporaryFolderNoFileElsewhereIsDeleted) {
    WriteFile(dir / "home/Temp", "a file where the temporary folder belongs");
    const std::string workDir = dir / "work/";
    WriteFile(workDir + "Mailer.zip", "the user's own archive");
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(workDir);
    RunResult run = Run(MailingProfile("Mailer", ""));
    std::filesystem::current_path(previous);
    EXPECT_EQ(ReadFile(workDir + "Mailer.zip"), "the user's own archive");
    EXPECT_THAT(run.logText, HasSubstr("Email - invalid temp file"));
    EXPECT_EQ(run.result.Failed, 0);
}

TEST_F(BackupMail, AbortDuringALargeSendStoresNoMessage) {
    SmtpTestServer server;
    UseServer(server.Host());
    TBackupProfile p = MailingProfile("Large", "");
    WriteFile(src + "big.bin", RandomBytes(16 << 20));
    bool abortedMidSend = false;
    RunResult run = Run(p, true, [&](TBackupThread& t) {
        if (t.Status.Action == "Sending email backup" && t.Status.Position > 0 &&
            t.Status.Position < t.Status.Max && !t.Terminated()) {
            abortedMidSend = true;
            t.Terminate();
        }
    });
    ASSERT_TRUE(abortedMidSend);
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_THAT(run.logText, HasSubstr("[Email] \r\n"));
    EXPECT_THAT(run.logText, Not(HasSubstr("Backup Message Sent")));
    EXPECT_EQ(run.summary.Errors, 1) << run.logText;
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(BackupMail, RefusedConnectionNamesTheHostAndUser) {
    RefusingPort refusing;
    UseServer(refusing.Host());
    RunResult run = Run(MailingProfile("Refused", ""));
    EXPECT_EQ(run.result.Failed, 0);
    EXPECT_THAT(run.logText, HasSubstr("[Email] \r\n"));
    EXPECT_THAT(run.logText, HasSubstr(" (Host: " + refusing.Host() + "; UserID: tester)"));
    EXPECT_EQ(run.summary.Errors, 1);
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(BackupMail, NotificationOfARunWithErrorsCarriesItsLog) {
    SmtpTestServer server;
    UseServer(server.Host());
    AppTitle = "Brimvale 2.0";
    RunResult run = Run(NotifyingProfile(1, false));
    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u) << run.logText;
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.Header("Subject"), "Brimvale 2.0 Backup Notification - Nightly <Docs>");
    EXPECT_EQ(mail.Header("To"), "Admin Person <admin@example.com>");
    EXPECT_EQ(mail.Header("Bcc"), "");
    EXPECT_EQ(mail.To, (std::vector<std::string>{"admin@example.com", "hidden@example.com"}));
    ASSERT_EQ(mail.Leaves.size(), 3u);
    const std::string plain = mail.Leaves[0].Bytes;
    EXPECT_THAT(plain, HasSubstr("This message contains a summary of backup profile 'Nightly <Docs>'\r\n"));
    EXPECT_THAT(plain, HasSubstr("Sources:\t" + src + "a.txt\r\n        \t" + dir / "missing/*\r\n"));
    EXPECT_THAT(plain, HasSubstr("Destination: \t" + dst + "\r\n"));
    EXPECT_THAT(plain, HasSubstr("Errors:\t1\r\n"));
    const std::string html = mail.Leaves[1].Bytes;
    EXPECT_THAT(html, HasSubstr("Nightly &lt;Docs&gt;"));
    EXPECT_THAT(html, Not(HasSubstr("Nightly <Docs>")));
    EXPECT_THAT(html, HasSubstr("A backup log has been attached to this message"));
    // The attached log holds the error entries only.
    EXPECT_THAT(mail.Leaves[2].Bytes, HasSubstr("[FileSystemList->Open operation]"));
    EXPECT_THAT(mail.Leaves[2].Bytes, Not(HasSubstr("File Copied")));
    EXPECT_THAT(mail.Leaves[2].Bytes, Not(HasSubstr("SUMMARY:")));
    EXPECT_THAT(run.logText, HasSubstr("Notification Message Sent"));
    EXPECT_TRUE(platform::ListDirectory(dir / "home/Temp/").Entries.empty());
}

TEST_F(BackupMail, NotificationRulesForLogsAndErrors) {
    SmtpTestServer server;
    UseServer(server.Host());
    // No log flags: nothing attached, no attachment sentence.
    Run(NotifyingProfile(0, false));
    // Errors only, and the run had none: no message at all.
    Run(NotifyingProfile(7, true, false));
    // Errors-only log of a run without errors: the log is empty, so nothing is attached.
    Run(NotifyingProfile(1, false, false));
    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 2u);
    for (const auto& mail : mails) {
        EXPECT_EQ(mail.Leaves.size(), 2u);
        ASSERT_NE(LeafOfType(mail, "text/html"), nullptr);
        EXPECT_THAT(LeafOfType(mail, "text/html")->Bytes, Not(HasSubstr("A backup log has been attached")));
    }
}

TEST_F(BackupMail, NotificationFailuresAreRunLogEntries) {
    SmtpTestServer server;
    UseServer(server.Host(), "wrong");
    RunResult wrongPassword = Run(NotifyingProfile(0, false, false));
    EXPECT_THAT(wrongPassword.logText, HasSubstr("[Email Notification] \r\n"));
    EXPECT_THAT(wrongPassword.logText, HasSubstr("ERROR: Login denied: 535"));
    EXPECT_EQ(wrongPassword.summary.Errors, 1);

    RefusingPort refusing;
    UseServer(refusing.Host());
    RunResult refused = Run(NotifyingProfile(0, false, false));
    EXPECT_THAT(refused.logText, HasSubstr("[Email Notification] \r\n"));
    EXPECT_EQ(refused.result.Failed, 0);

    SilentTestServer silent;
    UseServer(silent.Host());
    const auto start = std::chrono::steady_clock::now();
    RunResult timedOut = Run(NotifyingProfile(0, false, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_THAT(timedOut.logText, HasSubstr("[Email Notification] \r\n"));
    EXPECT_TRUE(platform::ListDirectory(dir / "home/Temp/").Entries.empty());
}

// A temporary folder that cannot be written takes the notification's log, not the backup or the notification.
TEST_F(BackupMail, UnwritableTemporaryFolderStillBacksUpAndNotifies) {
    SmtpTestServer server;
    UseServer(server.Host());
    const std::string temp = dir / "readonly-temp/";
    ScopedTmpfs readOnly(temp, "1m", true);
    if (!readOnly.Mounted()) {
        // Without root a folder without write permission does the same.
        (void)platform::ForceDirectories(temp);
        ::chmod(temp.c_str(), 0555);
    }
    const auto mailSettings = configure;
    configure = [&](TBackupThread& t) {
        mailSettings(t);
        t.SetTempFolder(temp);
    };
    RunResult run = Run(NotifyingProfile(7, false, false));
    ::chmod(temp.c_str(), 0755);
    EXPECT_EQ(run.result.Failed, 0) << run.result.Message;
    EXPECT_EQ(run.summary.FilesCopied, 1);
    EXPECT_THAT(run.logText, HasSubstr("[Email Notification] \r\n"));
    EXPECT_THAT(run.logText, HasSubstr("Notification log unavailable - "));
    EXPECT_EQ(run.summary.Errors, 1);
    const auto mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u) << run.logText;
    EXPECT_EQ(mails[0].Leaves.size(), 2u); // sent without its log
    EXPECT_THAT(mails[0].Leaves[0].Bytes, HasSubstr("Errors:\t1\r\n"));
}

TEST_F(BackupMail, AbortedRunSendsNoNotification) {
    SmtpTestServer server;
    UseServer(server.Host());
    Run(NotifyingProfile(7, false), true, [](TBackupThread& t) { t.Terminate(); });
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(BackupMail, Pop3LogInBeforeSendingAndAFailedOne) {
    if (const std::string why = Pop3TestServer::Unavailable(); !why.empty())
        GTEST_SKIP() << why;
    Pop3TestServer pop3;
    SmtpTestServer smtp;
    for (const std::string password : {"secret", "wrong"}) {
        UseServer(smtp.Host());
        auto smtpSettings = configure;
        configure = [&, smtpSettings, password](TBackupThread& t) {
            smtpSettings(t);
            t.POP3Host = pop3.Host();
            t.POP3Username = "tester";
            t.POP3Password = password;
        };
        RunResult run = Run(NotifyingProfile(0, false, false));
        if (password == "secret")
            EXPECT_EQ(run.summary.Errors, 0) << run.logText;
        else
            EXPECT_THAT(run.logText, HasSubstr("ERROR: Login denied: -ERR"));
    }
    EXPECT_EQ(smtp.Messages().size(), 1u);
}
