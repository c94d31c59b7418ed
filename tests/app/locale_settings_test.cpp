// The locale value from Qt's locales.
#include "app/locale_settings.h"
#include "engine/date_time_format.h"

#include <gtest/gtest.h>

TEST(LocaleSettings, ConvertsQtPatternsToOurTokens) {
    struct Case {
        const char* qt;
        const char* ours;
        const char* dateSeparator;
        const char* timeSeparator;
    };
    const Case cases[] = {
        {"M/d/yy", "m/d/yy", "/", "?"},
        {"dd.MM.yyyy", "dd/mm/yyyy", ".", "?"},
        {"yyyy-MM-dd", "yyyy/mm/dd", "-", "?"},
        {"dddd, MMMM d, yyyy", "dddd, mmmm d, yyyy", "?", "?"},
        {"d MMM yyyy", "d mmm yyyy", "?", "?"},
        {"h:mm:ss AP t", "h:nn:ss ampm", "?", ":"},
        {"HH:mm", "hh:nn", "?", ":"},
        {"H.mm.ss", "h:nn:ss", "?", "."},
        {"h:mm ap", "h:nn am/pm", "?", ":"},
        {"d 'de' MMMM 'de' yyyy", "d \"de\" mmmm \"de\" yyyy", "?", "?"},
        {"HH'h'mm", "hh\"h\"nn", "?", "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.qt);
        std::string date = "?", time = "?";
        EXPECT_EQ(ConvertQtDateTimePattern(c.qt, date, time), c.ours);
        EXPECT_EQ(date, c.dateSeparator);
        EXPECT_EQ(time, c.timeSeparator);
    }
}

TEST(LocaleSettings, GermanLocaleFormatsAsGermansWriteDates) {
    const platform::TFormatSettings s = FormatSettingsFromLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(s.DateSeparator, ".");
    EXPECT_EQ(s.DecimalSeparator, ",");
    EXPECT_EQ(s.ThousandSeparator, ".");
    EXPECT_EQ(s.LongMonthNames[2], "März");
    EXPECT_EQ(s.LongDayNames[0], "Sonntag");
    // 31 December 2025, 14:05:09.
    const double value = 46022 + (14 * 3600 + 5 * 60 + 9) / 86400.0;
    EXPECT_EQ(FormatDateTime(s.ShortDateFormat, value, s), "31.12.25");
    EXPECT_EQ(FormatDateTime(s.LongTimeFormat, value, s), "14:05:09");
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, s), "1.234,50");

    const platform::TFormatSettings us =
        FormatSettingsFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(FormatDateTime(us.LongTimeFormat, value, us), "2:05:09 PM");
    EXPECT_EQ(us.TimeAMString, "AM");
}
