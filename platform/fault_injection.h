// A narrow seam through which tests make the platform's listing, open, write and rename calls fail,
// for failures that cannot be provoked for real when the tests run as root.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class FaultOp { ListDirectory, OpenRead, OpenWrite, Write, Rename };

// Returns the errno value the call fails with, or 0 to let it run.
using FaultHook = std::function<int(FaultOp op, const std::string& path)>;

// An empty hook removes the seam. Install it only while no worker thread runs.
void SetFaultHook(FaultHook hook);
int InjectedFault(FaultOp op, const std::string& path);

} // namespace platform
