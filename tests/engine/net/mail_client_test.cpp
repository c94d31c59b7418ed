// The mail clients against real servers on loopback: what the SMTP server received, log-in and its
// failures, time-outs and aborts, and the POP3 log-in.
#include "engine/exception.h"
#include "engine/net/mail_client.h"
#include "engine/net/mime_message.h"
#include "engine/net/pop3_client.h"
#include "engine/net/smtp_client.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

using namespace testing_support;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

using Clock = std::chrono::steady_clock;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xff);
    return bytes;
}

// What the program's messages carry: text, HTML and an attachment.
TMimeMessage SampleMessage(const std::string& attachment) {
    TMimeMessage message;
    message.From.Address = "backup@example.com";
    message.ReplyTo = ParseMailAddressList("\"Doe, Jane\" <jane@example.com>, ops@example.com");
    message.MsgId = "20250102030405.1234brimvale.message..5678";
    message.Subject = "Brimvale 2.0 Backup - Home";
    message.To = {ParseMailAddress("Joe Bloggs <joe@example.com>"), ParseMailAddress("ann@example.com")};
    message.CC = {ParseMailAddress("cc@example.com")};
    message.BCC = {ParseMailAddress("Hidden Person <hidden@example.com>")};
    message.AddTextPart("text/plain", {"Files:\t3", ".a line with a leading dot",
                                       "Gr\xc3\xb6\xc3\x9f"
                                       "e: 5 MB"});
    message.AddTextPart("text/html",
                        {"<html>", "<body><b>Home</b> " + std::string(300, 'x') + "</body>", "</html>"});
    message.AddAttachment(attachment);
    return message;
}

class MailClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitMailClients(); }

    template <class Client> void Configure(Client& client, const std::string& host) {
        client.Host = host;
        client.Username = "tester";
        client.Password = "secret";
        client.Timeouts = ShortMailTimeouts();
    }

    TempDir m_dir;
};

TEST_F(MailClientTest, SendsTextHtmlAndAttachmentAsTheServerReceivesThem) {
    SmtpTestServer server;
    const std::string archive = m_dir / "Home.zip";
    const std::string bytes = RandomBytes(200000, 7);
    WriteFile(archive, bytes);
    TMimeMessage message = SampleMessage(archive);

    TSmtpClient client;
    Configure(client, server.Host());
    std::vector<std::int64_t> sent;
    client.OnWork = [&](TMailClient& sender, TWorkMode mode, std::int64_t count) {
        EXPECT_EQ(&sender, &client);
        EXPECT_EQ(mode, TWorkMode::Write);
        sent.push_back(count);
    };
    client.Connect();
    EXPECT_TRUE(client.Connected());
    client.Send(message);
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    EXPECT_FALSE(client.Connected());

    const std::vector<ReceivedMail> mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.Auth, "tester");
    EXPECT_EQ(mail.From, "backup@example.com");
    EXPECT_THAT(mail.To,
                ElementsAre("joe@example.com", "ann@example.com", "cc@example.com", "hidden@example.com"));
    EXPECT_TRUE(mail.Defects.empty()) << ::testing::PrintToString(mail.Defects);

    EXPECT_EQ(mail.Header("From"), "backup@example.com");
    EXPECT_EQ(mail.Header("Reply-To"), "\"Doe, Jane\" <jane@example.com>, ops@example.com");
    EXPECT_EQ(mail.Header("To"), "Joe Bloggs <joe@example.com>, ann@example.com");
    EXPECT_EQ(mail.Header("Cc"), "cc@example.com");
    EXPECT_EQ(mail.Header("Subject"), "Brimvale 2.0 Backup - Home");
    EXPECT_EQ(mail.Header("Message-ID"), "<20250102030405.1234brimvale.message.5678@example.com>");
    EXPECT_EQ(mail.Header("Date"), MailDate(message.Date));
    EXPECT_THAT(mail.Content, ::testing::Not(HasSubstr("hidden")));

    EXPECT_THAT(mail.Parts, ElementsAre("0 multipart/mixed", "1 multipart/alternative", "2 text/plain",
                                        "2 text/html", "1 application/zip"));
    ASSERT_EQ(mail.Leaves.size(), 3u);
    EXPECT_EQ(mail.Leaves[0].Bytes, message.TextParts[0].Text());
    EXPECT_EQ(mail.Leaves[1].Bytes, message.TextParts[1].Text());
    EXPECT_EQ(mail.Leaves[2].FileName, "Home.zip");
    EXPECT_TRUE(mail.Leaves[2].Bytes == bytes) << "the attachment's bytes differ";

    // The header text is the header as sent, but for libcurl's boundary.
    std::string header = mail.RawHeader();
    const std::size_t boundary = header.find("boundary=") + 9;
    header.replace(boundary, 40, std::string(40, '-'));
    EXPECT_EQ(header, message.HeaderText());

    // Progress counts the bytes of the message going out.
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(std::is_sorted(sent.begin(), sent.end()));
    EXPECT_GE(sent.back(), static_cast<std::int64_t>(bytes.size() * 4 / 3));
}

TEST_F(MailClientTest, TextThatIsNotAsciiOrHoldsLineBreaksIsEncodedInTheHeaders) {
    SmtpTestServer server;
    const std::string name = "B\xc3\xbcro Sicherung.zip";
    WriteFile(m_dir / name, "PK");
    TMimeMessage message;
    message.From = ParseMailAddress("backup@example.com");
    // Long enough for several encoded words on folded lines.
    const std::string subject =
        "Sicherung \xe2\x80\x93 B\xc3\xbcro " + std::string(60, 'x') + " \xe2\x9c\x93";
    message.Subject = subject + "\r\nBcc: injected@example.com";
    message.To = {ParseMailAddress("J\xc3\xbcrgen Gro\xc3\x9f <jg@example.com>"),
                  ParseMailAddress("\"Bloggs, Joe\" <joe@example.com>")};
    // Filled by hand, not parsed: still no line break reaches the protocol.
    message.BCC = {{"", "bcc@example.com\r\nRSET"}};
    message.AddTextPart("text/plain", {"x"});
    message.AddAttachment(m_dir / name);

    TSmtpClient client;
    Configure(client, server.Host());
    client.Send(message);

    const std::vector<ReceivedMail> mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_TRUE(mail.Defects.empty()) << ::testing::PrintToString(mail.Defects);
    EXPECT_EQ(mail.Header("Subject"), subject + "  Bcc: injected@example.com");
    EXPECT_EQ(mail.Header("Bcc"), "");
    EXPECT_EQ(mail.Header("To"),
              "J\xc3\xbcrgen Gro\xc3\x9f <jg@example.com>, \"Bloggs, Joe\" <joe@example.com>");
    EXPECT_THAT(mail.To, ElementsAre("jg@example.com", "joe@example.com", "bcc@example.comRSET"));
    ASSERT_EQ(mail.Leaves.size(), 2u);
    EXPECT_EQ(mail.Leaves[1].FileName, name);
    // Only ASCII on the wire, and no header line longer than the mail standards recommend.
    const std::string raw = mail.RawHeader();
    EXPECT_TRUE(
        std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    for (std::size_t start = 0, end; (end = raw.find("\r\n", start)) != std::string::npos; start = end + 2) {
        if (raw.compare(start, 13, "Content-Type:") != 0) { // libcurl's own
            EXPECT_LE(end - start, 78u) << raw.substr(start, end - start);
        }
    }
}

TEST_F(MailClientTest, AddressTextsGiveTheBareAddressAndTheDisplayName) {
    struct Case {
        const char* text;
        const char* name;
        const char* address;
    };
    const Case cases[] = {
        {"joe@example.com", "", "joe@example.com"},
        {"  Joe Bloggs <joe@example.com> ", "Joe Bloggs", "joe@example.com"},
        {"\"Bloggs, Joe\" <joe@example.com>", "Bloggs, Joe", "joe@example.com"},
        {"<joe@example.com>", "", "joe@example.com"},
        // Nothing that could end the protocol's command line or add a second address survives.
        {"joe@example.com>\r\nRCPT TO:<evil@example.com", "", "joe@example.comRCPTTO:evil@example.com"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TMailAddress item = ParseMailAddress(c.text);
        EXPECT_EQ(item.Name, c.name);
        EXPECT_EQ(item.Address, c.address);
    }
    const std::vector<TMailAddress> list =
        ParseMailAddressList("a@example.com, \"Doe, Jane\" <jane@example.com>,, <odd,one@example.com>");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Address, "a@example.com");
    EXPECT_EQ(list[1].Name, "Doe, Jane");
    EXPECT_EQ(list[2].Address, "odd,one@example.com");
}

TEST_F(MailClientTest, AnEmptyUserNameSendsWithoutAuthentication) {
    SmtpTestServer server;
    TSmtpClient client;
    Configure(client, server.Host());
    client.Username = "";
    client.Connect();
    TMimeMessage message;
    message.From.Address = "backup@example.com";
    message.To = {ParseMailAddress("joe@example.com")};
    message.AddTextPart("text/plain", {"relayed"});
    client.Send(message);

    const std::vector<ReceivedMail> mails = server.Messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Auth, "");
    EXPECT_EQ(mails[0].Leaves.at(0).Bytes, "relayed\r\n");
}

TEST_F(MailClientTest, AMessageWithoutRecipientsIsRefusedBeforeConnecting) {
    RefusingPort port;
    TSmtpClient client;
    Configure(client, port.Host());
    TMimeMessage message;
    message.From.Address = "backup@example.com";
    message.To = {ParseMailAddress(" ")};
    try {
        client.Send(message);
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "No recipients specified");
    }
}

TEST_F(MailClientTest, ConnectFailuresRaiseLibcurlsTextQuickly) {
    SmtpTestServer server;
    SilentTestServer silent;
    RefusingPort refusing;
    struct Case {
        const char* what;
        std::string host;
        std::string password;
        std::string message;
    };
    const Case cases[] = {
        {"wrong password", server.Host(), "wrong",
         "Login denied: 535 5.7.8 Authentication credentials invalid"},
        {"refused", refusing.Host(), "secret", "Failed to connect to 127.0.0.1 port "},
        {"silent server", silent.Host(), "secret", "Operation timed out after "},
        {"bad port", "127.0.0.1:99999", "secret", "Port number was not a decimal number between 0 and 65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSmtpClient client;
        Configure(client, c.host);
        client.Password = c.password;
        client.Timeouts.Connect = std::chrono::milliseconds(700);
        const auto start = Clock::now();
        try {
            client.Connect();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_THAT(error.what(), StartsWith(c.message));
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        EXPECT_FALSE(client.Connected());
    }
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(MailClientTest, AnAbortEndsTheWaitForAGreetingOfEitherClient) {
    SilentTestServer silent;
    TSmtpClient smtp;
    TPop3Client pop3;
    for (TMailClient* client : std::initializer_list<TMailClient*>{&smtp, &pop3}) {
        client->Host = silent.Host();
        client->Timeouts.Connect = std::chrono::seconds(60);
        const auto start = Clock::now();
        client->AbortRequested = [&] { return Clock::now() - start > std::chrono::milliseconds(300); };
        try {
            if (client == &smtp)
                smtp.Connect();
            else
                pop3.Connect();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), "Callback aborted");
        }
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        EXPECT_FALSE(client->Connected());
    }
}

TEST_F(MailClientTest, ClosingTheSocketFromTheWorkEventEndsALargeSend) {
    SmtpTestServer server;
    const std::string archive = m_dir / "large.zip";
    WriteFile(archive, RandomBytes(20 * 1024 * 1024, 3));
    TMimeMessage message = SampleMessage(archive);

    TSmtpClient client;
    Configure(client, server.Host());
    std::int64_t lastCount = 0;
    client.OnWork = [&](TMailClient& sender, TWorkMode, std::int64_t count) {
        lastCount = count;
        if (count > 1024 * 1024)
            sender.DisconnectSocket();
    };
    client.Connect();
    const auto start = Clock::now();
    try {
        client.Send(message);
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Callback aborted");
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_LT(lastCount, 4 * 1024 * 1024);
    EXPECT_FALSE(client.Connected());
    client.Disconnect();
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(MailClientTest, AnExceptionOfTheWorkEventReachesTheCaller) {
    SmtpTestServer server;
    WriteFile(m_dir / "a.zip", RandomBytes(1000, 1));
    TSmtpClient client;
    Configure(client, server.Host());
    client.OnWork = [](TMailClient&, TWorkMode, std::int64_t) { throw std::logic_error("status failed"); };
    EXPECT_THROW(
        {
            try {
                client.Send(SampleMessage(m_dir / "a.zip"));
            } catch (const std::logic_error& error) {
                EXPECT_STREQ(error.what(), "status failed");
                throw;
            }
        },
        std::logic_error);
    EXPECT_FALSE(client.Connected());
}

class Pop3ClientTest : public MailClientTest {
protected:
    void SetUp() override {
        if (const std::string why = Pop3TestServer::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
    }
};

TEST_F(Pop3ClientTest, LogsInAndReadsTheMailboxStatusBeforeSending) {
    Pop3TestServer pop3Server;
    pop3Server.AddMessage("Subject: waiting\r\n\r\nold mail\r\n");
    TPop3Client pop3;
    Configure(pop3, pop3Server.Host());
    pop3.Connect();
    ASSERT_TRUE(pop3.Connected());
    const TMailboxStatus status = pop3.MailboxStatus();
    EXPECT_EQ(status.MessageCount, 1);
    EXPECT_EQ(status.Size, 30);
    pop3.Disconnect();
    EXPECT_FALSE(pop3.Connected());

    SmtpTestServer smtpServer;
    TSmtpClient smtp;
    Configure(smtp, smtpServer.Host());
    TMimeMessage message;
    message.From.Address = "backup@example.com";
    message.To = {ParseMailAddress("joe@example.com")};
    message.AddTextPart("text/plain", {"after POP3"});
    smtp.Connect();
    smtp.Send(message);
    smtp.Disconnect();
    EXPECT_EQ(smtpServer.Messages().size(), 1u);
}

TEST_F(Pop3ClientTest, AWrongPasswordRaisesTheServersReply) {
    Pop3TestServer server;
    TPop3Client pop3;
    Configure(pop3, server.Host());
    pop3.Password = "wrong";
    try {
        pop3.Connect();
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Login denied: -ERR [AUTH] Authentication failed.");
    }
    EXPECT_FALSE(pop3.Connected());
}

} // namespace
