// The feed request.
#include "updates/updates_thread.h"

#include "engine/net/http_client.h"
#include "engine/text.h"

#include <chrono>

TUpdatesThread::TUpdatesThread() : TThread(true), Timeouts(DefaultTimeouts()) {}

THttpTimeouts TUpdatesThread::DefaultTimeouts() {
    THttpTimeouts timeouts;
    timeouts.Connect = std::chrono::seconds(15);
    timeouts.Total = std::chrono::seconds(30);
    timeouts.LowSpeedTime = std::chrono::seconds(30);
    return timeouts;
}

void TUpdatesThread::Execute() {
    FeedText.clear();
    ErrorMessage.clear();
    try {
        THttpClient client;
        client.Timeouts = Timeouts;
        client.AbortRequested = [this] { return Terminated(); };
        FeedText = std::string(TrimText(client.Get(URL, MaxFeedBytes)));
    } catch (const std::exception& error) {
        // A feed that cannot be had is no feed; the reason is kept for a check the user asked for.
        FeedText.clear();
        if (!Terminated())
            ErrorMessage = error.what();
    } catch (...) {
        FeedText.clear();
    }
}
