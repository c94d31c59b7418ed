// The texts of the two messages a run mails: the backup with its archive, and the run's notification.
// Built without a server, so that what the user reads can be checked on its own.
#pragma once

#include "engine/backup_log.h"
#include "engine/backup_profile.h"

#include <string>
#include <vector>

// The plain-text and the HTML part of one message, a line each.
struct TMailTexts {
    std::vector<std::string> Plain;
    std::vector<std::string> Html;
};

// The message that carries the backup archive of the profile named ProfileName.
TMailTexts BackupMailTexts(const std::string& profileName, const TBackupSummary& summary);
// The notification of a run of Profile; LogAttached adds the sentence that names the attached run log.
TMailTexts NotificationMailTexts(const TBackupProfile& profile, const TBackupSummary& summary,
                                 bool logAttached);
