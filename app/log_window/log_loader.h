// Reading a run log for the log window on a worker thread, while the calling thread goes on serving its
// events (paints, timers, the end signals, Exit).
#pragma once

#include "app/log_window/log_text.h"

#include <functional>
#include <string>

struct TLogLoad {
    enum class TOutcome { Loaded, Failed, Abandoned };
    TOutcome Outcome = TOutcome::Loaded;
    TLogText Text;
    // What Read raised when it failed.
    std::string Error;
};

// Runs Read (the log's bytes; it raises when they cannot be read) and the decoding on a worker thread
// and serves the calling thread's events until they are done. Abandoned when the program's event loops
// were told to end first: the worker is stopped and waited for, and nothing is shown.
TLogLoad LoadLogText(const std::function<std::string()>& read);
