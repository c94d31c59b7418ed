// The clock behind Now: the system's local time, replaceable by tests (run-log and archive names carry the
// second).
#pragma once

#include "platform/date_time.h"

#include <functional>

namespace platform {

TDateTime SystemNow();
TDateTime Now();
// Installs a clock for tests; an empty function restores the system clock.
void SetClock(std::function<TDateTime()> clock);

} // namespace platform
