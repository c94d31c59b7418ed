// Turning a QLocale into the locale value.
#include "app/locale_settings.h"

#include "widgets/text_conversion.h"

namespace {

bool IsDateLetter(QChar c) {
    return c == 'd' || c == 'M' || c == 'y';
}
bool IsTimeLetter(QChar c) {
    return c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 'z';
}

} // namespace

std::string ConvertQtDateTimePattern(const QString& pattern, std::string& dateSeparator,
                                     std::string& timeSeparator) {
    std::string out;
    bool foundDateSeparator = false, foundTimeSeparator = false;
    QChar lastField; // the kind of the last date or time field, to tell which separator follows it
    int i = 0;
    const int size = static_cast<int>(pattern.size());
    while (i < size) {
        const QChar c = pattern[i];
        int run = 1;
        while (i + run < size && pattern[i + run] == c)
            ++run;
        if (c == '\'') {
            // Quoted text; '' stands for one quote.
            if (run >= 2 && run % 2 == 0) {
                out += std::string(static_cast<std::size_t>(run / 2), '\'');
                i += run;
                continue;
            }
            const int close = pattern.indexOf('\'', i + 1);
            const int end = close < 0 ? size : close;
            const QString text = pattern.mid(i + 1, end - i - 1);
            if (!text.isEmpty())
                out += "\"" + S(text) + "\"";
            i = end + 1;
            continue;
        }
        if (c == 'd') {
            out += std::string(static_cast<std::size_t>(std::min(run, 4)), 'd');
        } else if (c == 'M') {
            out += std::string(static_cast<std::size_t>(std::min(run, 4)), 'm');
        } else if (c == 'y') {
            out += run >= 3 ? "yyyy" : "yy";
        } else if (c == 'h' || c == 'H') {
            out += run >= 2 ? "hh" : "h";
        } else if (c == 'm') {
            out += run >= 2 ? "nn" : "n";
        } else if (c == 's') {
            out += run >= 2 ? "ss" : "s";
        } else if (c == 'z') {
            out += "zzz";
        } else if (c == 'A' || c == 'a' || c == 'P' || c == 'p') {
            // "AP", "A", "ap", "a": the locale's AM/PM texts, or lower-case am/pm.
            const bool lower = c == 'a' || c == 'p';
            out += lower ? "am/pm" : "ampm";
            if (i + 1 < size && (pattern[i + 1] == 'P' || pattern[i + 1] == 'p'))
                ++run;
        } else if (c == 't') {
            // The time zone has no token: drop it with the blank before it.
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
        } else if (c.isLetter()) {
            out += "\"" + S(QString(run, c)) + "\"";
        } else {
            // A separator: the first one after a date field is the date separator, after a time field
            // the time separator.
            const QString text(run, c);
            const bool betweenDateFields =
                IsDateLetter(lastField) && i + run < size && IsDateLetter(pattern[i + run]);
            const bool betweenTimeFields =
                IsTimeLetter(lastField) && i + run < size && IsTimeLetter(pattern[i + run]);
            if (betweenDateFields && c != ' ' && c != ',' &&
                (!foundDateSeparator || S(text) == dateSeparator)) {
                dateSeparator = S(text);
                foundDateSeparator = true;
                out += '/';
            } else if (betweenTimeFields && c != ' ' && (!foundTimeSeparator || S(text) == timeSeparator)) {
                timeSeparator = S(text);
                foundTimeSeparator = true;
                out += ':';
            } else if (c == '/' || c == ':' || c == '"') {
                out += "\"" + S(text) + "\"";
            } else {
                out += S(text);
            }
        }
        if (IsDateLetter(c) || IsTimeLetter(c))
            lastField = c;
        i += run;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

platform::TFormatSettings FormatSettingsFromLocale(const QLocale& locale) {
    platform::TFormatSettings s = platform::UsFormatSettings();
    std::string unusedTime, unusedDate;
    s.ShortDateFormat =
        ConvertQtDateTimePattern(locale.dateFormat(QLocale::ShortFormat), s.DateSeparator, unusedTime);
    s.LongDateFormat =
        ConvertQtDateTimePattern(locale.dateFormat(QLocale::LongFormat), unusedDate, unusedTime);
    s.ShortTimeFormat =
        ConvertQtDateTimePattern(locale.timeFormat(QLocale::ShortFormat), unusedDate, s.TimeSeparator);
    s.LongTimeFormat =
        ConvertQtDateTimePattern(locale.timeFormat(QLocale::LongFormat), unusedDate, s.TimeSeparator);
    s.DecimalSeparator = S(locale.decimalPoint());
    s.ThousandSeparator = S(locale.groupSeparator());
    if (!locale.amText().isEmpty())
        s.TimeAMString = S(locale.amText());
    if (!locale.pmText().isEmpty())
        s.TimePMString = S(locale.pmText());
    for (int month = 1; month <= 12; ++month) {
        s.LongMonthNames[static_cast<std::size_t>(month - 1)] =
            S(locale.monthName(month, QLocale::LongFormat));
        s.ShortMonthNames[static_cast<std::size_t>(month - 1)] =
            S(locale.monthName(month, QLocale::ShortFormat));
    }
    for (int day = 0; day < 7; ++day) {
        const int qtDay = day == 0 ? 7 : day; // Qt counts Monday 1 ... Sunday 7
        s.LongDayNames[static_cast<std::size_t>(day)] = S(locale.dayName(qtDay, QLocale::LongFormat));
        s.ShortDayNames[static_cast<std::size_t>(day)] = S(locale.dayName(qtDay, QLocale::ShortFormat));
    }
    return s;
}
