// The run slots of the Status page: how many runs may go on at once, and what one slot holds.
#pragma once

#include "engine/backup_thread.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class QGroupBox;
class QLabel;
class QProgressBar;
class QToolButton;

// Runs going on at once, each shown in a numbered slot of its own.
constexpr int RunSlotCount = 5;

// The controls that show one slot on the Status page, as its form holds them.
struct TRunSlotControls {
    QGroupBox* Group = nullptr;
    QLabel* File = nullptr;
    QProgressBar* Gauge = nullptr;
    QLabel* Size = nullptr;
    QLabel* Processed = nullptr;
    QLabel* ProcessedFiles = nullptr;
    QLabel* RemainingFiles = nullptr;
    QLabel* TotalFiles = nullptr;
    QToolButton* Abort = nullptr;
};

// One slot: its number (1 to RunSlotCount), its run, its controls and what they hold for the hint window.
// Built once with the window; read and written on the main thread only.
struct TRunSlot {
    int Number = 0;
    // The run; null while the slot is free.
    std::unique_ptr<TBackupThread> Thread;
    TRunSlotControls Controls;
    // The full texts of the file label and the gauge.
    QString FileHint;
    QString GaugeHint;
    // Counts the runs the slot has held, so that a prompt knows whether its run is still there.
    std::uint64_t Runs = 0;
    // The run log as the run's first status named it, for a run that fails before it finishes.
    std::string LogFile;
};
