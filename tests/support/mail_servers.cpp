// Test mail servers: child processes for aiosmtpd and dovecot, and two bare sockets.
#include "tests/support/mail_servers.h"

#include "platform/file_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

// A TCP socket bound to 127.0.0.1 on a port the system chose.
int BindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int FreePort() {
    int port = 0;
    ::close(BindLoopback(port));
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string Loopback(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

ChildProcess::~ChildProcess() {
    Stop();
}

void ChildProcess::Start(const std::vector<std::string>& argv, bool newGroup, bool pipeStdio) {
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipeStdio) {
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (newGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int result = ::posix_spawn(&m_pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pipeStdio) {
        ::close(input[0]);
        ::close(output[1]);
        m_stdin = input[1];
        m_stdout = output[0];
    }
    if (result != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + argv[0]);
    }
    m_group = newGroup;
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pending.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiting{m_stdout, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[256];
        const ssize_t n = ::read(m_stdout, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        m_pending.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t end = m_pending.find('\n');
    std::string line = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    return line;
}

bool ChildProcess::Running() {
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void ChildProcess::Stop() {
    if (m_pid > 0) {
        // Killed at once: these servers keep nothing worth a clean shut-down (dovecot's takes 3 s).
        ::kill(m_group ? -m_pid : m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_stdin >= 0)
        ::close(m_stdin);
    if (m_stdout >= 0)
        ::close(m_stdout);
    m_stdin = m_stdout = -1;
}

SmtpTestServer::SmtpTestServer(const std::string& user, const std::string& password) {
    (void)platform::ForceDirectories(m_dir / "mail");
    m_process.Start(
        {"/usr/bin/python3", "-W", "ignore", BRIMVALE_SMTP_SERVER_SCRIPT, m_dir / "mail", user, password},
        false, true);
    const std::string line = m_process.ReadLine(20000);
    if (line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the SMTP test server did not start (python3-aiosmtpd missing?)");
    m_port = std::stoi(line.substr(5));
}

TMailTimeouts ShortMailTimeouts() {
    TMailTimeouts timeouts;
    timeouts.Connect = std::chrono::seconds(3);
    timeouts.Response = std::chrono::seconds(2);
    timeouts.LowSpeedTime = std::chrono::seconds(2);
    return timeouts;
}

std::string SmtpTestServer::Host() const {
    return Loopback(m_port);
}

std::vector<ReceivedMail> SmtpTestServer::Messages() const {
    std::vector<ReceivedMail> messages;
    for (int number = 1;; ++number) {
        const std::string base = m_dir / ("mail/" + std::to_string(number));
        if (!platform::FileExists(base + ".envelope"))
            break;
        ReceivedMail mail;
        mail.Content = ReadFile(base + ".eml");
        for (const std::string& line : SplitLines(ReadFile(base + ".envelope"))) {
            if (line.rfind("AUTH ", 0) == 0)
                mail.Auth = line.substr(5);
            else if (line.rfind("FROM ", 0) == 0)
                mail.From = line.substr(5);
            else if (line.rfind("TO ", 0) == 0)
                mail.To.push_back(line.substr(3));
        }
        for (const std::string& line : SplitLines(ReadFile(base + ".parsed"))) {
            const std::size_t tab = line.find('\t');
            if (line.rfind("HEADER ", 0) == 0 && tab != std::string::npos)
                mail.Headers.emplace_back(line.substr(7, tab - 7), line.substr(tab + 1));
            else if (line.rfind("DEFECT ", 0) == 0)
                mail.Defects.push_back(line.substr(7));
            else if (line.rfind("PART ", 0) == 0)
                mail.Parts.push_back(line.substr(5));
            else if (line.rfind("LEAF ", 0) == 0 && tab != std::string::npos) {
                const std::size_t blank = line.find(' ', 5);
                const std::string leaf = line.substr(5, blank - 5);
                mail.Leaves.push_back({line.substr(blank + 1, tab - blank - 1), line.substr(tab + 1),
                                       ReadFile(base + ".leaf" + leaf)});
            }
        }
        messages.push_back(std::move(mail));
    }
    return messages;
}

std::string ReceivedMail::Header(const std::string& name) const {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const auto& [key, value] : Headers)
        if (lower(key) == lower(name))
            return value;
    return {};
}

std::string ReceivedMail::RawHeader() const {
    const std::size_t end = Content.find("\r\n\r\n");
    return end == std::string::npos ? Content : Content.substr(0, end + 2);
}

std::string Pop3TestServer::Unavailable() {
    if (::geteuid() != 0)
        return "the POP3 test server (dovecot) runs only as root";
    if (!platform::FileExists("/usr/sbin/dovecot"))
        return "dovecot-pop3d is not installed";
    return {};
}

Pop3TestServer::Pop3TestServer(const std::string& user, const std::string& password) : m_user(user) {
    // The mail processes run as nobody: the mailbox must be reachable for them.
    ::chmod(m_dir.Path().c_str(), 0755);
    (void)platform::ForceDirectories(m_dir / ("mail/" + user + "/new"));
    (void)platform::ForceDirectories(m_dir / "run");
    (void)platform::ForceDirectories(m_dir / "state");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir / "mail"))
        ::chmod(entry.path().c_str(), 0777);
    ::chmod((m_dir / "mail").c_str(), 0777);
    WriteFile(m_dir / "passwd", user + ":{PLAIN}" + password + "\n");
    // Another process may take a port between our probe and dovecot's bind: then try another.
    for (int attempt = 0; attempt < 10; ++attempt)
        if (TryStart(FreePort()))
            return;
    throw std::runtime_error("the POP3 test server did not start; see " + (m_dir / "dovecot.log"));
}

// The settings that keep dovecot apart from the system's and quick: its own folders and log, plain-text
// log-in on loopback, one user from a file, POP3 only. Failed log-ins would otherwise slow every later
// log-in from the same address.
constexpr const char* DovecotConfig = R"(base_dir = @DIR@run
state_dir = @DIR@state
log_path = @DIR@dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
login_trusted_networks = 127.0.0.0/8
mail_location = maildir:@DIR@mail/%u
first_valid_uid = 1
passdb {
  driver = passwd-file
  args = scheme=PLAIN @DIR@passwd
}
userdb {
  driver = static
  args = uid=65534 gid=65534 home=@DIR@mail/%u
}
service pop3-login {
  inet_listener pop3 {
    port = @PORT@
  }
  inet_listener pop3s {
    port = 0
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
)";

bool Pop3TestServer::TryStart(int port) {
    std::string config = DovecotConfig;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"@DIR@", m_dir.Path()},
                                     std::pair<std::string, std::string>{"@PORT@", std::to_string(port)}})
        for (std::size_t at; (at = config.find(key)) != std::string::npos;)
            config.replace(at, key.size(), value);
    WriteFile(m_dir / "dovecot.conf", config);
    m_process.Stop();
    m_process.Start({"/usr/sbin/dovecot", "-F", "-c", m_dir / "dovecot.conf"}, true, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!m_process.Running())
            return false;
        if (Accepts(port)) {
            m_port = port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string Pop3TestServer::Host() const {
    return Loopback(m_port);
}

void Pop3TestServer::AddMessage(const std::string& content) {
    static std::atomic<int> counter{0};
    const std::string name = m_dir / ("mail/" + m_user + "/new/" + std::to_string(++counter) + ".test");
    WriteFile(name, content);
    ::chmod(name.c_str(), 0666);
}

SilentTestServer::SilentTestServer() {
    m_socket = BindLoopback(m_port);
    ::listen(m_socket, 16);
}

SilentTestServer::~SilentTestServer() {
    ::close(m_socket);
}

std::string SilentTestServer::Host() const {
    return Loopback(m_port);
}

RefusingPort::RefusingPort() {
    m_socket = BindLoopback(m_port);
}

RefusingPort::~RefusingPort() {
    ::close(m_socket);
}

std::string RefusingPort::Host() const {
    return Loopback(m_port);
}

} // namespace testing_support
