// The scheduler's due rule: each kind on both sides of its boundaries.
#include "app/main_window/schedule_due.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return platform::EncodeDateTime({year, month, day, hour, minute, second, ms});
}

// A stored time of day carries a date part of its own, which must not count.
TDateTime TimeOnly(int hour, int minute) {
    return At(2001, 7, 4, hour, minute);
}

TBackupSchedule Schedule(std::uint8_t kind, std::int32_t hours = 1) {
    TBackupSchedule schedule;
    schedule.ScheduleType = kind;
    schedule.SetHours(hours);
    return schedule;
}

TBackupSchedule Daily(int hour, int minute) {
    TBackupSchedule schedule = Schedule(stDaily);
    schedule.DailyTime = TimeOnly(hour, minute);
    return schedule;
}

TBackupSchedule Weekly(std::uint8_t kind, std::uint8_t day, int hour) {
    TBackupSchedule schedule = Schedule(kind);
    schedule.Day = day;
    schedule.DayTime = TimeOnly(hour, 0);
    return schedule;
}

TBackupSchedule Monthly(std::int32_t dayOfMonth, int hour) {
    TBackupSchedule schedule = Schedule(stMonthly);
    schedule.DayOfMonth = dayOfMonth;
    schedule.DayOfMonthTime = TimeOnly(hour, 0);
    return schedule;
}

struct DueCase {
    const char* name;
    TBackupSchedule schedule;
    TDateTime lastBackup;
    TDateTime now;
    bool due;
};

// 2024-03-12 is a Tuesday; 2024 is a leap year, 2023 is not.
const DueCase kCases[] = {
    {"manual, never ran", Schedule(stManual), 0, At(2024, 3, 12, 9), false},
    {"kind 6", Schedule(6), 0, At(2024, 3, 12, 9), false},
    {"kind 255", Schedule(255), 0, At(2024, 3, 12, 9), false},

    {"hourly, never ran", Schedule(stHourly), 0, At(2024, 3, 12, 9), true},
    {"hourly 3, exactly 180 minutes", Schedule(stHourly, 3), At(2024, 3, 12, 6, 7), At(2024, 3, 12, 9, 7),
     true},
    {"hourly 3, a millisecond short", Schedule(stHourly, 3), At(2024, 3, 12, 6, 7, 0, 1),
     At(2024, 3, 12, 9, 7), false},
    {"hourly 24, last a day ahead less a minute", Schedule(stHourly, 24), At(2024, 3, 13, 8, 1),
     At(2024, 3, 12, 8, 2), false},
    {"hourly 24, last a day ahead", Schedule(stHourly, 24), At(2024, 3, 13, 8, 2), At(2024, 3, 12, 8, 2),
     true},
    {"hourly, hours beyond any distance", Schedule(stHourly, INT_MAX), 0, At(2024, 3, 12, 9), false},

    {"daily 02:00, last yesterday, started at 09:00", Daily(2, 0), At(2024, 3, 11, 2, 0), At(2024, 3, 12, 9),
     true},
    {"daily 02:00, ran today at 09:00, 10:00", Daily(2, 0), At(2024, 3, 12, 9), At(2024, 3, 12, 10), false},
    {"daily 02:00, one minute early", Daily(2, 0), At(2024, 3, 10), At(2024, 3, 12, 1, 59), false},
    {"daily 02:00, at 02:00 exactly", Daily(2, 0), At(2024, 3, 10), At(2024, 3, 12, 2, 0), true},
    {"daily 02:00, last exactly at 02:00", Daily(2, 0), At(2024, 3, 12, 2, 0), At(2024, 3, 12, 2, 1), false},
    {"daily 02:00, last a millisecond before", Daily(2, 0), At(2024, 3, 12, 1, 59, 59, 999),
     At(2024, 3, 12, 2, 1), true},
    {"daily 02:00, last next month (clock put back)", Daily(2, 0), At(2024, 4, 20, 3), At(2024, 3, 12, 9),
     true},
    {"daily 23:59, before it", Daily(23, 59), 0, At(2024, 3, 12, 23, 58), false},

    {"weekly Tuesday 08:00, on Tuesday", Weekly(stWeekly, 2, 8), 0, At(2024, 3, 12, 8), true},
    {"weekly Tuesday 08:00, on Wednesday", Weekly(stWeekly, 2, 8), 0, At(2024, 3, 13, 8), false},
    {"weekly Sunday 08:00, on Sunday", Weekly(stWeekly, 0, 8), 0, At(2024, 3, 10, 8), true},
    {"weekly on day 7", Weekly(stWeekly, 7, 8), 0, At(2024, 3, 16, 8), false},
    {"weekdays 08:00, Friday", Weekly(stWeekdays, 0, 8), 0, At(2024, 3, 15, 8), true},
    {"weekdays 08:00, Saturday", Weekly(stWeekdays, 0, 8), 0, At(2024, 3, 16, 8), false},
    {"weekdays 08:00, Sunday", Weekly(stWeekdays, 0, 8), 0, At(2024, 3, 17, 8), false},
    {"weekdays 08:00, Monday, ran on Friday", Weekly(stWeekdays, 0, 8), At(2024, 3, 15, 8),
     At(2024, 3, 18, 8), true},

    {"monthly 31st, on March 31", Monthly(31, 6), 0, At(2024, 3, 31, 6), true},
    {"monthly 31st, on April 30", Monthly(31, 6), 0, At(2024, 4, 30, 23), false},
    {"monthly 29th, February of a leap year", Monthly(29, 6), 0, At(2024, 2, 29, 6), true},
    {"monthly 29th, last day of February 2023", Monthly(29, 6), 0, At(2023, 2, 28, 23), false},
    {"monthly 29th, March 1 2023", Monthly(29, 6), 0, At(2023, 3, 1, 6), false},
    {"monthly 12th, ran this morning", Monthly(12, 6), At(2024, 3, 12, 6, 0, 20), At(2024, 3, 12, 7), false},
};

TEST(ScheduleDueTest, EachKindOnBothSidesOfItsBoundaries) {
    for (const DueCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsScheduleDue(c.schedule, c.lastBackup, c.now), c.due);
    }
}

} // namespace
