// TDownloadThread: downloads one offered file on a worker thread, reporting its progress to the main
// thread.
#pragma once

#include "engine/net/http_client.h"
#include "engine/thread.h"

#include <cstdint>
#include <functional>
#include <string>

class TDownloadThread : public TThread {
public:
    TDownloadThread();
    static THttpTimeouts DefaultTimeouts();

    std::string URL;
    // The target file. It is written only once the whole file has arrived: a failed or cancelled
    // download leaves whatever lay there before.
    std::string FileName;
    // "Error downloading file:\r\n" + the reason; empty when the download succeeded or was cancelled.
    std::string ErrorMessage;
    // No limit on the whole download; a server that stops sending ends it through the low-speed limit.
    THttpTimeouts Timeouts;

    // The announced size of the file (the bytes received so far when none was announced), and the
    // bytes received; read them in OnProgress.
    std::int64_t Total = 0;
    std::int64_t Received = 0;
    // Raised on the main thread while the worker waits, whenever bytes have arrived.
    std::function<void(std::int64_t total, std::int64_t received)> OnProgress;

protected:
    void Execute() override;

private:
    void HTTPWork(std::int64_t total, std::int64_t received);
    void DoProgress();
};
