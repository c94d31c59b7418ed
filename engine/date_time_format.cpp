// Date-time and number formatting and date-time reading.
#include "engine/date_time_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

using platform::DateParts;
using platform::TFormatSettings;

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool StartsWithNoCase(const std::string& text, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i)
        if (at + i >= text.size() || Upper(text[at + i]) != Upper(prefix[i]))
            return false;
    return true;
}

std::string Padded(int value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    while (static_cast<int>(digits.size()) < width)
        digits.insert(digits.begin(), '0');
    return value < 0 ? "-" + digits : digits;
}

bool HoldsAmPm(const std::string& pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (StartsWithNoCase(pattern, i, "am/pm") || StartsWithNoCase(pattern, i, "a/p") ||
            StartsWithNoCase(pattern, i, "ampm"))
            return true;
    return false;
}

std::size_t RunLength(const std::string& pattern, std::size_t at) {
    const char c = Upper(pattern[at]);
    std::size_t n = 0;
    while (at + n < pattern.size() && Upper(pattern[at + n]) == c)
        ++n;
    return n;
}

void AppendFormatted(std::string& out, const std::string& pattern, const DateParts& p, TDateTime value,
                     const TFormatSettings& s, int depth) {
    const bool twelveHour = HoldsAmPm(pattern);
    char lastToken = 0;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const char token = Upper(c);
        if (c == '"' || c == '\'') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? pattern.size() : close;
            out.append(pattern, i + 1, end - i - 1);
            i = end == pattern.size() ? end : end + 1;
            continue;
        }
        if (token == 'A') {
            const bool pm = p.Hour >= 12;
            if (StartsWithNoCase(pattern, i, "am/pm")) {
                const bool lower = pattern[i] == 'a';
                out += pm ? (lower ? "pm" : "PM") : (lower ? "am" : "AM");
                i += 5;
            } else if (StartsWithNoCase(pattern, i, "a/p")) {
                const bool lower = pattern[i] == 'a';
                out += pm ? (lower ? "p" : "P") : (lower ? "a" : "A");
                i += 3;
            } else if (StartsWithNoCase(pattern, i, "ampm")) {
                out += pm ? s.TimePMString : s.TimeAMString;
                i += 4;
            } else {
                out += c;
                ++i;
            }
            lastToken = 'A';
            continue;
        }
        if (token < 'A' || token > 'Z') {
            if (c == '/')
                out += s.DateSeparator;
            else if (c == ':')
                out += s.TimeSeparator;
            else
                out += c;
            ++i;
            continue;
        }
        const std::size_t n = RunLength(pattern, i);
        char effective = token;
        if (token == 'M' && (lastToken == 'H'))
            effective = 'N';
        switch (effective) {
        case 'Y':
            out += n <= 2 ? Padded(p.Year % 100, 2) : Padded(p.Year, 4);
            break;
        case 'M':
            if (n == 1)
                out += std::to_string(p.Month);
            else if (n == 2)
                out += Padded(p.Month, 2);
            else if (n == 3)
                out += s.ShortMonthNames[static_cast<std::size_t>(p.Month - 1)];
            else
                out += s.LongMonthNames[static_cast<std::size_t>(p.Month - 1)];
            break;
        case 'D': {
            const std::size_t weekDay = static_cast<std::size_t>(platform::DayOfWeek(value) - 1);
            if (n == 1)
                out += std::to_string(p.Day);
            else if (n == 2)
                out += Padded(p.Day, 2);
            else if (n == 3)
                out += s.ShortDayNames[weekDay];
            else if (n == 4)
                out += s.LongDayNames[weekDay];
            else if (depth < 2)
                AppendFormatted(out, n == 5 ? s.ShortDateFormat : s.LongDateFormat, p, value, s, depth + 1);
            break;
        }
        case 'H': {
            int hour = p.Hour;
            if (twelveHour) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            out += n == 1 ? std::to_string(hour) : Padded(hour, 2);
            break;
        }
        case 'N':
            out += n == 1 ? std::to_string(p.Minute) : Padded(p.Minute, 2);
            break;
        case 'S':
            out += n == 1 ? std::to_string(p.Second) : Padded(p.Second, 2);
            break;
        case 'Z':
            out += n < 3 ? std::to_string(p.MilliSecond) : Padded(p.MilliSecond, 3);
            break;
        case 'T':
            if (depth < 2)
                AppendFormatted(out, n == 1 ? s.ShortTimeFormat : s.LongTimeFormat, p, value, s, depth + 1);
            break;
        case 'C':
            if (depth < 2) {
                AppendFormatted(out, s.ShortDateFormat, p, value, s, depth + 1);
                out += ' ';
                AppendFormatted(out, s.LongTimeFormat, p, value, s, depth + 1);
            }
            break;
        default:
            out.append(pattern, i, n);
            break;
        }
        lastToken = token == 'M' && effective == 'N' ? 'N' : token;
        i += n;
    }
}

// A number pattern taken apart.
struct NumberPicture {
    std::string prefix, suffix;
    int minIntegerDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool grouping = false;
};

NumberPicture ParsePicture(const std::string& pattern) {
    NumberPicture picture;
    const std::size_t first = pattern.find_first_of("0#,.");
    const std::size_t last = pattern.find_last_of("0#,.");
    if (first == std::string::npos)
        return picture;
    picture.prefix = pattern.substr(0, first);
    picture.suffix = pattern.substr(last + 1);
    bool afterPoint = false;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = pattern[i];
        if (c == '.' && !afterPoint)
            afterPoint = true;
        else if (c == ',' && !afterPoint)
            picture.grouping = true;
        else if (c == '0' && !afterPoint)
            ++picture.minIntegerDigits;
        else if (c == '0') {
            ++picture.minDecimals;
            ++picture.maxDecimals;
        } else if (c == '#' && afterPoint)
            ++picture.maxDecimals;
    }
    return picture;
}

// Rounds the decimal digits Integer.Fraction half away from zero to Decimals places.
void RoundDecimal(std::string& integer, std::string& fraction, int decimals) {
    if (static_cast<int>(fraction.size()) <= decimals)
        return;
    const bool up = fraction[static_cast<std::size_t>(decimals)] >= '5';
    fraction.resize(static_cast<std::size_t>(decimals));
    if (!up)
        return;
    for (std::size_t i = fraction.size(); i-- > 0;) {
        if (fraction[i] != '9') {
            ++fraction[i];
            return;
        }
        fraction[i] = '0';
    }
    for (std::size_t i = integer.size(); i-- > 0;) {
        if (integer[i] != '9') {
            ++integer[i];
            return;
        }
        integer[i] = '0';
    }
    integer.insert(integer.begin(), '1');
}

std::string Group(const std::string& digits, const std::string& separator) {
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

// Parses an unsigned decimal number of at most MaxDigits digits starting at Pos.
bool ReadNumber(const std::string& text, std::size_t& pos, int maxDigits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < maxDigits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    // A run of more digits than the field holds is no number of that field ("20524" is no year).
    if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        return false;
    return digits > 0;
}

void SkipBlanks(const std::string& text, std::size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
}

bool Consume(const std::string& text, std::size_t& pos, const std::string& what) {
    if (what.empty() || text.compare(pos, what.size(), what) != 0)
        return false;
    pos += what.size();
    return true;
}

// The order of day, month and year in a short date format: "MDY", "DMY" or "YMD".
std::string DateOrder(const std::string& shortDateFormat) {
    std::string order;
    for (char c : shortDateFormat) {
        const char u = Upper(c);
        if ((u == 'D' || u == 'M' || u == 'Y') && order.find(u) == std::string::npos)
            order += u;
    }
    return order.size() == 3 ? order : std::string("MDY");
}

int ExpandYear(int year, int digits) {
    if (digits > 2)
        return year;
    // Two-digit years fall in the century window around the current year.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int current = local.tm_year + 1900;
    int result = current / 100 * 100 + year;
    if (result > current + 50)
        result -= 100;
    else if (result <= current - 50)
        result += 100;
    return result;
}

bool ReadDate(const std::string& text, std::size_t& pos, const TFormatSettings& s, TDateTime& date) {
    int values[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
    int count = 0;
    for (; count < 3; ++count) {
        if (count > 0 && !Consume(text, pos, s.DateSeparator))
            break;
        if (!ReadNumber(text, pos, 4, values[count], digits[count]))
            return false;
    }
    if (count < 2)
        return false;
    const std::string order = DateOrder(s.ShortDateFormat);
    int year = 0, month = 0, day = 0, yearDigits = 4;
    if (count == 2) {
        // Day and month alone belong to the current year.
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        year = local.tm_year + 1900;
        const bool monthFirst = order.find('M') < order.find('D');
        month = monthFirst ? values[0] : values[1];
        day = monthFirst ? values[1] : values[0];
    } else {
        for (int i = 0; i < 3; ++i) {
            if (order[static_cast<std::size_t>(i)] == 'Y') {
                year = values[i];
                yearDigits = digits[i];
            } else if (order[static_cast<std::size_t>(i)] == 'M') {
                month = values[i];
            } else {
                day = values[i];
            }
        }
        year = ExpandYear(year, yearDigits);
    }
    return platform::TryEncodeDate(year, month, day, date);
}

bool ReadAmPm(const std::string& text, std::size_t& pos, const TFormatSettings& s, int& which) {
    auto matches = [&](const std::string& marker) {
        if (marker.empty() || pos + marker.size() > text.size())
            return false;
        for (std::size_t i = 0; i < marker.size(); ++i)
            if (Upper(text[pos + i]) != Upper(marker[i]))
                return false;
        pos += marker.size();
        return true;
    };
    if (matches(s.TimeAMString) || matches("AM")) {
        which = 1;
        return true;
    }
    if (matches(s.TimePMString) || matches("PM")) {
        which = 2;
        return true;
    }
    return false;
}

bool ReadTime(const std::string& text, std::size_t& pos, const TFormatSettings& s, TDateTime& time) {
    int hour = 0, minute = 0, second = 0, ms = 0, digits = 0;
    // Both time formats have minutes: an hour alone is no time.
    if (!ReadNumber(text, pos, 2, hour, digits) || !Consume(text, pos, s.TimeSeparator) ||
        !ReadNumber(text, pos, 2, minute, digits))
        return false;
    if (Consume(text, pos, s.TimeSeparator)) {
        if (!ReadNumber(text, pos, 2, second, digits))
            return false;
        if (Consume(text, pos, s.DecimalSeparator) && !ReadNumber(text, pos, 3, ms, digits))
            return false;
    }
    std::size_t afterNumbers = pos;
    SkipBlanks(text, pos);
    int ampm = 0;
    if (!ReadAmPm(text, pos, s, ampm))
        pos = afterNumbers;
    if (ampm != 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + (ampm == 2 ? 12 : 0);
    }
    return platform::TryEncodeTime(hour, minute, second, ms, time);
}

} // namespace

std::string FormatDateTime(const std::string& pattern, TDateTime value, const TFormatSettings& settings) {
    std::string out;
    AppendFormatted(out, pattern, platform::DecodeDateTime(value), value, settings, 0);
    return out;
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    return FormatDateTime(pattern, value, platform::GetFormatSettings());
}

std::string FormatFloat(const std::string& pattern, double value, const TFormatSettings& settings) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    const NumberPicture picture = ParsePicture(pattern);
    char buffer[512];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    std::string digits(buffer, result.ptr);
    const std::size_t point = digits.find('.');
    std::string integer = point == std::string::npos ? digits : digits.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : digits.substr(point + 1);
    RoundDecimal(integer, fraction, picture.maxDecimals);
    while (static_cast<int>(fraction.size()) > picture.minDecimals && !fraction.empty() &&
           fraction.back() == '0')
        fraction.pop_back();
    while (static_cast<int>(fraction.size()) < picture.minDecimals)
        fraction += '0';
    const std::size_t firstSignificant = integer.find_first_not_of('0');
    integer = firstSignificant == std::string::npos ? std::string() : integer.substr(firstSignificant);
    const bool isZero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
    while (static_cast<int>(integer.size()) < picture.minIntegerDigits)
        integer.insert(integer.begin(), '0');
    if (integer.empty() && fraction.empty())
        integer = "0";
    std::string out = picture.prefix;
    if (value < 0 && !isZero)
        out += '-';
    out += picture.grouping ? Group(integer, settings.ThousandSeparator) : integer;
    if (!fraction.empty())
        out += settings.DecimalSeparator + fraction;
    out += picture.suffix;
    return out;
}

std::string FormatFloat(const std::string& pattern, double value) {
    return FormatFloat(pattern, value, platform::GetFormatSettings());
}

bool TryStrToDateTime(const std::string& text, const TFormatSettings& settings, TDateTime& result) {
    std::size_t pos = 0;
    SkipBlanks(text, pos);
    if (pos >= text.size())
        return false;
    TDateTime date = 0, time = 0;
    bool hasDate = false, hasTime = false;
    const std::size_t start = pos;
    if (ReadDate(text, pos, settings, date)) {
        hasDate = true;
    } else {
        pos = start;
    }
    SkipBlanks(text, pos);
    if (pos < text.size()) {
        if (!ReadTime(text, pos, settings, time))
            return false;
        hasTime = true;
        SkipBlanks(text, pos);
    }
    if (pos != text.size() || (!hasDate && !hasTime))
        return false;
    result = date >= 0 ? date + time : date - time;
    return true;
}
