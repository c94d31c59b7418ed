// Formatting and reading of date-times and numbers with the user's settings (the locale value).
// Date-time patterns: yyyy, yy, mmmm, mmm, mm, m (minutes after an hour token), dddd, ddd, dd, d,
// hh, h (12-hour clock when the pattern holds an AM/PM token), nn, n, ss, s, zzz, ampm, am/pm, a/p,
// "/" and ":" for the separators, quoted text as it stands. Number patterns: "0" a digit always
// written, "#" a digit written when significant, "," thousands grouping, "." the decimal point.
#pragma once

#include "platform/date_time.h"
#include "platform/format_settings.h"

#include <string>

std::string FormatDateTime(const std::string& pattern, TDateTime value);
std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const platform::TFormatSettings& settings);

std::string FormatFloat(const std::string& pattern, double value);
std::string FormatFloat(const std::string& pattern, double value, const platform::TFormatSettings& settings);

// Reads a date, a time, or a date and a time in the order and with the separators and AM/PM texts of
// Settings (the date's order follows its short date format). False for anything else.
bool TryStrToDateTime(const std::string& text, const platform::TFormatSettings& settings, TDateTime& result);
