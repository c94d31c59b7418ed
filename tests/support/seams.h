// The seams tests set (clock, locale value, injected failures, free bytes) and a German locale value.
#pragma once

#include "platform/date_time.h"
#include "platform/fault_injection.h"
#include "platform/format_settings.h"

#include <cstdint>
#include <functional>
#include <string>

namespace testing_support {

// "dd.mm.yyyy" dates with ".", "hh:nn:ss" times, "," as decimal point and "." between thousands, no AM
// and PM texts, and the German name of March.
platform::TFormatSettings GermanFormatSettings();

// Restores every seam when it goes: the system clock, US English, no injected failures, real free space.
class ScopedSeams {
public:
    ScopedSeams() = default;
    // Installs Settings as the locale value meanwhile.
    explicit ScopedSeams(const platform::TFormatSettings& settings);
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;
};

// Stands the clock at Now, or lets Clock tell the time, while it lives; the system clock afterwards.
class ScopedClock {
public:
    explicit ScopedClock(TDateTime now);
    explicit ScopedClock(std::function<TDateTime()> clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

// Makes the platform's calls fail as Hook says while it lives; no injected failures afterwards.
class ScopedFaultHook {
public:
    explicit ScopedFaultHook(platform::FaultHook hook);
    ~ScopedFaultHook();
    // Ends the injected failures before the object goes.
    void Remove();
    ScopedFaultHook(const ScopedFaultHook&) = delete;
    ScopedFaultHook& operator=(const ScopedFaultHook&) = delete;
};

// Every question for the free space of a path is answered by Override while it lives; the real free
// space afterwards.
class ScopedFreeBytes {
public:
    explicit ScopedFreeBytes(std::function<std::int64_t(const std::string& path)> override);
    ~ScopedFreeBytes();
    ScopedFreeBytes(const ScopedFreeBytes&) = delete;
    ScopedFreeBytes& operator=(const ScopedFreeBytes&) = delete;
};

// Runs Body in a forked child whose files may not grow beyond Limit bytes (a real write failure, also
// for root) and returns the child's exit code: Body's result, or -1 when the child did not end normally.
int ExitCodeWithFileSizeLimit(std::int64_t limit, const std::function<int()>& body);

} // namespace testing_support
