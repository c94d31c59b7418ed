// TfrmMain: the program's main window. It owns the profiles, the run-log list, the run slots,
// the tray icon and the settings.
//
// How the window is laid out, for whoever adds a page:
// - Forms: forms/main_window.ui is the frame (the page control pagMain, its empty tabs and the bottom
//   buttons); each page's content is a form of its own, forms/page_<name>.ui, whose root widget carries
//   the tab's object name and is set up into that tab (m_uiLog->setupUi(m_ui->tabLog)). The editor's
//   sub-pages are set up the same way into the tabs of pagBackup on the Profiles page.
// - Ui access: m_ui is the frame; m_ui<Page> (m_uiStatus, m_uiLog, m_uiApplication, ...) is the page's
//   generated class. main_window.cpp sets every form up and includes them all; a page file includes its
//   own "ui_page_<name>.h" and the form of each other page whose controls it reads or sets (most often
//   the Profiles page's list and buttons, or the Application page's settings), "ui_main_window.h" when
//   it touches the frame.
// - Code: main_window_<page>.cpp holds the page's handlers, its load/save pair and a Connect<Page>Page()
//   that wires its signals with ConnectGuarded and its focus-leave handlers with m_focusLeave->Watch();
//   the constructor calls each Connect function once, after every form is set up.
// - Handlers are private: tests drive the window through its widgets, found by object name.
#pragma once

#include "app/app_settings.h"
#include "app/main_window/run_slot.h"
#include "engine/backup_profile.h"
#include "engine/backup_thread.h"
#include "platform/date_time.h"
#include "widgets/dialogs.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace Ui {
class TfrmMain;
class PageProfiles;
class PageSources;
class PageDestinations;
class PageCompression;
class PageSchedule;
class PageFilter;
class PageAdvanced;
class PageStatus;
class PageRestore;
class PageLog;
class PageApplication;
} // namespace Ui
class FocusLeaveWatcher;
class QItemSelection;
class QTreeWidgetItem;
class QAction;
class QCheckBox;
class QListWidget;
class QLineEdit;
class QMenu;
class QButtonGroup;
class QTimeEdit;
class QTimer;
class TBackupLogList;
class TFileSystemList;
class TZipComponent;
struct TRestoreJob;
class TStatusHint;
class TTrayIcon;
struct TTrayProfileEntry;

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

    // The program's side: a second start asked for the window; the session ends or SIGTERM arrived.
    void ActivationRequested();
    void ForcedEnd();

    // The run slots: a slot with a thread is busy (slot N is FSlots[N - 1]). Read on the main thread.
    std::array<TRunSlot, RunSlotCount> FSlots;
    int RunningBackupCount() const;
    int FindFreeSlot() const;
    // The handler of a slot's OnTerminate: frees the slot and, when the run failed, says why.
    void BackupThreadTerminate(TThread* sender);

    // The profiles: a cell per profile file, never moved or erased while the window lives (a run holds
    // its cell); a deleted profile leaves an empty cell that New fills again.
    TProfileCell* ProfileCell(int index);
    // The index of the profile selected in lstProfiles (its hidden second column), or -1.
    int SelectedProfileIndex() const;
    // The selected profile, or nullptr when no item is selected.
    TBackupProfile* SelectedProfile() const;
    // Shows the profile of cell Index: Mode 0 in the editor pages, 1 on the Restore page. Nothing for
    // an index outside the cells, an empty cell or another mode.
    void ShowProfile(int index, int mode);

    // The settings as the Application page shows them now, with the values no control holds (window
    // sizes, the last update check, the destination check).
    const TAppSettings& AppSettings();
    bool Exiting() const { return FExiting; }
    bool HasSystemTray() const;
    std::string SettingsFileName() const;

signals:
    // The window closed for good: the program ends.
    void ProgramEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Connects Signal of Sender to Handler (a member function or a callable), run through the dialog
    // layer's guard so that no exception reaches the event loop.
    template <typename Sender, typename Signal, typename Handler>
    void ConnectGuarded(Sender* sender, Signal signal, Handler handler) {
        connect(sender, signal, this, [this, handler] {
            dialogs::RunGuarded(this, [this, handler] {
                if constexpr (std::is_member_function_pointer_v<Handler>)
                    (this->*handler)();
                else
                    handler();
            });
        });
    }

    // Lifecycle (main_window.cpp).
    void SetUpForms();
    void ConnectFrame();
    void FormCreate();
    void FormShow();
    // Action: true lets the close go ahead (the program ends), false hides the window instead.
    void FormClose(bool& closeAllowed);
    void FormDestroy();
    void cmdCloseClick();
    void mnuTrayCloseClick();
    void mnuTrayOpenClick();
    bool AskAppPassword();
    // Closes the window as the caption's close box does: hides it, or ends the program after the Exit
    // command confirmed an exit.
    void CloseWindow();
    void ShowMainWindow();
    // Restores a minimised window and brings it to the front.
    void BringToFront();

    // Settings and the Application page (main_window_application.cpp).
    void ConnectApplicationPage();
    void LoadAppSettings();
    // The stored window sizes shrink to what the screen can show.
    void FitStoredSizesToScreen();
    // False when the file could not be written (the user is told once).
    bool SaveAppSettings();
    void LoadApplicationPage();
    void SaveApplicationPage();
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
    void CheckRunOnStartup();
    void ApplyRunOnStartup();
    void CheckPasswordPair(QLineEdit* password, QLineEdit* verify, QWidget* newFocus);
    void ShowAppMessage(const QString& text);

    // The Status page and its run slots (main_window_status.cpp).
    void ConnectStatusPage();
    // Numbers the slots and gives each its controls from the Status page's form.
    void BuildRunSlots();
    // Slot Number, or nullptr for a number outside 1 to RunSlotCount.
    TRunSlot* SlotNumbered(int number);
    void ResetSlot(TRunSlot& slot, const std::string& profileName, bool enabled);
    // Starts the profile of cell Index in a free slot, or records why it cannot start. OnDemand: the
    // user asked for it (Backup Now), not the scheduler.
    void StartBackup(int index, bool onDemand = false);
    // The system refused a run's thread: says why, on a tick only the first time since the last start.
    void ReportRefusedThread(const char* reason, bool onDemand);
    void RefuseBackup(TBackupProfile& p);
    void cmdBackupNowClick();
    void TrayBackupNowClick(int index);
    void BackupStatus(TBackupThread* sender);
    void BackupFinished(TBackupThread* sender);
    void AbortBkUp(TRunSlot& slot);
    // Errors are pending: blinking when chosen, else the idle icon with the errors tip.
    void ShowPendingErrors();
    // Adds a run's log to the run-log list, forgetting the log Slot (when given) kept for its run; a log
    // deleted meanwhile is passed over.
    void ListRunLog(TRunSlot* slot, std::string fileName);
    // Enter, leave and move over the slot's file label, or its gauge when Gauge is set.
    void SlotHover(const TRunSlot& slot, bool gauge, int eventType);
    void EnableBackupNowForSelection();

    // The scheduler and the schedule page (main_window_schedule.cpp).
    void ConnectSchedulePage();
    void timMainTimer();
    // Fills the schedule page from the profile without changing it.
    void ShowSchedule(const TBackupProfile& p);
    void rgrScheduleClick();
    void chklstWhenOptionsClickCheck();
    void spnHoursChange();
    void datDailyTimeChange();
    void cboDayChange();
    void datDayTimeChange();
    void datDayOfMonthTimeChange();
    void spnDayOfMonthChange();
    void EditScheduleTime(TDateTime TBackupSchedule::*field, const QTimeEdit* picker);
    // "Last backup: " and the date and time of the last run, or "<unknown>" before the first.
    static QString LastBackupText(TDateTime lastBackup);

    // The profile list (main_window_profiles.cpp).
    void ConnectProfilesPage();
    void LoadProfiles();
    void lstProfilesSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void lstProfilesSelectItem(QTreeWidgetItem* item, bool selected);
    void lstProfilesResize();
    void lstProfilesDeletion();
    void lstProfilesEdited(QTreeWidgetItem* item);
    void lstProfilesClick();
    void cmdSaveClick();
    void cmdNewClick();
    void cmdDeleteClick();
    // Adds a list item for cell Index, in caption order.
    QTreeWidgetItem* AddProfileItem(const std::string& name, int index);
    // Moves Item to its place in caption order, keeping it current.
    void SortProfileItem(QTreeWidgetItem* item);
    // False (and the name left as it was) when Name is unusable, taken by another profile, or the
    // profile's file cannot take it; in the last case m_renameError holds the system's reason.
    bool RenameProfile(TBackupProfile& profile, const std::string& name);
    // The scheduler's timer stops while the wizard is open, so that no run starts meanwhile.
    void PauseScheduler();
    void ResumeScheduler();
    // Whether a run slot holds Cell.
    bool CellInUse(const TProfileCell* cell) const;

    // The profile editor and its pages Sources, Compression and Advanced (main_window_editor.cpp).
    // The profile of cell Index, or nullptr for an index outside the cells or an empty cell.
    TBackupProfile* ProfileAt(int index) const;
    void ShowProfileInEditor(TBackupProfile& profile);
    // The modified mark every editor handler sets after writing a field: the profile is no longer
    // saved and Save is enabled.
    void MarkModified(TBackupProfile& profile);
    void ConnectEditorPages();
    // Each fills its page from the profile without changing it.
    void ShowSources(const TBackupProfile& profile);
    void ShowCompression(const TBackupProfile& profile);
    void ShowAdvanced(const TBackupProfile& profile);
    // A check list that loses the focus keeps its check marks but no highlighted item.
    static void CheckListExit(QListWidget* list);
    // Sources.
    void cmdAddFileClick();
    void cmdAddDirClick();
    // Lists Entry as a source of Profile, or selects it when it is one already.
    void AddSource(TBackupProfile& profile, const std::string& entry);
    void EndAddSources();
    void cmdRemoveClick();
    void EnableRemoveSource();
    // The flag takes the box's state, with the modified mark.
    void FlagBoxClick(bool TBackupAttributes::*flag, const QCheckBox* box);
    // Compression.
    void chkCompressionClick();
    void EnableCompressOptions(bool enabled);
    void spnGenerationsChange();
    void txtPasswordChange();
    void txtPasswordExit();
    void txtVerifyPasswordExit(QWidget* newFocus);
    void grpCompressOptionsExit(QWidget* newFocus);
    void chkSelfExtractClick();
    // Advanced.
    void txtAdvancedDestNameChange();
    void txtAdvancedDestNameExit();
    // Puts the profile's name back into the edit after a refused one.
    void RefuseDestinationName(const TBackupProfile& profile, const char* message);
    void cboAdvancedDestStructureChange();
    void chkAdvancedExcludeMatchingClick();
    void chkAdvancedSyncDestClick();

    // The Destinations page (main_window_destinations.cpp).
    void ConnectDestinationsPage();
    // Fills the page from the profile without changing it.
    void ShowDestinations(const TBackupProfile& profile);
    void chkDriveDestClick();
    void txtDriveDestChange();
    void txtDriveDestExit();
    void cmdDriveDestClick();
    void chkEmailDestClick();
    // The address dialog of the button Sender: the e-mail destination's or the notification's lists.
    void EmailAddressesClick(QObject* sender);
    void chkEmailNotificationClick();
    void EnableNotificationControls(bool enabled);
    void chkNotifyOnErrorClick();
    // The three log check boxes: each sets or clears its own bit of the notification's log flags.
    void chkNotifyLogClick(std::uint8_t bit, bool checked);

    // The Filter page (main_window_filters.cpp).
    void ConnectFilterPage();
    // Shows the folder filter of the profile without changing it.
    void ShowFilter(const TBackupProfile& profile);
    // Fills the page with the filter cboFilterType names; writes nothing.
    void FillFilterPage(const TBackupProfile& profile);
    // The flag, its label, the pattern list, the edit and the three buttons follow the switch.
    void EnableFilterControls(bool on);
    bool EditingFileFilter() const;
    // The selected pattern's row, or -1.
    int SelectedFilterRow() const;
    // The row holding Pattern, letter case ignored, or -1.
    int FilterRowOf(const QString& pattern) const;
    void SelectFilterRow(int row);
    // The list field of the shown filter takes the list's entries, in order.
    void StoreFilterList(TBackupProfile& profile);
    // False, after telling the user, when the normalised Pattern would break every run.
    bool CheckFilterPattern(const std::string& pattern);
    void ShowFilterMessage(const QString& text, bool focusEdit);
    void cboFilterTypeChange();
    void chklstFilterAttributesClickCheck();
    void chkFilterClick();
    void cboFilterFlagChange();
    void cmdAddFilterClick();
    void lstFilterStringsClick();
    void cmdReplaceFilterClick();
    void cmdDeleteFilterClick();

    // The Restore page (main_window_restore.cpp).
    void ConnectRestorePage();
    void ShowRestoreProfile(const TBackupProfile& profile);
    void tabRestoreShow();
    void cboRestoreProfilesChange();
    void mnuRestoreSelectAllClick();
    void mnuRestoreInvertSelectionClick();
    void chkRestoreLocClick();
    void cmdRestoreLocClick();
    void cmdRestoreNowClick();
    // The live profile behind the chosen item of cboRestoreProfiles, or nullptr.
    TBackupProfile* RestoreProfile() const;
    void RestoreEntries(const TRestoreJob& job);
    void RestoreFromArchive(const TRestoreJob& job, const std::string& entryPath,
                            const std::string& entryName, std::string target);
    void RestoreFromFolder(const TRestoreJob& job, const std::string& entryPath, const std::string& entryName,
                           const std::string& target);
    void RestoreZipFileStatus(TZipComponent* sender, const std::string& fileName);
    void RestoreZipGlobalStatus(TZipComponent* sender, std::int64_t bytesTotal, std::int64_t bytesDone,
                                std::int64_t filesDone);
    void SetRestoreGauge(std::int64_t max, std::int64_t position);
    void ResetRestoreProgress();
    void RestoreMessage(const std::string& text);
    // Lets pending window events run (a Cancel click among them), at most every few milliseconds.
    void ServeRestoreEvents(bool throttled);
    void EnableRestoreInputs(bool enabled, bool archive);
    // While a restore runs: cancels it and holds the program's end until its loop has unwound. False
    // when no restore runs.
    bool DeferEndForRestore();

    // The Log page (main_window_log.cpp).
    void ConnectLogPage();
    // Lists the run logs anew and deletes the oldest beyond the configured number.
    void RefreshLog();
    void TrimLog();
    void SizeLogColumns();
    void cmdClearAllLogClick();
    void cmdClearSelectedLogClick();
    void lvwLogClick();
    void lvwLogDblClick();
    // Clear is enabled exactly while a row is selected.
    void EnableClearSelectedLog();

    // The tray icon and its menu (main_window_tray.cpp).
    void CreateTrayMenu();
    void AddTrayIcon();
    void RemoveTrayIcon();
    // Shows state 0 idle, 1 busy or 2 error.
    void SetTrayIcon(int state);
    std::vector<TTrayProfileEntry> TrayProfileEntries() const;
    // A click on the Log list: pending errors are seen, the icon goes idle (keeping the errors tip) and
    // stops blinking.
    void AcknowledgeErrors();
    // Without a tray, the first close says that the program goes on in the background.
    void TellAboutBackgroundOnce();

    // Help (main_window_help.cpp).
    void ConnectHelp();
    void cmdHelpClick();

    // The update check (main_window_updates.cpp).
    void ConnectUpdates();
    void CheckForUpdates(QObject* sender);
    // The program ends: a running check is cancelled (its window closed) and no further check starts.
    void EndUpdateCheck();

    std::unique_ptr<Ui::TfrmMain> m_ui;
    std::unique_ptr<Ui::PageProfiles> m_uiProfiles;
    std::unique_ptr<Ui::PageSources> m_uiSources;
    std::unique_ptr<Ui::PageDestinations> m_uiDestinations;
    std::unique_ptr<Ui::PageCompression> m_uiCompression;
    std::unique_ptr<Ui::PageSchedule> m_uiSchedule;
    std::unique_ptr<Ui::PageFilter> m_uiFilter;
    std::unique_ptr<Ui::PageAdvanced> m_uiAdvanced;
    std::unique_ptr<Ui::PageStatus> m_uiStatus;
    std::unique_ptr<Ui::PageRestore> m_uiRestore;
    std::unique_ptr<Ui::PageLog> m_uiLog;
    std::unique_ptr<Ui::PageApplication> m_uiApplication;
    FocusLeaveWatcher* m_focusLeave = nullptr;
    TMainWindowOptions m_options;
    // The settings read at start; the Application page's controls are their live state until the
    // next write (AppSettings() gathers them).
    TAppSettings m_settings;

    // The tray menu: "Open...", "Backup Now" with one item per profile, "Exit Brimvale".
    QMenu* mnuTray = nullptr;
    QAction* mnuTrayOpen = nullptr;
    QAction* mnuTrayBackupNow = nullptr;
    QAction* mnuTrayClose = nullptr;
    TTrayIcon* m_tray = nullptr;
    // The scheduler's tick.
    QTimer* timMain = nullptr;
    // The schedule page's radio items, by their index.
    QButtonGroup* m_scheduleItems = nullptr;
    bool m_toldAboutBackground = false;

    // The run slots' hint window.
    TStatusHint* FHintWindow = nullptr;

    bool FExiting = false;
    bool FTrayClick = false;
    bool FLoading = false;
    bool m_askingPassword = false;
    bool m_forcedEnd = false;
    // The program's end is decided (Exit confirmed with no run, or a forced end).
    bool m_ending = false;
    bool m_settingsWriteReported = false;
    bool m_threadRefusalReported = false;
    std::deque<TProfileCell> FProfiles;
    // Set while the program itself changes a list item, so that the change is no rename.
    bool m_settingProfileItem = false;
    int m_renameError = 0;
    std::unique_ptr<TBackupLogList> FLogList;
    // A run log is being read for the log window; a second double-click waits for it.
    bool m_openingLog = false;
    // The Restore page: a restore's loop is running; it has been cancelled (the running flag cleared); the
    // number of the entry being restored in the whole list; the gauge in bytes; the program's end waits for
    // the loop.
    bool m_restoreActive = false;
    bool m_restoreCancelled = false;
    int m_restoreEntryNumber = 0;
    std::int64_t m_restoreMax = 0;
    std::int64_t m_restorePosition = 0;
    std::int64_t m_restoreFilesDone = 0; // files the running extraction has written
    qint64 m_restoreEventsServed = 0;
    bool m_restoreEndPending = false;
    // A restore stopped for want of a password: the password box takes the focus at its end.
    bool m_focusRestorePassword = false;
    QObject* FUpdatesForm = nullptr;
};
