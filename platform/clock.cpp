// The replaceable clock.
#include "platform/clock.h"

#include <chrono>
#include <mutex>

namespace platform {
namespace {

std::mutex clockMutex;
std::function<TDateTime()>& InstalledClock() {
    static std::function<TDateTime()> clock;
    return clock;
}

} // namespace

TDateTime SystemNow() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    return DateTimeFromUnix(seconds, static_cast<int>(ms % 1000));
}

TDateTime Now() {
    std::function<TDateTime()> clock;
    {
        std::lock_guard lock(clockMutex);
        clock = InstalledClock();
    }
    return clock ? clock() : SystemNow();
}

void SetClock(std::function<TDateTime()> clock) {
    std::lock_guard lock(clockMutex);
    InstalledClock() = std::move(clock);
}

} // namespace platform
