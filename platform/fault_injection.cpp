// The failure-injection seam; costs one relaxed load when no hook is installed.
#include "platform/fault_injection.h"

#include <atomic>
#include <mutex>

namespace platform {
namespace {

std::atomic<bool> hookInstalled{false};
std::mutex hookMutex;
FaultHook& Hook() {
    static FaultHook hook;
    return hook;
}

} // namespace

void SetFaultHook(FaultHook hook) {
    std::lock_guard lock(hookMutex);
    hookInstalled = static_cast<bool>(hook);
    Hook() = std::move(hook);
}

int InjectedFault(FaultOp op, const std::string& path) {
    if (!hookInstalled.load(std::memory_order_relaxed))
        return 0;
    FaultHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = Hook();
    }
    return hook ? hook(op, path) : 0;
}

} // namespace platform
