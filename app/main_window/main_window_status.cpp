// The Status page: starting a profile's run in one of the run slots, showing its progress, its end,
// aborting it, and the hint window over the slots' file labels and gauges.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/main_window/status_hint.h"
#include "app/tray_icon.h"
#include "engine/backup_log.h"
#include "engine/backup_log_list.h"
#include "engine/backup_thread.h"
#include "engine/helpers.h"
#include "platform/file_io.h"
#include "ui_main_window.h"
#include "ui_page_application.h"
#include "ui_page_profiles.h"
#include "ui_page_schedule.h"
#include "ui_page_status.h"
#include "widgets/text_conversion.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const char* const kRefused = "No destination and/or source selected.";
const char* const kAbortPrompt = "Warning! You are about to abort this backup. Do you wish to continue?";
const char* const kSizePattern = "#,###.00";

// The hint window's tag holds the slot number in its low four bits.
static_assert(RunSlotCount <= 0x0f);

// Enter, leave and move over one slot's file label or gauge, for the hint window.
class SlotHoverFilter : public QObject {
public:
    SlotHoverFilter(QObject* parent, std::function<void(QEvent::Type)> handler)
        : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Enter || type == QEvent::Leave || type == QEvent::MouseMove)
            m_handler(type);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QEvent::Type)> m_handler;
};

} // namespace

void TfrmMain::BuildRunSlots() {
    const Ui::PageStatus& page = *m_uiStatus;
    const TRunSlotControls controls[] = {
        {page.grpBkUpProcess1, page.lblStsFile1, page.prgBkUpProcess1, page.lblStsSize1, page.lblStsPrcsd1,
         page.lblProcessedFiles1, page.lblRemainingFiles1, page.lblTotalFiles1, page.cmdAbort1},
        {page.grpBkUpProcess2, page.lblStsFile2, page.prgBkUpProcess2, page.lblStsSize2, page.lblStsPrcsd2,
         page.lblProcessedFiles2, page.lblRemainingFiles2, page.lblTotalFiles2, page.cmdAbort2},
        {page.grpBkUpProcess3, page.lblStsFile3, page.prgBkUpProcess3, page.lblStsSize3, page.lblStsPrcsd3,
         page.lblProcessedFiles3, page.lblRemainingFiles3, page.lblTotalFiles3, page.cmdAbort3},
        {page.grpBkUpProcess4, page.lblStsFile4, page.prgBkUpProcess4, page.lblStsSize4, page.lblStsPrcsd4,
         page.lblProcessedFiles4, page.lblRemainingFiles4, page.lblTotalFiles4, page.cmdAbort4},
        {page.grpBkUpProcess5, page.lblStsFile5, page.prgBkUpProcess5, page.lblStsSize5, page.lblStsPrcsd5,
         page.lblProcessedFiles5, page.lblRemainingFiles5, page.lblTotalFiles5, page.cmdAbort5},
    };
    static_assert(std::size(controls) == RunSlotCount, "the Status page's form has a group per slot");
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        FSlots[i].Number = static_cast<int>(i) + 1;
        FSlots[i].Controls = controls[i];
    }
}

void TfrmMain::ConnectStatusPage() {
    BuildRunSlots();
    FHintWindow = new TStatusHint(this);
    for (TRunSlot& slot : FSlots) {
        for (const bool gauge : {false, true}) {
            QWidget* control = gauge ? static_cast<QWidget*>(slot.Controls.Gauge) : slot.Controls.File;
            control->setMouseTracking(true);
            control->installEventFilter(new SlotHoverFilter(
                this, [this, &slot, gauge](QEvent::Type type) { SlotHover(slot, gauge, type); }));
        }
        ConnectGuarded(slot.Controls.Abort, &QToolButton::clicked, [this, &slot] { AbortBkUp(slot); });
    }
    ConnectGuarded(m_uiProfiles->cmdBackupNow, &QPushButton::clicked, &TfrmMain::cmdBackupNowClick);
}

TRunSlot* TfrmMain::SlotNumbered(int number) {
    if (number < 1 || number > RunSlotCount)
        return nullptr;
    return &FSlots[static_cast<std::size_t>(number - 1)];
}

int TfrmMain::RunningBackupCount() const {
    return static_cast<int>(std::count_if(FSlots.begin(), FSlots.end(),
                                          [](const TRunSlot& slot) { return slot.Thread != nullptr; }));
}

int TfrmMain::FindFreeSlot() const {
    for (const TRunSlot& slot : FSlots) {
        if (!slot.Thread)
            return slot.Number;
    }
    return 0;
}

void TfrmMain::ResetSlot(TRunSlot& slot, const std::string& profileName, bool enabled) {
    QString name = Q(profileName);
    if (name.size() > 30)
        name = name.left(30) + "...";
    const TRunSlotControls& controls = slot.Controls;
    controls.Group->setTitle(" " + QString::number(slot.Number) + ". " + name);
    controls.File->clear();
    slot.FileHint.clear();
    controls.Size->setText("Size: ");
    controls.Processed->setText("Processed: ");
    controls.ProcessedFiles->setText("Files Processed:");
    controls.RemainingFiles->setText("Remaining Files:");
    controls.TotalFiles->setText("Total Files:");
    controls.Gauge->setValue(0);
    slot.GaugeHint.clear();
    for (QWidget* control : std::initializer_list<QWidget*>{
             controls.Group, controls.File, controls.Gauge, controls.Size, controls.Processed,
             controls.ProcessedFiles, controls.RemainingFiles, controls.TotalFiles, controls.Abort})
        control->setEnabled(enabled);
}

void TfrmMain::EnableBackupNowForSelection() {
    if (const TBackupProfile* selected = ProfileAt(SelectedProfileIndex()))
        m_uiProfiles->cmdBackupNow->setEnabled(!selected->InProcess && RunningBackupCount() < RunSlotCount);
}

void TfrmMain::ShowPendingErrors() {
    m_tray->SetHasErrors(true);
    if (m_uiApplication->chkRedIcon->isChecked())
        m_tray->SetBlinking(true);
    else
        SetTrayIcon(TTrayIcon::Idle);
}

void TfrmMain::StartBackup(int index, bool onDemand) {
    TBackupProfile* p = ProfileAt(index);
    if (!p)
        return;
    const TBackupAttributes& attributes = p->BackupAttributes;
    const bool hasDestination = p->DriveDestination.Active || p->EmailDestination.Active;
    const bool hasSource =
        !p->Sources.empty() || attributes.Desktop || attributes.MyDocuments || attributes.Favorites;
    if (!hasDestination || !hasSource) {
        RefuseBackup(*p);
        return;
    }
    // A profile a slot holds never runs twice; with every slot taken the next tick tries again.
    if (p->InProcess)
        return;
    TRunSlot* slot = SlotNumbered(FindFreeSlot());
    if (!slot)
        return;
    ResetSlot(*slot, p->Name, true);
    if (SelectedProfileIndex() == index)
        m_uiProfiles->cmdBackupNow->setEnabled(false);
    SetTrayIcon(TTrayIcon::Busy);

    auto thread = std::make_unique<TBackupThread>(true, static_cast<std::uint8_t>(slot->Number), LogsDir);
    thread->SetProfile(&FProfiles[static_cast<std::size_t>(index)]);
    thread->OnStatus = [this](TBackupThread* sender) {
        dialogs::RunGuarded(this, [&] { BackupStatus(sender); });
    };
    thread->OnFinished = [this](TBackupThread* sender) {
        dialogs::RunGuarded(this, [&] { BackupFinished(sender); });
    };
    thread->OnTerminate = [this](TThread* sender) { BackupThreadTerminate(sender); };
    const Ui::PageApplication& app = *m_uiApplication;
    thread->MailFrom = S(app.txtMailFrom->text());
    thread->MailReplyTo = S(app.txtMailReplyTo->text());
    thread->SMTPHost = S(app.txtSMTPServer->text());
    thread->SMTPUsername = S(app.txtSMTPUsername->text());
    thread->SMTPPassword = S(app.txtSMTPPassword->text());
    thread->POP3Host = S(app.txtPOPServer->text());
    thread->POP3Username = S(app.txtPOPUsername->text());
    thread->POP3Password = S(app.txtPOPPassword->text());
    thread->LogDetails = app.chkAppLogDetail->isChecked();
    if (app.chkAppTempDir->isChecked())
        thread->SetTempFolder(S(app.txtAppTempDir->text()));
    thread->FreeOnTerminate = true;
    thread->ValidateDestinationMedia = m_settings.ValidateDestinationMedia;
    try {
        thread->Resume();
    } catch (const std::exception& error) {
        // The system refused the thread: the slot and the profile stay free, so that Backup Now, the
        // next tick and Exit work as before.
        ResetSlot(*slot, "", false);
        if (RunningBackupCount() == 0)
            SetTrayIcon(TTrayIcon::Idle);
        EnableBackupNowForSelection();
        ReportRefusedThread(error.what(), onDemand);
        return;
    }
    m_threadRefusalReported = false;
    p->InProcess = true;
    ++slot->Runs;
    slot->LogFile = {};
    slot->Thread = std::move(thread);
}

void TfrmMain::ReportRefusedThread(const char* reason, bool onDemand) {
    // A due profile is tried again at every tick: the user hears of it once, not at every tick.
    if (!onDemand && m_threadRefusalReported)
        return;
    m_threadRefusalReported = true;
    dialogs::MessageBox(this, QString(texts::BackupNotStarted) + " (" + Q(reason) + ").", Q(AppTitle));
}

void TfrmMain::RefuseBackup(TBackupProfile& p) {
    // The refusal is recorded even when its run log cannot be written: the profile must not come due
    // again at every tick.
    try {
        std::string logFile;
        {
            TBackupLog log(LogsDir, p.Name);
            log.Summary.BeginTime = Now();
            log.Add(lsError, "Profile", Now(), kRefused);
            log.Summary.EndTime = Now();
            logFile = log.FileName();
        }
        if (FLogList)
            FLogList->Add(logFile);
    } catch (const std::exception&) {
    }
    ShowPendingErrors();
    p.LastBackup = Now();
    p.SaveToFile(ProfilesDir + p.Name + ".bvf");
    RefreshLog();
    EnableBackupNowForSelection();
}

void TfrmMain::cmdBackupNowClick() {
    m_ui->pagMain->setCurrentWidget(m_ui->tabStatus);
    StartBackup(SelectedProfileIndex(), true);
}

void TfrmMain::TrayBackupNowClick(int index) {
    StartBackup(index, true);
}

void TfrmMain::BackupStatus(TBackupThread* sender) {
    // Clicks and ticks wait here while the run shows its progress; the thread's records are read after.
    QCoreApplication::processEvents();
    TRunSlot* slot = SlotNumbered(sender->SlotIndex);
    if (!slot || slot->Thread.get() != sender)
        return;
    const TBackupStatus& status = sender->Status;
    const TBackupSummary empty;
    const TBackupSummary& summary = sender->RunLog ? sender->RunLog->Summary : empty;
    if (sender->RunLog && slot->LogFile.empty())
        slot->LogFile = sender->RunLog->FileName();

    QString text = Q(status.Action);
    QString hint;
    std::int64_t done = 0;
    std::int64_t total = 0;
    switch (status.Kind) {
    case TBackupAction::SendingEmailBackup:
        text = "Sending - " + Q(platform::ExtractFileName(status.FileName));
        hint = text;
        done = status.Position;
        total = status.Max;
        break;
    case TBackupAction::SendingEmailNotification:
        text = Q(status.Action) + "...";
        hint = text;
        done = status.Position;
        total = status.Max;
        break;
    case TBackupAction::Synchronizing:
        hint = Q(status.FileName);
        break;
    case TBackupAction::CopyingFile:
        text = Q(status.FileName);
        hint = text;
        done = summary.BytesProcessed;
        total = summary.BytesTotal;
        break;
    case TBackupAction::GatheringInformation:
    case TBackupAction::PreparingCompression:
        break;
    }
    done = std::min(done, total);
    const std::int64_t position = std::min(status.Position, status.Max);

    const TRunSlotControls& controls = slot->Controls;
    if (summary.FilesTotal > 0) {
        const std::int64_t handled = static_cast<std::int64_t>(summary.FilesCopied) + summary.FilesSkipped;
        controls.ProcessedFiles->setText("Files Processed: " + QString::number(handled));
        controls.RemainingFiles->setText("Remaining Files: " + QString::number(summary.FilesTotal - handled));
        controls.TotalFiles->setText("Total Files: " + QString::number(summary.FilesTotal));
    }
    QProgressBar* gauge = controls.Gauge;
    QString gaugeHint;
    if (total > 0) {
        const double share = static_cast<double>(done) / static_cast<double>(total) * 100.0;
        gauge->setValue(std::clamp(static_cast<int>(std::trunc(share)), 0, 100));
        gaugeHint = Q(FormatFileSize(kSizePattern, done)) + " of " + Q(FormatFileSize(kSizePattern, total)) +
                    " processed.";
        slot->GaugeHint = gaugeHint;
    }
    QLabel* file = controls.File;
    const int xWidth = std::max(1, file->fontMetrics().horizontalAdvance("X"));
    file->setText(Q(ShortenPath(S(text), gauge->width() / xWidth)));
    slot->FileHint = hint;
    controls.Size->setText("Size: " + Q(FormatFileSize(kSizePattern, status.Max)));
    controls.Processed->setText("Processed: " + Q(FormatFileSize(kSizePattern, position)));

    if (FHintWindow->Slot() == slot->Number) {
        if (FHintWindow->Kind() == TStatusHint::kFileLabel)
            FHintWindow->UpdateStatusHint(hint);
        else if (FHintWindow->Kind() == TStatusHint::kGauge)
            FHintWindow->UpdateStatusHint(gaugeHint);
    }
}

void TfrmMain::BackupFinished(TBackupThread* sender) {
    if (!sender->RunLog)
        return;
    if (sender->RunLog->Summary.Errors >= 1) {
        ShowPendingErrors();
    } else {
        m_tray->SetHasErrors(false);
        // The finishing run still holds its slot: below two, no other run goes on.
        if (RunningBackupCount() < 2) {
            SetTrayIcon(TTrayIcon::Idle);
            m_tray->SetBlinking(false);
        }
    }
    ListRunLog(SlotNumbered(sender->SlotIndex), sender->RunLog->FileName());
}

// Takes the name by value: it may be the slot's own, which is emptied here.
void TfrmMain::ListRunLog(TRunSlot* slot, std::string fileName) {
    if (slot)
        slot->LogFile = {};
    // A run log that was deleted meanwhile is no error of the run.
    if (!FLogList || fileName.empty() || !platform::FileExists(fileName))
        return;
    try {
        FLogList->Add(fileName);
    } catch (const std::exception&) {
    }
}

void TfrmMain::BackupThreadTerminate(TThread* sender) {
    try {
        auto found = std::find_if(FSlots.begin(), FSlots.end(),
                                  [sender](const TRunSlot& slot) { return slot.Thread.get() == sender; });
        if (found == FSlots.end())
            return;
        TRunSlot& slot = *found;
        auto* thread = dynamic_cast<TBackupThread*>(sender);
        const TBackupResultRec result = thread ? thread->ResultRec : TBackupResultRec{};
        TProfileCell* cell = thread ? thread->GetProfile() : nullptr;
        TBackupProfile* p = cell ? cell->get() : nullptr;
        if (result.Failed != 0) {
            if (p)
                p->InProcess = false;
            ShowPendingErrors();
            ListRunLog(&slot, slot.LogFile);
        }
        // The slot is free before any message: the thread object goes with it.
        slot.Thread.reset();
        ResetSlot(slot, "", false);
        if (result.Failed != 0)
            dialogs::MessageBox(this, Q(result.Message), Q(AppTitle));
        if (p) {
            p->SaveToFile(ProfilesDir + p->Name + ".bvf");
            if (ProfileAt(SelectedProfileIndex()) == p)
                m_uiSchedule->lblLastBackup->setText(LastBackupText(p->LastBackup));
        }
        EnableBackupNowForSelection();
        RefreshLog();
    } catch (const std::exception& error) {
        dialogs::MessageBox(this, "Error [Backup Thread Terminate]: " + Q(error.what()), Q(AppTitle));
    }
}

void TfrmMain::AbortBkUp(TRunSlot& slot) {
    // The prompt waits for the user while runs go on: Yes stops only the run it was asked about.
    const std::uint64_t run = slot.Runs;
    const bool running = slot.Thread != nullptr;
    // Aborting cannot be undone: Enter alone never does it.
    const auto answer = dialogs::MessageBox(this, kAbortPrompt, "Abort Backup", dialogs::Icon::Warning,
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes && running && slot.Thread && slot.Runs == run)
        slot.Thread->Terminate();
}

void TfrmMain::SlotHover(const TRunSlot& slot, bool gauge, int type) {
    switch (type) {
    case QEvent::Enter: {
        const int tag = (gauge ? TStatusHint::kGauge : TStatusHint::kFileLabel) + slot.Number;
        // Showing a window makes Qt repeat the enter of the control under the mouse: a hint already
        // shown for this control stays as it is, or the two would take turns for ever.
        if (FHintWindow->isVisible() && FHintWindow->Tag() == tag)
            break;
        FHintWindow->SetTag(tag);
        FHintWindow->ShowStatusHint(gauge ? slot.GaugeHint : slot.FileHint);
        break;
    }
    case QEvent::Leave:
        FHintWindow->hide();
        break;
    default: {
        const QPoint cursor = QCursor::pos();
        FHintWindow->MoveStatusHint(cursor.y(), cursor.x());
        break;
    }
    }
}
