// The locale value: the user's date, time and number formats, one process-wide value.
// The engine's default is fixed US English; the program replaces it once at start, tests inject their own.
#pragma once

#include <array>
#include <string>

namespace platform {

struct TFormatSettings {
    // Date-time patterns use the tokens yyyy, yy, mmmm, mm, m, dd, d, hh, h, nn, ss, ampm, am/pm, "/" and
    // ":".
    std::string ShortDateFormat;
    std::string LongDateFormat;
    std::string ShortTimeFormat;
    std::string LongTimeFormat;
    std::string DateSeparator;
    std::string TimeSeparator;
    std::string DecimalSeparator;
    std::string ThousandSeparator;
    std::string TimeAMString;
    std::string TimePMString;
    std::array<std::string, 12> LongMonthNames;
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 7> LongDayNames;  // Sunday first
    std::array<std::string, 7> ShortDayNames; // Sunday first
};

// Fixed US English settings, the same on every machine.
const TFormatSettings& UsFormatSettings();

// A copy of the current value (safe to call from any thread).
TFormatSettings GetFormatSettings();
void SetFormatSettings(const TFormatSettings& settings);
void ResetFormatSettings();

} // namespace platform
