// The scheduler and the schedule page: the twenty-second tick that starts due profiles, and the page
// "5. Schedule" that edits the selected profile's schedule.
#include "app/main_window/main_window.h"

#include "app/main_window/schedule_due.h"
#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "platform/environment.h"
#include "ui_page_profiles.h"
#include "ui_page_schedule.h"
#include "widgets/text_conversion.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// Tests shorten the tick through this variable; a normal start never sets it.
int SchedulerInterval() {
    return platform::EnvironmentNumber("BRIMVALE_SCHEDULER_TICK_MS", 20000, 1);
}

// Radio items in their order on the page, and the kind each stands for.
enum ScheduleItem { itemHours = 0, itemDaily = 1, itemWeekly = 2, itemMonthly = 3, itemManual = 4 };

int ItemOfKind(std::uint8_t kind) {
    switch (kind) {
    case stManual:
        return itemManual;
    case stHourly:
        return itemHours;
    case stWeekly:
    case stWeekdays:
        return itemWeekly;
    case stDaily:
        return itemDaily;
    case stMonthly:
        return itemMonthly;
    default:
        return -1;
    }
}

// The time of day of a stored date-time, for a time picker.
QTime TimeOfDay(TDateTime value) {
    if (!std::isfinite(value))
        return QTime(0, 0);
    const double fraction = std::fabs(value - std::trunc(value));
    const int ms = std::min(static_cast<int>(std::llround(fraction * 86'400'000.0)), 86'399'999);
    return QTime::fromMSecsSinceStartOfDay(ms);
}

// The stored date-time with the picker's time of day; its date part stays as it was.
TDateTime WithTimeOfDay(TDateTime stored, QTime time) {
    const double day = std::isfinite(stored) ? std::trunc(stored) : 0;
    return day + time.msecsSinceStartOfDay() / 86'400'000.0;
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
    Ui::PageSchedule& page = *m_uiSchedule;
    timMain = new QTimer(this);
    timMain->setObjectName("timMain");
    timMain->setInterval(SchedulerInterval());
    ConnectGuarded(timMain, &QTimer::timeout, &TfrmMain::timMainTimer);
    timMain->start();

    m_scheduleItems = new QButtonGroup(this);
    m_scheduleItems->addButton(page.rdoScheduleHours, itemHours);
    m_scheduleItems->addButton(page.rdoScheduleDaily, itemDaily);
    m_scheduleItems->addButton(page.rdoScheduleWeekly, itemWeekly);
    m_scheduleItems->addButton(page.rdoScheduleMonthly, itemMonthly);
    m_scheduleItems->addButton(page.rdoScheduleManual, itemManual);
    ConnectGuarded(m_scheduleItems, &QButtonGroup::idClicked, &TfrmMain::rgrScheduleClick);
    ConnectGuarded(page.spnHours, &QSpinBox::valueChanged, &TfrmMain::spnHoursChange);
    ConnectGuarded(page.spnDayOfMonth, &QSpinBox::valueChanged, &TfrmMain::spnDayOfMonthChange);
    ConnectGuarded(page.cboDay, &QComboBox::currentIndexChanged, &TfrmMain::cboDayChange);
    ConnectGuarded(page.datDailyTime, &QTimeEdit::timeChanged, &TfrmMain::datDailyTimeChange);
    ConnectGuarded(page.datDayTime, &QTimeEdit::timeChanged, &TfrmMain::datDayTimeChange);
    ConnectGuarded(page.datDayOfMonthTime, &QTimeEdit::timeChanged, &TfrmMain::datDayOfMonthTimeChange);
    ConnectGuarded(page.chklstWhenOptions, &QListWidget::itemChanged, &TfrmMain::chklstWhenOptionsClickCheck);
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

void TfrmMain::ShowSchedule(const TBackupProfile& p) {
    Ui::PageSchedule& page = *m_uiSchedule;
    const TBackupSchedule& schedule = p.Schedule;
    // Showing never edits: every control is filled with its signals blocked, and a value outside a
    // control's range is shown at its limit without being written back.
    const QSignalBlocker blockOptions(page.chklstWhenOptions);
    const QSignalBlocker blockDay(page.cboDay);
    const QSignalBlocker blockHours(page.spnHours);
    const QSignalBlocker blockDayOfMonth(page.spnDayOfMonth);
    const QSignalBlocker blockDaily(page.datDailyTime);
    const QSignalBlocker blockDayTime(page.datDayTime);
    const QSignalBlocker blockMonthTime(page.datDayOfMonthTime);
    const QSignalBlocker blockItems(m_scheduleItems);
    page.chklstWhenOptions->item(0)->setCheckState(schedule.RunAtStartup ? Qt::Checked : Qt::Unchecked);
    page.chklstWhenOptions->item(1)->setCheckState(schedule.RunAtShutdown ? Qt::Checked : Qt::Unchecked);
    m_uiProfiles->cmdBackupNow->setEnabled(RunningBackupCount() < RunSlotCount && !p.InProcess);
    if (schedule.ScheduleType == stWeekdays)
        page.cboDay->setCurrentIndex(0);
    else if (schedule.Day <= 6)
        page.cboDay->setCurrentIndex(schedule.Day + 1);
    const int item = ItemOfKind(schedule.ScheduleType);
    if (item >= 0) {
        m_scheduleItems->button(item)->setChecked(true);
    } else if (QAbstractButton* checked = m_scheduleItems->checkedButton()) {
        m_scheduleItems->setExclusive(false);
        checked->setChecked(false);
        m_scheduleItems->setExclusive(true);
    }
    const bool enabled = page.rgrSchedule->isEnabled();
    for (QWidget* control :
         std::initializer_list<QWidget*>{page.spnHours, page.datDailyTime, page.cboDay, page.datDayTime,
                                         page.spnDayOfMonth, page.datDayOfMonthTime})
        control->setEnabled(enabled);
    page.spnHours->setValue(std::clamp(schedule.Hours(), 1, 24));
    page.datDailyTime->setTime(TimeOfDay(schedule.DailyTime));
    page.datDayTime->setTime(TimeOfDay(schedule.DayTime));
    page.spnDayOfMonth->setValue(std::clamp(schedule.DayOfMonth, 1, 31));
    page.datDayOfMonthTime->setTime(TimeOfDay(schedule.DayOfMonthTime));
    page.lblLastBackup->setText(LastBackupText(p.LastBackup));
}

void TfrmMain::rgrScheduleClick() {
    TBackupProfile* p = SelectedProfile();
    if (!p || !m_uiSchedule->rgrSchedule->isEnabled())
        return;
    std::uint8_t kind = stManual;
    switch (m_scheduleItems->checkedId()) {
    case itemHours:
        kind = stHourly;
        break;
    case itemDaily:
        kind = stDaily;
        break;
    case itemWeekly:
        kind = m_uiSchedule->cboDay->currentIndex() == 0 ? stWeekdays : stWeekly;
        break;
    case itemMonthly:
        kind = stMonthly;
        break;
    case itemManual:
        kind = stManual;
        break;
    default:
        return;
    }
    if (p->Schedule.ScheduleType != kind) {
        p->Schedule.ScheduleType = kind;
        MarkModified(*p);
    }
}

void TfrmMain::cboDayChange() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    QComboBox* days = m_uiSchedule->cboDay;
    // The empty last item stands for Monday.
    if (days->currentIndex() == 8) {
        const QSignalBlocker block(days);
        days->setCurrentIndex(2);
    }
    const int item = days->currentIndex();
    // The kind follows the day only while the page shows the weekly item, so page and profile agree.
    const bool weekly = m_scheduleItems->checkedId() == itemWeekly;
    TBackupSchedule& schedule = p->Schedule;
    if (item == 0) {
        if (weekly && schedule.ScheduleType != stWeekdays) {
            schedule.ScheduleType = stWeekdays;
            MarkModified(*p);
        }
        return;
    }
    if (item < 1 || item > 7)
        return;
    const auto day = static_cast<std::uint8_t>(item - 1);
    if (schedule.Day != day) {
        schedule.Day = day;
        MarkModified(*p);
    }
    if (weekly && schedule.ScheduleType == stWeekdays) {
        schedule.ScheduleType = stWeekly;
        MarkModified(*p);
    }
}

void TfrmMain::spnHoursChange() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    const int hours = std::max(1, m_uiSchedule->spnHours->value());
    if (p->Schedule.Hours() != hours) {
        p->Schedule.SetHours(hours);
        MarkModified(*p);
    }
}

void TfrmMain::spnDayOfMonthChange() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    const int day = m_uiSchedule->spnDayOfMonth->value();
    if (p->Schedule.DayOfMonth != day) {
        p->Schedule.DayOfMonth = day;
        MarkModified(*p);
    }
}

void TfrmMain::EditScheduleTime(TDateTime TBackupSchedule::*field, const QTimeEdit* picker) {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    TDateTime& stored = p->Schedule.*field;
    if (TimeOfDay(stored) == picker->time())
        return;
    stored = WithTimeOfDay(stored, picker->time());
    MarkModified(*p);
}

void TfrmMain::datDailyTimeChange() {
    EditScheduleTime(&TBackupSchedule::DailyTime, m_uiSchedule->datDailyTime);
}

void TfrmMain::datDayTimeChange() {
    EditScheduleTime(&TBackupSchedule::DayTime, m_uiSchedule->datDayTime);
}

void TfrmMain::datDayOfMonthTimeChange() {
    EditScheduleTime(&TBackupSchedule::DayOfMonthTime, m_uiSchedule->datDayOfMonthTime);
}

void TfrmMain::chklstWhenOptionsClickCheck() {
    TBackupProfile* p = SelectedProfile();
    if (!p)
        return;
    p->Schedule.RunAtStartup = m_uiSchedule->chklstWhenOptions->item(0)->checkState() == Qt::Checked;
    p->Schedule.RunAtShutdown = m_uiSchedule->chklstWhenOptions->item(1)->checkState() == Qt::Checked;
    MarkModified(*p);
}
