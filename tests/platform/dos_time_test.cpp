#include "platform/dos_time.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace platform;
using testing_support::ScopedEnv;

TEST(DosTime, TwoSecondStepsInLocalTime) {
    ScopedEnv tz("TZ", "Europe/Berlin");
    // 2004-03-02 13:05:09 in Berlin is 12:05:09 UTC.
    const std::time_t t = 1078229109;
    std::uint32_t dos = 0;
    ASSERT_TRUE(UnixToDosDateTime(t, dos));
    const DateParts p = DecodeDateTime(DosDateTimeToDateTime(dos));
    EXPECT_EQ(p.Hour, 13);
    EXPECT_EQ(p.Minute, 5);
    EXPECT_EQ(p.Second, 8); // odd seconds step down
    EXPECT_EQ(DosDateTimeToUnix(dos), t - 1);
    std::uint32_t next = 0;
    ASSERT_TRUE(UnixToDosDateTime(t - 1, next));
    EXPECT_EQ(next, dos);
}

TEST(DosTime, TimesOutsideTheFormatGiveZero) {
    ScopedEnv tz("TZ", "UTC");
    EXPECT_EQ(DosTimeOf(0), 0.0); // 1970 lies before the DOS epoch
    std::uint32_t dos = 0;
    EXPECT_FALSE(UnixToDosDateTime(4354819200LL, dos)); // 2108
    EXPECT_EQ(DosDateTimeToDateTime(0), 0.0);           // month 0
    EXPECT_EQ(DosDateTimeToUnix(0), -1);
}
