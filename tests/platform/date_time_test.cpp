#include "platform/date_time.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(DateTime, DayNumbersCountFromThirtiethDecember1899) {
    struct Case {
        int year, month, day;
        double expected;
    } cases[] = {
        {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {1899, 12, 29, -1}, {2004, 3, 2, 38048}};
    for (const auto& c : cases) {
        TDateTime value = -99;
        ASSERT_TRUE(TryEncodeDate(c.year, c.month, c.day, value));
        EXPECT_EQ(value, c.expected) << c.year << "-" << c.month << "-" << c.day;
        const DateParts back = DecodeDateTime(value);
        EXPECT_EQ(back.Year, c.year);
        EXPECT_EQ(back.Month, c.month);
        EXPECT_EQ(back.Day, c.day);
    }
}

TEST(DateTime, RefusesDaysThatDoNotExist) {
    TDateTime value = 0;
    EXPECT_FALSE(TryEncodeDate(2003, 2, 29, value));
    EXPECT_TRUE(TryEncodeDate(2004, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, value));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(2004, 13, 1, value));
    EXPECT_FALSE(TryEncodeDate(2004, 4, 31, value));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, value));
}

TEST(DateTime, TimeOfDayIsTheFractionAlsoBefore1899) {
    const TDateTime afternoon = EncodeDateTime({2004, 3, 2, 13, 5, 9, 0});
    const DateParts p = DecodeDateTime(afternoon);
    EXPECT_EQ(p.Hour, 13);
    EXPECT_EQ(p.Minute, 5);
    EXPECT_EQ(p.Second, 9);
    const TDateTime early = EncodeDateTime({1899, 12, 29, 6, 0, 0, 0});
    EXPECT_DOUBLE_EQ(early, -1.25);
    EXPECT_EQ(DecodeDateTime(early).Hour, 6);
    // A value a fraction of a millisecond before midnight rounds into the next day, never to 24:00.
    const DateParts late = DecodeDateTime(38048.0 - 1e-10);
    EXPECT_EQ(late.Day, 2);
    EXPECT_EQ(late.Hour, 0);
}

TEST(DateTime, DayOfWeekStartsOnSunday) {
    EXPECT_EQ(DayOfWeek(0), 7);                             // 30 Dec 1899, a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 6})), 1); // a Sunday
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2026, 12, 10, 12})), 5);
}
