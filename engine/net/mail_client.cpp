// The mail clients' shared session over libcurl: settings, callbacks, error texts, closing.
#include "engine/net/mail_client.h"

#include "engine/exception.h"
#include "engine/net/mail_curl.h"
#include "engine/text.h"

#include <sys/socket.h>

#include <mutex>

namespace {

std::string TrimLineEnd(const char* data, std::size_t size) {
    while (size > 0 && (data[size - 1] == '\r' || data[size - 1] == '\n'))
        --size;
    return std::string(data, size);
}

// An SMTP reply of class 4 or 5, or a POP3 "-ERR".
bool IsRefusal(const std::string& reply) {
    if (reply.rfind("-ERR", 0) == 0)
        return true;
    return reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5') && reply[1] >= '0' && reply[1] <= '9' &&
           reply[2] >= '0' && reply[2] <= '9';
}

// "host", "host:port", "[v6]" or "[v6]:port"; a text with several colons and no brackets is an IPv6
// address without a port.
void SplitHost(const std::string& text, std::string& host, std::string& port) {
    const std::string trimmed(TrimText(text));
    std::size_t colon = std::string::npos;
    if (!trimmed.empty() && trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close != std::string::npos && close + 1 < trimmed.size() && trimmed[close + 1] == ':')
            colon = close + 1;
    } else if (trimmed.find(':') == trimmed.rfind(':')) {
        colon = trimmed.find(':');
    }
    host = trimmed.substr(0, colon);
    port = colon == std::string::npos ? std::string() : trimmed.substr(colon + 1);
}

void SetUrlPart(CURLU* url, CURLUPart part, const std::string& value) {
    const CURLUcode code = curl_url_set(url, part, value.c_str(), 0);
    if (code != CURLUE_OK)
        throw Exception(curl_url_strerror(code));
}

} // namespace

struct TSessionCallbacks {
    static int Progress(void* data, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
        auto& session = *static_cast<TMailClient::TSession*>(data);
        TMailClient& client = *session.Owner;
        try {
            if (!client.m_aborted && client.AbortRequested && client.AbortRequested())
                client.m_aborted = true;
            if (!client.m_aborted && sent != session.SentReported) {
                session.SentReported = sent;
                if (client.OnWork)
                    client.OnWork(client, TWorkMode::Write, sent);
            }
            if (!client.m_aborted && received != session.ReceivedReported) {
                session.ReceivedReported = received;
                if (client.OnWork)
                    client.OnWork(client, TWorkMode::Read, received);
            }
        } catch (...) {
            // No exception may cross libcurl: end the command and raise it once libcurl has returned.
            session.CallbackError = std::current_exception();
            return 1;
        }
        return client.m_aborted ? 1 : 0;
    }

    static std::size_t Reply(char* data, std::size_t size, std::size_t count, void* user) {
        auto& session = *static_cast<TMailClient::TSession*>(user);
        session.Replies.push_back(TrimLineEnd(data, size * count));
        return size * count;
    }

    // Replies to commands other than a mail transfer arrive as body data; they are in Replies already.
    static std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }
};

void InitMailClients() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK)
        throw Exception(curl_easy_strerror(result));
}

TMailClient::TSession::~TSession() {
    if (Curl)
        curl_easy_cleanup(Curl);
    if (Url)
        curl_url_cleanup(Url);
}

TMailClient::TMailClient(const char* scheme, int defaultPort)
    : m_scheme(scheme), m_defaultPort(defaultPort) {}

TMailClient::~TMailClient() {
    Close(!m_aborted);
}

TMailClient::TSession& TMailClient::Session() {
    if (m_session)
        return *m_session;
    auto session = std::make_unique<TSession>();
    session->Owner = this;
    session->Url = curl_url();
    session->Curl = curl_easy_init();
    if (!session->Url || !session->Curl)
        throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));

    std::string host;
    std::string port;
    SplitHost(Host, host, port);
    SetUrlPart(session->Url, CURLUPART_SCHEME, m_scheme);
    SetUrlPart(session->Url, CURLUPART_HOST, host);
    SetUrlPart(session->Url, CURLUPART_PORT, port.empty() ? std::to_string(m_defaultPort) : port);
    SetUrlPart(session->Url, CURLUPART_PATH, UrlPath());

    CURL* curl = session->Curl;
    curl_easy_setopt(curl, CURLOPT_CURLU, session->Url);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, session->ErrorBuffer);
    if (!Username.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, Username.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, Password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Timeouts.Connect.count()));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(Timeouts.Response.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(Timeouts.LowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(Timeouts.LowSpeedTime.count()));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &TSessionCallbacks::Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, session.get());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &TSessionCallbacks::Reply);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, session.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TSessionCallbacks::Discard);
    ConfigureSession(*session);
    m_session = std::move(session);
    return *m_session;
}

void TMailClient::Perform() {
    TSession& session = Session();
    session.ErrorBuffer[0] = '\0';
    session.Replies.clear();
    session.SentReported = 0;
    session.ReceivedReported = 0;
    session.CallbackError = nullptr;
    m_performing = true;
    const CURLcode code = curl_easy_perform(session.Curl);
    m_performing = false;
    if (session.CallbackError) {
        const std::exception_ptr error = session.CallbackError;
        Close(false);
        std::rethrow_exception(error);
    }
    if (code != CURLE_OK) {
        std::string message = session.ErrorBuffer[0] ? session.ErrorBuffer : curl_easy_strerror(code);
        if (!session.Replies.empty() && IsRefusal(session.Replies.back()) &&
            message.find(session.Replies.back()) == std::string::npos)
            message += ": " + session.Replies.back();
        Close(false);
        throw Exception(message);
    }
    m_connected = true;
}

bool TMailClient::Connected() const {
    if (!m_connected || !m_session || m_aborted)
        return false;
    curl_socket_t socket = CURL_SOCKET_BAD;
    return curl_easy_getinfo(m_session->Curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
           socket != CURL_SOCKET_BAD;
}

void TMailClient::Disconnect() {
    Close(!(AbortRequested && AbortRequested()));
}

void TMailClient::DisconnectSocket() {
    m_aborted = true;
    // Inside a command libcurl closes the connection itself once the progress callback has refused.
    if (!m_performing)
        Close(false);
}

void TMailClient::Close(bool quit) {
    m_connected = false;
    if (!m_session)
        return;
    if (!quit) {
        // A shut socket makes libcurl's QUIT at clean-up fail at once instead of waiting for a reply.
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_session->Curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
            socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
    }
    // Cleaning up the handle ends a live session with QUIT, waiting at most the response time-out.
    m_session.reset();
}
