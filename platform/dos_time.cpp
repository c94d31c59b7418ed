// DOS date-time conversions.
#include "platform/dos_time.h"

namespace platform {

bool UnixToDosDateTime(std::time_t seconds, std::uint32_t& dos) {
    std::tm t{};
    if (!localtime_r(&seconds, &t))
        return false;
    const int year = t.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return false;
    const int second = t.tm_sec > 59 ? 59 : t.tm_sec;
    const std::uint32_t date =
        static_cast<std::uint32_t>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    const std::uint32_t time = static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (second / 2));
    dos = (date << 16) | time;
    return true;
}

namespace {

bool SplitDos(std::uint32_t dos, DateParts& p) {
    const std::uint32_t date = dos >> 16, time = dos & 0xFFFF;
    p.Year = static_cast<int>(date >> 9) + 1980;
    p.Month = static_cast<int>((date >> 5) & 15);
    p.Day = static_cast<int>(date & 31);
    p.Hour = static_cast<int>(time >> 11);
    p.Minute = static_cast<int>((time >> 5) & 63);
    p.Second = static_cast<int>((time & 31) * 2);
    p.MilliSecond = 0;
    TDateTime d, t;
    return TryEncodeDate(p.Year, p.Month, p.Day, d) && TryEncodeTime(p.Hour, p.Minute, p.Second, 0, t);
}

} // namespace

std::time_t DosDateTimeToUnix(std::uint32_t dos) {
    DateParts p;
    if (!SplitDos(dos, p))
        return -1;
    std::tm t{};
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    t.tm_isdst = -1;
    return mktime(&t);
}

TDateTime DosDateTimeToDateTime(std::uint32_t dos) {
    DateParts p;
    return SplitDos(dos, p) ? EncodeDateTime(p) : 0;
}

TDateTime DosTimeOf(std::time_t seconds) {
    std::uint32_t dos = 0;
    return UnixToDosDateTime(seconds, dos) ? DosDateTimeToDateTime(dos) : 0;
}

} // namespace platform
