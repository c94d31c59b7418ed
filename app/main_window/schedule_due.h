// When a profile's schedule starts a run by itself: a pure function of the schedule, the profile's last
// run (or refused start) and the current time, so that the scheduler tick stays easy to test.
#pragma once

#include "engine/backup_profile.h"
#include "platform/date_time.h"

// True when the scheduler is to start the profile now. Manual schedules and unknown kinds are never
// due. Times are compared in whole milliseconds; a last run later than Now (the clock was put back)
// counts as earlier than today's time of a timed kind.
bool IsScheduleDue(const TBackupSchedule& schedule, TDateTime lastBackup, TDateTime now);
