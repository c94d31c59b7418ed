// TUpdatesThread: fetches the update feed on a worker thread.
#pragma once

#include "engine/net/http_client.h"
#include "engine/thread.h"

#include <cstddef>
#include <string>

class TUpdatesThread : public TThread {
public:
    TUpdatesThread();
    static THttpTimeouts DefaultTimeouts();

    // The address to fetch; set before the thread is resumed.
    std::string URL;
    // The fetched document without leading and trailing white space; empty when the request failed
    // (no connection, a time-out, a status other than 2xx, a document over MaxFeedBytes, or Terminate).
    std::string FeedText;
    // Why the request failed, in the client's words; empty after a document arrived or Terminate.
    std::string ErrorMessage;
    // A feed request never waits long: a check holds up the window that waits for it.
    THttpTimeouts Timeouts;

    // A feed is a small document; anything larger is not one.
    static constexpr std::size_t MaxFeedBytes = 1024 * 1024;

protected:
    void Execute() override;
};
