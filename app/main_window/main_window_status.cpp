// The Status page: starting a profile's run in one of the five slots, showing its progress, its end,
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

namespace {

const char* const kRefused = "No destination and/or source selected.";
const char* const kAbortPrompt = "Warning! You are about to abort this backup. Do you wish to continue?";
const char* const kSizePattern = "#,###.00";

// Slot N's controls are named after their kind followed by the digit N.
template <typename T> T* SlotControl(const QObject* window, const char* base, int slot) {
    return window->findChild<T*>(QString(base) + QString::number(slot));
}

std::size_t SlotIndexOf(int slot) {
    return static_cast<std::size_t>(slot - 1);
}

// Enter, leave and move over a slot's file label or gauge, for the hint window.
class SlotHoverFilter : public QObject {
public:
    SlotHoverFilter(QObject* parent, std::function<void(QObject*, QEvent::Type)> handler)
        : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Enter || type == QEvent::Leave || type == QEvent::MouseMove)
            m_handler(watched, type);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QObject*, QEvent::Type)> m_handler;
};

} // namespace

void TfrmMain::ConnectStatusPage() {
    FHintWindow = new TStatusHint(this);
    auto* hover =
        new SlotHoverFilter(this, [this](QObject* control, QEvent::Type type) { SlotHover(control, type); });
    for (int slot = 1; slot <= 5; ++slot) {
        for (QWidget* control :
             {static_cast<QWidget*>(SlotControl<QLabel>(this, "lblStsFile", slot)),
              static_cast<QWidget*>(SlotControl<QProgressBar>(this, "prgBkUpProcess", slot))}) {
            control->setMouseTracking(true);
            control->installEventFilter(hover);
        }
        QToolButton* abort = SlotControl<QToolButton>(this, "cmdAbort", slot);
        ConnectGuarded(abort, &QToolButton::clicked, [this, abort] { AbortBkUp(abort); });
    }
    ConnectGuarded(m_uiProfiles->cmdBackupNow, &QPushButton::clicked, &TfrmMain::cmdBackupNowClick);
}

int TfrmMain::RunningBackupCount() const {
    return static_cast<int>(
        std::count_if(FSlots.begin(), FSlots.end(), [](const auto& slot) { return slot != nullptr; }));
}

int TfrmMain::FindFreeSlot() const {
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        if (!FSlots[i])
            return static_cast<int>(i) + 1;
    }
    return 0;
}

void TfrmMain::ResetSlot(int slot, const std::string& profileName, bool enabled) {
    QString name = Q(profileName);
    if (name.size() > 30)
        name = name.left(30) + "...";
    auto* group = SlotControl<QGroupBox>(this, "grpBkUpProcess", slot);
    auto* file = SlotControl<QLabel>(this, "lblStsFile", slot);
    auto* gauge = SlotControl<QProgressBar>(this, "prgBkUpProcess", slot);
    auto* size = SlotControl<QLabel>(this, "lblStsSize", slot);
    auto* processed = SlotControl<QLabel>(this, "lblStsPrcsd", slot);
    auto* processedFiles = SlotControl<QLabel>(this, "lblProcessedFiles", slot);
    auto* remainingFiles = SlotControl<QLabel>(this, "lblRemainingFiles", slot);
    auto* totalFiles = SlotControl<QLabel>(this, "lblTotalFiles", slot);
    auto* abort = SlotControl<QToolButton>(this, "cmdAbort", slot);
    group->setTitle(" " + QString::number(slot) + ". " + name);
    file->clear();
    m_fileHints[SlotIndexOf(slot)].clear();
    size->setText("Size: ");
    processed->setText("Processed: ");
    processedFiles->setText("Files Processed:");
    remainingFiles->setText("Remaining Files:");
    totalFiles->setText("Total Files:");
    gauge->setValue(0);
    m_gaugeHints[SlotIndexOf(slot)].clear();
    for (QWidget* control : std::initializer_list<QWidget*>{
             group, file, gauge, size, processed, processedFiles, remainingFiles, totalFiles, abort})
        control->setEnabled(enabled);
}

void TfrmMain::EnableBackupNowForSelection() {
    if (const TBackupProfile* selected = ProfileAt(SelectedProfileIndex()))
        m_uiProfiles->cmdBackupNow->setEnabled(!selected->InProcess && RunningBackupCount() < 5);
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
    const int slot = FindFreeSlot();
    if (slot == 0)
        return;
    ResetSlot(slot, p->Name, true);
    if (SelectedProfileIndex() == index)
        m_uiProfiles->cmdBackupNow->setEnabled(false);
    SetTrayIcon(TTrayIcon::Busy);

    auto thread = std::make_unique<TBackupThread>(true, static_cast<std::uint8_t>(slot), LogsDir);
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
    const std::size_t at = SlotIndexOf(slot);
    try {
        thread->Resume();
    } catch (const std::exception& error) {
        // The system refused the thread: the slot and the profile stay free, so that Backup Now, the
        // next tick and Exit work as before.
        ResetSlot(slot, "", false);
        if (RunningBackupCount() == 0)
            SetTrayIcon(TTrayIcon::Idle);
        EnableBackupNowForSelection();
        ReportRefusedThread(error.what(), onDemand);
        return;
    }
    m_threadRefusalReported = false;
    p->InProcess = true;
    ++m_slotRuns[at];
    m_slotLogs[at] = {};
    FSlots[at] = std::move(thread);
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
    const int slot = sender->SlotIndex;
    if (slot < 1 || slot > 5 || FSlots[SlotIndexOf(slot)].get() != sender)
        return;
    const TBackupStatus& status = sender->Status;
    const TBackupSummary empty;
    const TBackupSummary& summary = sender->RunLog ? sender->RunLog->Summary : empty;
    if (sender->RunLog && m_slotLogs[SlotIndexOf(slot)].empty())
        m_slotLogs[SlotIndexOf(slot)] = sender->RunLog->FileName();

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

    if (summary.FilesTotal > 0) {
        const std::int64_t handled = static_cast<std::int64_t>(summary.FilesCopied) + summary.FilesSkipped;
        SlotControl<QLabel>(this, "lblProcessedFiles", slot)
            ->setText("Files Processed: " + QString::number(handled));
        SlotControl<QLabel>(this, "lblRemainingFiles", slot)
            ->setText("Remaining Files: " + QString::number(summary.FilesTotal - handled));
        SlotControl<QLabel>(this, "lblTotalFiles", slot)
            ->setText("Total Files: " + QString::number(summary.FilesTotal));
    }
    QProgressBar* gauge = SlotControl<QProgressBar>(this, "prgBkUpProcess", slot);
    QString gaugeHint;
    if (total > 0) {
        const double share = static_cast<double>(done) / static_cast<double>(total) * 100.0;
        gauge->setValue(std::clamp(static_cast<int>(std::trunc(share)), 0, 100));
        gaugeHint = Q(FormatFileSize(kSizePattern, done)) + " of " + Q(FormatFileSize(kSizePattern, total)) +
                    " processed.";
        m_gaugeHints[SlotIndexOf(slot)] = gaugeHint;
    }
    QLabel* file = SlotControl<QLabel>(this, "lblStsFile", slot);
    const int xWidth = std::max(1, file->fontMetrics().horizontalAdvance("X"));
    file->setText(Q(ShortenPath(S(text), gauge->width() / xWidth)));
    m_fileHints[SlotIndexOf(slot)] = hint;
    SlotControl<QLabel>(this, "lblStsSize", slot)
        ->setText("Size: " + Q(FormatFileSize(kSizePattern, status.Max)));
    SlotControl<QLabel>(this, "lblStsPrcsd", slot)
        ->setText("Processed: " + Q(FormatFileSize(kSizePattern, position)));

    if (FHintWindow->Slot() == slot) {
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
    ListRunLog(sender->SlotIndex, sender->RunLog->FileName());
}

void TfrmMain::ListRunLog(int slot, const std::string& fileName) {
    if (slot >= 1 && slot <= 5)
        m_slotLogs[SlotIndexOf(slot)] = {};
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
                                  [sender](const auto& slot) { return slot.get() == sender; });
        if (found == FSlots.end())
            return;
        const int slot = static_cast<int>(found - FSlots.begin()) + 1;
        auto* thread = dynamic_cast<TBackupThread*>(sender);
        const TBackupResultRec result = thread ? thread->ResultRec : TBackupResultRec{};
        TProfileCell* cell = thread ? thread->GetProfile() : nullptr;
        TBackupProfile* p = cell ? cell->get() : nullptr;
        if (result.Failed != 0) {
            if (p)
                p->InProcess = false;
            ShowPendingErrors();
            ListRunLog(slot, m_slotLogs[SlotIndexOf(slot)]);
        }
        // The slot is free before any message: the thread object goes with it.
        found->reset();
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

void TfrmMain::AbortBkUp(QObject* sender) {
    const int slot = sender->objectName().mid(8).toInt();
    if (slot < 1 || slot > 5)
        return;
    const std::size_t at = SlotIndexOf(slot);
    // The prompt waits for the user while runs go on: Yes stops only the run it was asked about.
    const std::uint64_t run = m_slotRuns[at];
    const bool running = FSlots[at] != nullptr;
    // Aborting cannot be undone: Enter alone never does it.
    const auto answer = dialogs::MessageBox(this, kAbortPrompt, "Abort Backup", dialogs::Icon::Warning,
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes && running && FSlots[at] && m_slotRuns[at] == run)
        FSlots[at]->Terminate();
}

void TfrmMain::SlotHover(QObject* control, int type) {
    const QString name = control->objectName();
    const int slot = name.right(1).toInt();
    const bool gauge = name.startsWith("prgBkUpProcess");
    switch (type) {
    case QEvent::Enter: {
        const int tag = (gauge ? TStatusHint::kGauge : TStatusHint::kFileLabel) + slot;
        // Showing a window makes Qt repeat the enter of the control under the mouse: a hint already
        // shown for this control stays as it is, or the two would take turns for ever.
        if (FHintWindow->isVisible() && FHintWindow->Tag() == tag)
            break;
        FHintWindow->SetTag(tag);
        FHintWindow->ShowStatusHint(gauge ? m_gaugeHints[SlotIndexOf(slot)] : m_fileHints[SlotIndexOf(slot)]);
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
