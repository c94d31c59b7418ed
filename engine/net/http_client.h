// THttpClient: an HTTP GET over libcurl, into a text of bounded size or into a file.
//
// Only http and https addresses are fetched, redirects are not followed, and only an answer with a
// 2xx status counts: any other status fails with the server's status line ("HTTP/1.1 404 Not Found").
// Failures raise the engine's Exception with a text fit for the user.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct THttpTimeouts {
    // To reach the server and set up the connection.
    std::chrono::milliseconds Connect{15000};
    // For the whole request; zero for none.
    std::chrono::milliseconds Total{0};
    // A transfer that moves fewer than LowSpeedBytes per second for LowSpeedTime is ended.
    std::int64_t LowSpeedBytes = 1;
    std::chrono::seconds LowSpeedTime{60};
};

class THttpClient {
public:
    THttpClient() = default;

    THttpTimeouts Timeouts;

    // Raised on the client's thread whenever body bytes have arrived: the announced length of the body
    // (-1 when the server announced none) and the bytes received so far.
    std::function<void(std::int64_t total, std::int64_t received)> OnWork;
    // Asked about once a second while the request waits, and whenever bytes arrive: true ends the
    // request, which then fails. It runs on the client's thread and must be quick.
    std::function<bool()> AbortRequested;

    // The body of a GET of Url. Fails when it would grow beyond MaxBytes.
    std::string Get(const std::string& url, std::size_t maxBytes);
    // GETs Url into the file FileName. The body goes to a temporary file beside it, which replaces
    // FileName only once the whole body has arrived with a 2xx status; on failure the temporary file is
    // removed and FileName is left as it was.
    void GetFile(const std::string& url, const std::string& fileName);

    // The last request was ended through AbortRequested.
    bool Aborted() const { return m_aborted; }

private:
    using TSink = std::function<bool(const char* data, std::size_t size)>;
    // Runs the GET, handing the body to Sink; false from Sink fails the request as a write error.
    void Perform(const std::string& url, const TSink& sink);

    bool m_aborted = false;
};

// True for an address that THttpClient may fetch: it begins with "http://" or "https://" (letter case
// ignored) and names a host.
bool IsHttpAddress(const std::string& url);
