// The five run slots on the Status page: counting, finding and resetting them, and freeing a slot
// when its run has ended.
#include "app/main_window/main_window.h"

#include "ui_page_status.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

// Slot N's controls are named after their kind followed by the digit N.
template <typename T> T* SlotControl(const QObject* window, const char* base, int slot) {
    return window->findChild<T*>(QString(base) + QString::number(slot));
}

} // namespace

int TfrmMain::RunningBackupCount() const {
    int count = 0;
    for (const auto& slot : FSlots) {
        if (slot)
            ++count;
    }
    return count;
}

int TfrmMain::FindFreeSlot() const {
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        if (!FSlots[i])
            return static_cast<int>(i) + 1;
    }
    return 0;
}

void TfrmMain::ResetSlot(int slot, const std::string& profileName, bool enabled) {
    QString name = QString::fromStdString(profileName);
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
    file->setToolTip({});
    size->setText("Size: ");
    processed->setText("Processed: ");
    processedFiles->setText("Files Processed:");
    remainingFiles->setText("Remaining Files:");
    totalFiles->setText("Total Files:");
    gauge->setValue(0);
    for (QWidget* control : std::initializer_list<QWidget*>{
             group, file, gauge, size, processed, processedFiles, remainingFiles, totalFiles, abort})
        control->setEnabled(enabled);
}

void TfrmMain::BackupThreadTerminate(TThread* sender) {
    for (std::size_t i = 0; i < FSlots.size(); ++i) {
        if (FSlots[i].get() != sender)
            continue;
        ResetSlot(static_cast<int>(i) + 1, "", false);
        // The handler runs inside the thread's own finish: it may free the thread here.
        FSlots[i].reset();
        return;
    }
}
