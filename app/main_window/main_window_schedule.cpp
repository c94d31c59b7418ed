// The scheduler and the schedule page: the twenty-second tick that starts due profiles, and the page
// "5. Schedule" that edits the selected profile's schedule.
#include "app/main_window/main_window.h"

#include "app/schedule_due.h"
#include "app/widgets/text_conversion.h"
#include "engine/date_time_format.h"
#include "engine/helpers.h"

#include <QTimer>

#include <cmath>

namespace {

// Tests shorten the tick through this variable; a normal start never sets it.
int SchedulerInterval() {
    bool ok = false;
    const int interval = qEnvironmentVariableIntValue("BRIMVALE_SCHEDULER_TICK_MS", &ok);
    return ok && interval > 0 ? interval : 20000;
}

} // namespace

QString TfrmMain::LastBackupText(TDateTime lastBackup) {
    if (lastBackup == 0)
        return "Last backup: <unknown>";
    const platform::TFormatSettings settings = platform::GetFormatSettings();
    std::string pattern = settings.ShortDateFormat;
    // The time is left out at exactly midnight.
    if (lastBackup != std::trunc(lastBackup))
        pattern += " " + settings.LongTimeFormat;
    return "Last backup: " + Q(FormatDateTime(pattern, lastBackup, settings));
}

void TfrmMain::ConnectSchedulePage() {
    timMain = new QTimer(this);
    timMain->setObjectName("timMain");
    timMain->setInterval(SchedulerInterval());
    ConnectGuarded(timMain, &QTimer::timeout, &TfrmMain::timMainTimer);
    timMain->start();
}

void TfrmMain::timMainTimer() {
    timMain->stop();
    // Due profiles start first and the timer is on again before the update check, so neither a
    // failing start nor an update window can stop the scheduled backups.
    for (std::size_t i = 0; i < FProfiles.size(); ++i) {
        const TBackupProfile* p = FProfiles[i].get();
        if (!p)
            continue;
        try {
            if (IsScheduleDue(p->Schedule, p->LastBackup, Now()))
                StartBackup(static_cast<int>(i));
        } catch (const std::exception& error) {
            timMain->start();
            dialogs::ShowError(this, Q(error.what()));
        }
    }
    timMain->start();
    CheckForUpdates(timMain);
}
