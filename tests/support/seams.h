// The seams tests set (clock, locale value, injected failures, free bytes) and a German locale value.
#pragma once

#include "platform/format_settings.h"

#include <cstdint>
#include <functional>

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

// Runs Body in a forked child whose files may not grow beyond Limit bytes (a real write failure, also
// for root) and returns the child's exit code: Body's result, or -1 when the child did not end normally.
int ExitCodeWithFileSizeLimit(std::int64_t limit, const std::function<int()>& body);

} // namespace testing_support
