// TfrmMain: the program's main window. It owns the profiles, the run-log list, the five run slots,
// the tray icon and the settings; its behaviour is spread over main_window_*.cpp by concern.
#pragma once

#include "engine/backup_profile.h"
#include "engine/thread.h"
#include "platform/date_time.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Ui {
class TfrmMain;
}
class QAction;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class TBackupLogList;

struct TMainWindowOptions {
    // Whether the desktop has a tray; unset asks Qt. Without one the window shows at start.
    std::optional<bool> SystemTray;
    // How long a forced end waits for running backups to stop.
    int ForcedEndWaitMs = 10000;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(TMainWindowOptions options = {});
    ~TfrmMain() override;

    Ui::TfrmMain& ui() const { return *m_ui; }

    // The program's side: a second start asked for the window; the session ends or SIGTERM arrived.
    void ActivationRequested();
    void ForcedEnd();

    // Lifecycle commands.
    void cmdCloseClick();
    void mnuTrayCloseClick();
    void mnuTrayOpenClick();
    bool AskAppPassword();
    // Closes the window as the caption's close box does: hides it, or ends the program after the Exit
    // command confirmed an exit.
    void CloseWindow();

    // Settings and the Application page.
    void LoadAppSettings();
    // False when the file could not be written (the user is told once).
    bool SaveAppSettings();
    void pagApplicationChange();
    void cmdAppSettingsClick();
    void txtAppPasswordExit();
    void txtVerifyAppPasswordExit(QWidget* newFocus);
    void txtSMTPPasswordExit();
    void txtVerifySMTPPasswordExit(QWidget* newFocus);
    void txtPOPPasswordExit();
    void txtVerifyPOPPasswordExit(QWidget* newFocus);
    void VarifyEmailAddress(QLineEdit* sender);
    void lstMailCategoryClick();
    void cmdAppTempDirClick();
    void chkAppTempDirClick();
    void chkShowLogGridClick();
    void chkUpdatesClick();
    void chkUpgradesClick();

    void cmdHelpClick();

    // The run slots: a non-null entry is a busy slot (slot N is FSlots[N - 1]). Read on the main thread.
    std::array<std::unique_ptr<TThread>, 5> FSlots;
    int RunningBackupCount() const;
    int FindFreeSlot() const;
    void ResetSlot(int slot, const std::string& profileName, bool enabled);
    void BackupThreadTerminate(TThread* sender);

    // The tray menu: "Open...", "Backup Now" with one item per profile, "Exit Brimvale".
    QMenu* mnuTray = nullptr;
    QAction* mnuTrayOpen = nullptr;
    QAction* mnuTrayBackupNow = nullptr;
    QAction* mnuTrayClose = nullptr;

    // Filled by the profile list, the Log page and the update check.
    void LoadProfiles();
    void RefreshLog();
    void CheckForUpdates(QObject* sender);

    bool Exiting() const { return FExiting; }
    TDateTime LastUpdateCheck() const { return FLastUpdateCheck; }
    bool ValidateDestinationMedia() const { return FValidateDestinationMedia; }
    int LogWindowHeight() const { return FLogWindowHeight; }
    int LogWindowWidth() const { return FLogWindowWidth; }
    bool HasSystemTray() const;
    std::string SettingsFileName() const;

signals:
    // The window closed for good: the program ends.
    void ProgramEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    // Action: true lets the close go ahead (the program ends), false hides the window instead.
    void FormClose(bool& closeAllowed);
    void FormDestroy();

    void ConnectHandlers();
    void ShowMainWindow();
    // Restores a minimised window and brings it to the front.
    void BringToFront();
    void CreateTrayMenu();
    void AddTrayIcon();
    void RemoveTrayIcon();
    void CheckRunOnStartup();
    void ApplyRunOnStartup();
    void CheckPasswordPair(QLineEdit* password, QLineEdit* verify, QWidget* newFocus);
    void ShowAppMessage(const QString& text);

    std::unique_ptr<Ui::TfrmMain> m_ui;
    TMainWindowOptions m_options;

    bool FExiting = false;
    bool FTrayClick = false;
    bool FLoading = false;
    bool FHasErrors = false;
    bool FAskingPassword = false;
    bool FForcedEnd = false;
    bool FSettingsWriteReported = false;
    std::vector<std::unique_ptr<TBackupProfile>> FProfiles;
    std::unique_ptr<TBackupLogList> FLogList;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QObject* FUpdatesForm = nullptr;

    bool FValidateDestinationMedia = true;
    int FLogWindowHeight = 415;
    int FLogWindowWidth = 450;
    TDateTime FLastUpdateCheck = 0;
};
