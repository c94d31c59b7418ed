// DOS date-time: local time at two-second resolution, the form archives and unchanged-file tests use.
#pragma once

#include "platform/date_time.h"

#include <cstdint>
#include <ctime>

namespace platform {

// Packed DOS date-time (date in the high word). False when the time lies outside 1980 to 2107.
bool UnixToDosDateTime(std::time_t seconds, std::uint32_t& dos);
// The local time of a packed DOS date-time; -1 when the fields are invalid.
std::time_t DosDateTimeToUnix(std::uint32_t dos);
// 0 when the fields are invalid.
TDateTime DosDateTimeToDateTime(std::uint32_t dos);
// A file time as the scanner and the unchanged test see it: local, two-second steps, 0 when out of range.
TDateTime DosTimeOf(std::time_t seconds);

} // namespace platform
