// Real mail servers on free loopback ports for tests, each stopped when the object goes: an SMTP server
// (aiosmtpd, AUTH LOGIN with one user) that keeps every message it receives, a POP3 server (dovecot, one
// user), a server that accepts connections and never says anything, and a port that refuses them.
#pragma once

#include "engine/net/mail_client.h"
#include "tests/support/temp_dir.h"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Time-outs of the mail clients that keep a test against a silent or refusing server short, yet wait
// out a slow refusal (dovecot takes about half a second to refuse a log-in).
TMailTimeouts ShortMailTimeouts();

// A child process; killed (with its process group when it leads one) and reaped by the destructor.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts Argv[0] (a full path). With NewGroup the child leads a process group of its own, so that
    // the grandchildren it starts go with it.
    void Start(const std::vector<std::string>& argv, bool newGroup, bool pipeStdio);
    // Reads one line of the child's standard output; empty when none came within the time-out.
    std::string ReadLine(int timeoutMs);
    bool Running();
    void Stop();

private:
    pid_t m_pid = -1;
    bool m_group = false;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_pending;
};

// A message as the SMTP test server received it, and as Python's standard mail parser reads it.
struct ReceivedMail {
    struct Leaf {
        std::string ContentType;
        std::string FileName;
        std::string Bytes; // decoded from its transfer encoding
    };
    std::string Content;         // the message as received: headers, blank line, body
    std::string Auth;            // the user the session logged in as; empty without AUTH
    std::string From;            // envelope sender
    std::vector<std::string> To; // envelope recipients, in order
    // The top-level headers in order, names as written, values decoded (encoded words, folding).
    std::vector<std::pair<std::string, std::string>> Headers;
    std::vector<std::string> Defects; // what the parser found wrong, anywhere in the message
    std::vector<std::string> Parts;   // every part in order: its depth, a blank, its content type
    std::vector<Leaf> Leaves;         // the parts that are not multipart, in order

    // The decoded value of the first header of that name (any letter case); empty when there is none.
    std::string Header(const std::string& name) const;
    // The raw header block, up to the blank line.
    std::string RawHeader() const;
};

class SmtpTestServer {
public:
    SmtpTestServer(const std::string& user = "tester", const std::string& password = "secret");

    int Port() const { return m_port; }
    // "127.0.0.1:<port>", as a host text of the settings.
    std::string Host() const;
    // The messages stored so far, in the order received (stored before the server accepts the data).
    std::vector<ReceivedMail> Messages() const;

private:
    TempDir m_dir;
    ChildProcess m_process;
    int m_port = 0;
};

class Pop3TestServer {
public:
    // Why the server cannot run here (dovecot needs root and /usr/sbin/dovecot); empty when it can.
    static std::string Unavailable();

    Pop3TestServer(const std::string& user = "tester", const std::string& password = "secret");

    int Port() const { return m_port; }
    std::string Host() const;
    // Puts a message into the user's mailbox.
    void AddMessage(const std::string& content);

private:
    bool TryStart(int port);

    TempDir m_dir;
    ChildProcess m_process;
    std::string m_user;
    int m_port = 0;
};

// Listens and never accepts: a client's connection is made (by the kernel) and then hears nothing.
class SilentTestServer {
public:
    SilentTestServer();
    ~SilentTestServer();
    SilentTestServer(const SilentTestServer&) = delete;
    SilentTestServer& operator=(const SilentTestServer&) = delete;
    std::string Host() const;

private:
    int m_socket = -1;
    int m_port = 0;
};

// A loopback port that is bound but not listening, so a connection is refused; held while the object
// lives, so no other test takes it meanwhile.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::string Host() const;

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace testing_support
