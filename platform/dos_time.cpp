// DOS date-time conversions.
#include "platform/dos_time.h"

namespace platform {

bool UnixToDosDateTime(std::time_t seconds, std::uint32_t& dos) {
    DateParts p;
    if (!LocalDateParts(seconds, p) || p.Year < 1980 || p.Year > 2107)
        return false;
    const std::uint32_t date = static_cast<std::uint32_t>(((p.Year - 1980) << 9) | (p.Month << 5) | p.Day);
    const std::uint32_t time = static_cast<std::uint32_t>((p.Hour << 11) | (p.Minute << 5) | (p.Second / 2));
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
    return SplitDos(dos, p) ? UnixFromLocalParts(p) : -1;
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
