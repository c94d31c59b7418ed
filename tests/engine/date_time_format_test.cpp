#include "engine/date_time_format.h"

#include "tests/support/seams.h"

#include <gtest/gtest.h>

using platform::EncodeDateTime;
using platform::TFormatSettings;
using platform::UsFormatSettings;
using testing_support::GermanFormatSettings;

TEST(FormatDateTime, Tokens) {
    const TDateTime t = EncodeDateTime({2004, 3, 2, 13, 5, 9, 0});
    const TFormatSettings& us = UsFormatSettings();
    struct Case {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"mm/dd/yyyy hh:nn:ss ampm", "03/02/2004 01:05:09 PM"},
        {"_mmddyyyy_hhnnss", "_03022004_130509"},
        {"_yyyymmdd_hhmmss", "_20040302_130509"}, // "mm" after "hh" is minutes
        {"mmmm d, yyyy", "March 2, 2004"},
        {"hh:nn:ss am/pm", "01:05:09 pm"},
        {"d/m/yy h:n", "2/3/04 13:5"},
        {"yyyymmddhhnnss", "20040302130509"},
        {"'at' hh", "at 13"},
        {"dddd", "Tuesday"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.pattern, t, us), c.expected) << c.pattern;
    EXPECT_EQ(FormatDateTime("hh ampm", EncodeDateTime({2004, 3, 2, 0, 0, 0, 0}), us), "12 AM");
    EXPECT_EQ(FormatDateTime("hh ampm", EncodeDateTime({2004, 3, 2, 12, 0, 0, 0}), us), "12 PM");
}

TEST(FormatDateTime, UsesTheGivenSeparatorsAndNames) {
    const TDateTime t = EncodeDateTime({2004, 3, 2, 13, 5, 9, 0});
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", t, GermanFormatSettings()), "02.03.2004 13:05");
    EXPECT_EQ(FormatDateTime("mmmm", t, GermanFormatSettings()), "März");
    EXPECT_EQ(FormatDateTime("ddddd", t, GermanFormatSettings()), "02.03.2004");
}

TEST(FormatFloat, Pictures) {
    const TFormatSettings& us = UsFormatSettings();
    struct Case {
        const char* pattern;
        double value;
        const char* expected;
    } cases[] = {
        {"#,##0", 999, "999"},
        {"#,##0", 1000, "1,000"},
        {"#,##0", 999.999, "1,000"},
        {"#,##0", 2.5, "3"}, // halves round away from zero
        {"#,###.00", 2.5, "2.50"},
        {"#,###.00", 1234567.891, "1,234,567.89"},
        {"#,###.00", 0.5, ".50"},
        {"0", 2.4, "2"},
        {"0", 0.4, "0"},
        {"#.########", 38048.54524305555, "38048.54524306"},
        {"#.########", 38048.0, "38048"},
        {"#.########", 0.0, "0"},
        {"#,##0", -1234.4, "-1,234"},
        {"0.00", 1.005, "1.01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFloat(c.pattern, c.value, us), c.expected) << c.pattern << " " << c.value;
    EXPECT_EQ(FormatFloat("#,###.00", 1234.5, GermanFormatSettings()), "1.234,50");
}

TEST(StrToDateTime, ReadsDatesTimesAndBoth) {
    const TFormatSettings& us = UsFormatSettings();
    TDateTime v = -1;
    ASSERT_TRUE(TryStrToDateTime("03/02/2004 01:05:09 PM", us, v));
    EXPECT_DOUBLE_EQ(v, EncodeDateTime({2004, 3, 2, 13, 5, 9, 0}));
    ASSERT_TRUE(TryStrToDateTime("12/31/1899", us, v));
    EXPECT_DOUBLE_EQ(v, 1.0);
    ASSERT_TRUE(TryStrToDateTime("12:00:00 AM", us, v));
    EXPECT_DOUBLE_EQ(v, 0.0);
    ASSERT_TRUE(TryStrToDateTime("18:30", us, v));
    EXPECT_DOUBLE_EQ(v, 0.75 + 30.0 / 1440);
    for (const char* bad : {"", "   ", "13/01/2004", "02/30/2004", "03/02/2004 25:00", "hello",
                            "03/02/2004 1:05 XM", "03/02/2004x", "13:00 PM"})
        EXPECT_FALSE(TryStrToDateTime(bad, us, v)) << bad;
}
