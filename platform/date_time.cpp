// Calendar arithmetic for TDateTime and its conversion from and to the system's local time.
#include "platform/date_time.h"

#include <cmath>

namespace platform {
namespace {

constexpr double MsPerDay = 86400000.0;
// Days from 0001-03-01 style civil counting: days of 1899-12-30 since 1970-01-01 is -25569.
constexpr std::int64_t UnixEpochDay = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + UnixEpochDay);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int milliSecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || milliSecond < 0 ||
        milliSecond > 999)
        return false;
    result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + milliSecond) / MsPerDay;
    return true;
}

TDateTime EncodeDateTime(const DateParts& p) {
    TDateTime date = 0, time = 0;
    TryEncodeDate(p.Year, p.Month, p.Day, date);
    TryEncodeTime(p.Hour, p.Minute, p.Second, p.MilliSecond, time);
    // Before 1899-12-30 the day number is negative while the time still counts forward.
    return date >= 0 ? date + time : date - time;
}

DateParts DecodeDateTime(TDateTime value) {
    DateParts parts;
    if (!std::isfinite(value))
        return parts;
    // Work in whole milliseconds so that 23:59:59.9996 does not come out as 24:00:00.
    const double totalMs = std::round(std::fabs(value) * MsPerDay);
    std::int64_t dayCount = static_cast<std::int64_t>(totalMs / MsPerDay);
    std::int64_t msOfDay = static_cast<std::int64_t>(totalMs - static_cast<double>(dayCount) * MsPerDay);
    if (value < 0)
        dayCount = -dayCount;
    CivilFromDays(dayCount - UnixEpochDay, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(msOfDay / 3600000);
    parts.Minute = static_cast<int>(msOfDay / 60000 % 60);
    parts.Second = static_cast<int>(msOfDay / 1000 % 60);
    parts.MilliSecond = static_cast<int>(msOfDay % 1000);
    return parts;
}

int DayOfWeek(TDateTime value) {
    const std::int64_t day = static_cast<std::int64_t>(std::trunc(value));
    // Day 0 (30 December 1899) was a Saturday.
    return static_cast<int>(((day - 1) % 7 + 7) % 7) + 1;
}

bool LocalDateParts(std::time_t seconds, DateParts& parts) {
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return false;
    parts = {local.tm_year + 1900,
             local.tm_mon + 1,
             local.tm_mday,
             local.tm_hour,
             local.tm_min,
             local.tm_sec > 59 ? 59 : local.tm_sec,
             0};
    return true;
}

std::time_t UnixFromLocalParts(const DateParts& p) {
    std::tm local{};
    local.tm_year = p.Year - 1900;
    local.tm_mon = p.Month - 1;
    local.tm_mday = p.Day;
    local.tm_hour = p.Hour;
    local.tm_min = p.Minute;
    local.tm_sec = p.Second;
    local.tm_isdst = -1;
    return mktime(&local);
}

TDateTime DateTimeFromUnix(std::time_t seconds, int milliSeconds) {
    DateParts parts;
    if (!LocalDateParts(seconds, parts))
        return 0;
    parts.MilliSecond = milliSeconds;
    return EncodeDateTime(parts);
}

std::time_t UnixFromDateTime(TDateTime value) {
    return UnixFromLocalParts(DecodeDateTime(value));
}

} // namespace platform
