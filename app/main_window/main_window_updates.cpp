// The update check: when the feed is asked, for which kinds, and the updates window.
#include "app/main_window/main_window.h"

#include "engine/helpers.h"
#include "platform/clock.h"
#include "ui_page_application.h"
#include "updates/update_feed.h"
#include "updates/updates_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <memory>

namespace {

// Days between checks for the interval items "every day", "every 7 days", "every 15 days" and
// "every 30 days" (items 1 to 4); item 0 is "at startup".
constexpr double IntervalDays[] = {0, 1.0, 7.0, 15.0, 30.0};

// A kind set to interval Index is due: "at startup" only at the main window's own call at start, the
// others once that many days have passed since the last check, anything else (none chosen) never. A last
// check dated after now was made under a wrong clock and counts as long ago.
bool IntervalDue(int index, bool startup, TDateTime lastCheck, TDateTime now) {
    if (index == 0)
        return startup;
    if (index < 1 || index > 4)
        return false;
    return lastCheck > now || now - lastCheck >= IntervalDays[index];
}

// The screen cursor back to the default one, however the check ends.
struct TDefaultCursorOnExit {
    TDefaultCursorOnExit() = default;
    TDefaultCursorOnExit(const TDefaultCursorOnExit&) = delete;
    TDefaultCursorOnExit& operator=(const TDefaultCursorOnExit&) = delete;
    ~TDefaultCursorOnExit() {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
};

// The window of the running check, and the guard that marks it: the window goes first (it ends its
// workers meanwhile, serving timer ticks), and only then is the guard cleared, so that no tick starts a
// second check before the first has ended.
struct TRunningCheck {
    explicit TRunningCheck(QObject*& guard) : Guard(guard) {}
    TRunningCheck(const TRunningCheck&) = delete;
    TRunningCheck& operator=(const TRunningCheck&) = delete;
    ~TRunningCheck() {
        Form.reset();
        Guard = nullptr;
    }
    QObject*& Guard;
    std::unique_ptr<TfrmUpdates> Form;
};

} // namespace

void TfrmMain::ConnectUpdates() {
    QPushButton* checkNow = m_uiApplication->cmdCheckUpdates;
    ConnectGuarded(checkNow, &QPushButton::clicked, [this, checkNow] { CheckForUpdates(checkNow); });
}

void TfrmMain::EndUpdateCheck() {
    m_ending = true;
    if (FUpdatesForm)
        static_cast<TfrmUpdates*>(FUpdatesForm)->Abandon();
}

void TfrmMain::CheckForUpdates(QObject* sender) {
    const TDefaultCursorOnExit defaultCursor;
    Ui::PageApplication& ui = *m_uiApplication;
    const bool onDemand = sender == ui.cmdCheckUpdates;
    if (onDemand)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    // A check is running: this call came from a message served inside it. Once the program ends, no
    // check starts.
    if (FUpdatesForm || m_ending)
        return;

    const bool startup = sender == this;
    const TDateTime now = platform::Now();
    const TDateTime lastCheck = m_settings.LastUpdateCheck;
    const bool updatesDue = onDemand || (ui.chkUpdates->isChecked() &&
                                         IntervalDue(ui.cboUpdates->currentIndex(), startup, lastCheck, now));
    const bool upgradesDue =
        onDemand ||
        (ui.chkUpgrades->isChecked() && IntervalDue(ui.cboUpgrades->currentIndex(), startup, lastCheck, now));
    if (!updatesDue && !upgradesDue)
        return;

    TRunningCheck check(FUpdatesForm);
    check.Form = std::make_unique<TfrmUpdates>(this);
    TfrmUpdates& form = *check.Form;
    FUpdatesForm = &form;
    form.imgSplash()->setPixmap(windowIcon().pixmap(32, 32));
    // AppVersion holds the program file's version numbers, read at start.
    form.SetCurrentVersion(AppVersion);
    form.SetProductName(QStringLiteral("Brimvale"));
    form.CheckUpdates = updatesDue;
    form.CheckUpgrades = upgradesDue;
    form.chkAutoCheckUpdates()->setChecked(ui.chkUpdates->isChecked());
    form.cboUpdatesInterval()->setCurrentIndex(ui.cboUpdates->currentIndex());
    form.chkAutoCheckUpgrades()->setChecked(ui.chkUpgrades->isChecked());
    form.cboUpgradesInterval()->setCurrentIndex(ui.cboUpgrades->currentIndex());

    const bool offered = form.CheckFeed(UpdateFeedAddress());
    // The program's end came while the feed was awaited: the window is not shown any more.
    if (m_ending)
        return;
    if (offered || onDemand) {
        // The window's own cursor shows; the wait is over.
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        // Only a check the user asked for says that it failed; an automatic one stays silent.
        if (!form.FeedError.empty())
            form.ShowFailedCheck();
        dialogs::ExecDialog(form);
        ui.chkUpdates->setChecked(form.chkAutoCheckUpdates()->isChecked());
        ui.cboUpdates->setCurrentIndex(form.cboUpdatesInterval()->currentIndex());
        ui.chkUpgrades->setChecked(form.chkAutoCheckUpgrades()->isChecked());
        ui.cboUpgrades->setCurrentIndex(form.cboUpgradesInterval()->currentIndex());
        chkUpdatesClick();
        chkUpgradesClick();
    }

    // Also after a failed request or nothing found: the next automatic check waits a full interval.
    m_settings.LastUpdateCheck = platform::Now();
    SaveAppSettings();
}
