// The profile model's one behaviour: the clamping setter of the hourly interval.
#include "engine/backup_profile.h"

void TBackupSchedule::SetHours(std::int32_t hours) {
    m_hours = hours > 0 ? hours : 1;
}
