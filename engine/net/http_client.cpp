// The HTTP GET over libcurl.
#include "engine/net/http_client.h"

#include "engine/exception.h"
#include "engine/text.h"
#include "platform/durable_file.h"

#include <curl/curl.h>

#include <cerrno>
#include <exception>
#include <memory>

namespace {

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// What libcurl's callbacks share with the request.
struct TTransfer {
    const std::function<bool(const char*, std::size_t)>* Sink = nullptr;
    const std::function<void(std::int64_t, std::int64_t)>* OnWork = nullptr;
    const std::function<bool()>* AbortRequested = nullptr;
    bool Aborted = false;
    bool SinkFailed = false;
    // The status line of the answer, without its line end.
    std::string StatusLine;
    long Status = 0;
    std::int64_t Received = 0;
    std::int64_t Reported = -1;
    std::exception_ptr CallbackError;
    CURL* Curl = nullptr;
};

bool IsSuccess(long status) {
    return status >= 200 && status <= 299;
}

std::int64_t AnnouncedLength(CURL* curl) {
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return length;
}

struct TCallbacks {
    static std::size_t Header(char* data, std::size_t size, std::size_t count, void* user) {
        auto& transfer = *static_cast<TTransfer*>(user);
        const std::string_view line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0)
            transfer.StatusLine = std::string(TrimText(line));
        return size * count;
    }

    static std::size_t Body(char* data, std::size_t size, std::size_t count, void* user) {
        auto& transfer = *static_cast<TTransfer*>(user);
        const std::size_t bytes = size * count;
        // The body of a refusal is not the document asked for.
        long status = 0;
        curl_easy_getinfo(transfer.Curl, CURLINFO_RESPONSE_CODE, &status);
        if (!IsSuccess(status)) {
            transfer.Status = status;
            return CURL_WRITEFUNC_ERROR;
        }
        try {
            if (!(*transfer.Sink)(data, bytes)) {
                transfer.SinkFailed = true;
                return CURL_WRITEFUNC_ERROR;
            }
            transfer.Received += static_cast<std::int64_t>(bytes);
            Report(transfer);
        } catch (...) {
            transfer.CallbackError = std::current_exception();
            return CURL_WRITEFUNC_ERROR;
        }
        return bytes;
    }

    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& transfer = *static_cast<TTransfer*>(user);
        try {
            if (!transfer.Aborted && *transfer.AbortRequested && (*transfer.AbortRequested)())
                transfer.Aborted = true;
        } catch (...) {
            transfer.CallbackError = std::current_exception();
            return 1;
        }
        return transfer.Aborted ? 1 : 0;
    }

    static void Report(TTransfer& transfer) {
        if (transfer.Received == transfer.Reported || !*transfer.OnWork)
            return;
        transfer.Reported = transfer.Received;
        (*transfer.OnWork)(AnnouncedLength(transfer.Curl), transfer.Received);
    }
};

void SetTimeouts(CURL* curl, const THttpTimeouts& timeouts) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.Connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.Total.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(timeouts.LowSpeedBytes));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.LowSpeedTime.count()));
}

std::string StatusText(const TTransfer& transfer) {
    if (!transfer.StatusLine.empty())
        return transfer.StatusLine;
    return "HTTP status " + std::to_string(transfer.Status);
}

} // namespace

bool IsHttpAddress(const std::string& url) {
    for (const std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
        if (url.size() > scheme.size() &&
            SameTextAscii(std::string_view(url).substr(0, scheme.size()), scheme)) {
            const char first = url[scheme.size()];
            return first != '/' && first != '?' && first != '#' && static_cast<unsigned char>(first) > 32;
        }
    }
    return false;
}

void THttpClient::Perform(const std::string& url, const TSink& sink) {
    m_aborted = false;
    if (!IsHttpAddress(url))
        throw Exception("Only http and https addresses can be fetched.");
    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl)
        throw Exception(curl_easy_strerror(CURLE_OUT_OF_MEMORY));

    TTransfer transfer;
    transfer.Sink = &sink;
    transfer.OnWork = &OnWork;
    transfer.AbortRequested = &AbortRequested;
    transfer.Curl = curl.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    SetTimeouts(handle, Timeouts);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &TCallbacks::Progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &TCallbacks::Header);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &TCallbacks::Body);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);

    const CURLcode code = curl_easy_perform(handle);
    m_aborted = transfer.Aborted;
    if (transfer.CallbackError)
        std::rethrow_exception(transfer.CallbackError);
    if (transfer.SinkFailed)
        throw Exception("The received data could not be stored.");
    if (code == CURLE_OK || transfer.Status != 0) {
        long status = transfer.Status;
        if (status == 0)
            curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        transfer.Status = status;
        if (!IsSuccess(status))
            throw Exception(StatusText(transfer));
    }
    if (code != CURLE_OK)
        throw Exception(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
}

std::string THttpClient::Get(const std::string& url, std::size_t maxBytes) {
    std::string body;
    bool tooLarge = false;
    try {
        Perform(url, [&](const char* data, std::size_t size) {
            if (size > maxBytes - body.size()) {
                tooLarge = true;
                return false;
            }
            body.append(data, size);
            return true;
        });
    } catch (const Exception&) {
        if (tooLarge)
            throw Exception("The answer is larger than " + std::to_string(maxBytes) + " bytes.");
        throw;
    }
    return body;
}

void THttpClient::GetFile(const std::string& url, const std::string& fileName) {
    platform::DurableWriter file;
    if (const platform::Status opened = file.Open(fileName); !opened)
        throw Exception(FileErrorText("Unable to create file", fileName, opened.Code()));
    platform::Status written;
    try {
        Perform(url, [&](const char* data, std::size_t size) {
            written = file.Write(data, size);
            return static_cast<bool>(written);
        });
    } catch (const Exception&) {
        if (!written)
            throw Exception(FileErrorText("Unable to write file", fileName, written.Code()));
        throw;
    }
    if (const platform::Status committed = file.Commit(); !committed)
        throw Exception(FileErrorText("Unable to write file", fileName, committed.Code()));
}
