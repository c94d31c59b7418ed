// The scheduler's due rule.
#include "app/main_window/schedule_due.h"

#include "engine/helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kMsPerMinute = 60'000;

// A date-time split into its day number and its time of day in milliseconds. Values come from files and
// the clock, so one that no clock can show is read as the epoch rather than overflowing.
struct Moment {
    std::int64_t Day = 0;
    std::int64_t TimeOfDay = 0;
    std::int64_t Milliseconds() const { return Day * kMsPerDay + TimeOfDay; }
};

Moment Split(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e7)
        return {};
    const double day = std::trunc(value);
    const double fraction = std::fabs(value - day);
    return {static_cast<std::int64_t>(day),
            std::min<std::int64_t>(std::llround(fraction * static_cast<double>(kMsPerDay)), kMsPerDay - 1)};
}

// A timed kind: due from today's moment of the stored time of day on, once per day.
bool DueToday(TDateTime storedTime, const Moment& last, const Moment& now) {
    const std::int64_t moment = Moment{now.Day, Split(storedTime).TimeOfDay}.Milliseconds();
    const std::int64_t nowMs = now.Milliseconds();
    const std::int64_t lastMs = last.Milliseconds();
    if (nowMs < moment)
        return false;
    return lastMs < moment || lastMs > nowMs;
}

} // namespace

bool IsScheduleDue(const TBackupSchedule& schedule, TDateTime lastBackup, TDateTime now) {
    const Moment nowAt = Split(now);
    const Moment lastAt = Split(lastBackup);
    // Calendar facts of today, taken from the day number alone (1 = Sunday ... 7 = Saturday).
    const TDateTime today = static_cast<double>(nowAt.Day);
    const int weekDay = platform::DayOfWeek(today);
    switch (schedule.ScheduleType) {
    case stHourly: {
        const std::int64_t distance = std::abs(nowAt.Milliseconds() - lastAt.Milliseconds());
        return distance / kMsPerMinute >= static_cast<std::int64_t>(schedule.Hours()) * 60;
    }
    case stWeekly:
        return weekDay - 1 == schedule.Day && DueToday(schedule.DayTime, lastAt, nowAt);
    case stDaily:
        return DueToday(schedule.DailyTime, lastAt, nowAt);
    case stWeekdays:
        return weekDay >= 2 && weekDay <= 6 && DueToday(schedule.DayTime, lastAt, nowAt);
    case stMonthly:
        return DayOfMonth(today) == schedule.DayOfMonth && DueToday(schedule.DayOfMonthTime, lastAt, nowAt);
    default:
        return false;
    }
}
