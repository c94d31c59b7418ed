// What the SMTP and POP3 clients share: libcurl's one-time set-up, time-outs, the work event, aborting,
// and one connection per client that is kept from one command to the next.
//
// The clients are a thin layer over libcurl, which speaks the protocols. Each client owns one libcurl
// handle; its connection stays open after a command, so Connect's greeting and log-in and the commands
// after it travel on one session, and Disconnect ends that session with QUIT. A command that finds the
// connection gone (the server closed it meanwhile) opens a new one and logs in again.
//
// Failures raise the engine's Exception with libcurl's error text; when the server refused something,
// its reply follows (": 535 5.7.8 Authentication credentials invalid"). After a failure the client is
// not connected.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Sets up libcurl for the whole process. Call once on the main thread before any client exists
// (the program at start, each test program before its first mail test); later calls do nothing.
// Raises Exception when libcurl cannot be set up.
void InitMailClients();

struct TMailTimeouts {
    // To reach the server, read its greeting and log in (the whole of Connect).
    std::chrono::milliseconds Connect{30000};
    // For each later reply of the server, the one after the message's last byte included.
    std::chrono::seconds Response{120};
    // A send that moves fewer than LowSpeedBytes per second for LowSpeedTime is ended. libcurl also
    // applies it while it waits for the reply to the message's last byte, so it is no shorter than
    // Response.
    std::int64_t LowSpeedBytes = 1;
    std::chrono::seconds LowSpeedTime{120};
};

enum class TWorkMode { Read, Write };

class TMailClient {
public:
    virtual ~TMailClient();
    TMailClient(const TMailClient&) = delete;
    TMailClient& operator=(const TMailClient&) = delete;

    // "host" or "host:port" ("[::1]:2525" for an IPv6 address); without a port the protocol's standard one.
    std::string Host;
    std::string Username;
    std::string Password;
    TMailTimeouts Timeouts;

    // Raised on the client's thread whenever bytes have moved: Write with the bytes sent so far by the
    // current command (a Send: of the message), Read with the bytes received. It may call DisconnectSocket.
    std::function<void(TMailClient& sender, TWorkMode mode, std::int64_t count)> OnWork;
    // Asked about once a second while a command waits, and at every step of a transfer, in every phase
    // (name look-up, connecting, greeting, log-in, sending, the server's last reply): true ends the
    // command as DisconnectSocket does. It runs on the client's thread and must be quick.
    std::function<bool()> AbortRequested;

    // A session is open: the last command went through and no Disconnect or abort came since.
    bool Connected() const;
    // Ends the session with QUIT and closes the connection, waiting for the server's answer at most the
    // Response time-out (without QUIT at once when AbortRequested says so). Never raises; nothing
    // happens when not connected. The destructor does the same.
    void Disconnect();
    // Closes the connection at once, without QUIT: a command running now fails with libcurl's
    // "Callback aborted", and so does every later command of this client. Meant for the work event
    // and AbortRequested of the client's own thread; outside a command it closes the socket itself.
    void DisconnectSocket();

protected:
    TMailClient(const char* scheme, int defaultPort);

    // The libcurl handle and what the callbacks need; defined in mail_curl.h.
    struct TSession;
    // The session's handle, created on first use with the settings every command shares.
    TSession& Session();
    bool HasSession() const { return m_session != nullptr; }
    // Runs one command on the session: raises Exception on failure (the session is then closed).
    void Perform();
    // The path of the session's URL.
    virtual std::string UrlPath() const { return "/"; }
    // Protocol options, set once when a session's handle is made, after the shared ones.
    virtual void ConfigureSession(TSession& session) = 0;

private:
    friend struct TSessionCallbacks;
    void Close(bool quit);

    const char* m_scheme;
    int m_defaultPort;
    std::unique_ptr<TSession> m_session;
    bool m_connected = false;
    bool m_performing = false;
    std::atomic<bool> m_aborted{false};
};
