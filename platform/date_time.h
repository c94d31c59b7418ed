// TDateTime: days since 30 December 1899 in local time, the fraction being the time of day.
#pragma once

#include <cstdint>
#include <ctime>

using TDateTime = double;

namespace platform {

struct DateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// False when the date does not exist (month 13, 30 February, year 0 ...).
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int milliSecond, TDateTime& result);
TDateTime EncodeDateTime(const DateParts& parts);
// Splits a date-time into its calendar parts; the fraction is rounded to the millisecond.
DateParts DecodeDateTime(TDateTime value);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// Local-time conversions at the boundary with the file system.
// The calendar parts of a system time in local time, a leap second read as :59; false when it has none.
bool LocalDateParts(std::time_t seconds, DateParts& parts);
// The system time of calendar parts read as local time, the milliseconds dropped; -1 when there is none.
std::time_t UnixFromLocalParts(const DateParts& parts);
TDateTime DateTimeFromUnix(std::time_t seconds, int milliSeconds = 0);
std::time_t UnixFromDateTime(TDateTime value);

} // namespace platform
