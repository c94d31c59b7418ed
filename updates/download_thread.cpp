// The download of an offered file.
#include "updates/download_thread.h"

#include "engine/net/http_client.h"
#include "updates/update_texts.h"

#include <chrono>
#include <exception>

TDownloadThread::TDownloadThread() : TThread(true), Timeouts(DefaultTimeouts()) {}

THttpTimeouts TDownloadThread::DefaultTimeouts() {
    THttpTimeouts timeouts;
    timeouts.Connect = std::chrono::seconds(30);
    timeouts.LowSpeedTime = std::chrono::seconds(60);
    return timeouts;
}

void TDownloadThread::Execute() {
    ErrorMessage.clear();
    try {
        THttpClient client;
        client.Timeouts = Timeouts;
        client.AbortRequested = [this] { return Terminated(); };
        client.OnWork = [this](std::int64_t total, std::int64_t received) { HTTPWork(total, received); };
        client.GetFile(URL, FileName);
    } catch (const std::exception& error) {
        if (!Terminated())
            ErrorMessage = std::string(update_texts::DownloadError) + error.what();
    }
}

void TDownloadThread::HTTPWork(std::int64_t total, std::int64_t received) {
    Total = total >= 0 ? total : received;
    Received = received;
    Synchronize([this] { DoProgress(); });
}

void TDownloadThread::DoProgress() {
    if (OnProgress)
        OnProgress(Total, Received);
}
