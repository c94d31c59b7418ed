// The main window's lifecycle: creation, showing, hiding, the Exit command, the access password and
// the end of the program.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/dialogs/password_form.h"
#include "app/dialogs/prompt_form.h"
#include "app/tray_icon.h"
#include "engine/backup_log_list.h"
#include "engine/helpers.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "ui_main_window.h"
#include "ui_page_advanced.h"
#include "ui_page_application.h"
#include "ui_page_compression.h"
#include "ui_page_destinations.h"
#include "ui_page_filter.h"
#include "ui_page_log.h"
#include "ui_page_profiles.h"
#include "ui_page_restore.h"
#include "ui_page_schedule.h"
#include "ui_page_sources.h"
#include "ui_page_status.h"
#include "widgets/dialogs.h"
#include "widgets/focus_leave.h"
#include "widgets/form_sizing.h"
#include "widgets/text_conversion.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

TfrmMain::TfrmMain(TMainWindowOptions options)
    : QMainWindow(nullptr), m_ui(std::make_unique<Ui::TfrmMain>()),
      m_uiProfiles(std::make_unique<Ui::PageProfiles>()), m_uiSources(std::make_unique<Ui::PageSources>()),
      m_uiDestinations(std::make_unique<Ui::PageDestinations>()),
      m_uiCompression(std::make_unique<Ui::PageCompression>()),
      m_uiSchedule(std::make_unique<Ui::PageSchedule>()), m_uiFilter(std::make_unique<Ui::PageFilter>()),
      m_uiAdvanced(std::make_unique<Ui::PageAdvanced>()), m_uiStatus(std::make_unique<Ui::PageStatus>()),
      m_uiRestore(std::make_unique<Ui::PageRestore>()), m_uiLog(std::make_unique<Ui::PageLog>()),
      m_uiApplication(std::make_unique<Ui::PageApplication>()), m_options(options) {
    SetUpForms();
    m_focusLeave = new FocusLeaveWatcher(this);
    ConnectFrame();
    ConnectProfilesPage();
    ConnectStatusPage();
    ConnectEditorPages();
    ConnectDestinationsPage();
    ConnectSchedulePage();
    ConnectFilterPage();
    ConnectRestorePage();
    ConnectLogPage();
    ConnectApplicationPage();
    ConnectUpdates();
    ConnectHelp();
    CreateTrayMenu();
    FormCreate();
}

void TfrmMain::SetUpForms() {
    m_ui->setupUi(this);
    m_uiProfiles->setupUi(m_ui->tabProfiles);
    m_uiSources->setupUi(m_uiProfiles->tabWhat);
    m_uiDestinations->setupUi(m_uiProfiles->tabWhere);
    m_uiCompression->setupUi(m_uiProfiles->tabCompression);
    m_uiSchedule->setupUi(m_uiProfiles->tabWhen);
    m_uiFilter->setupUi(m_uiProfiles->tabFilter);
    m_uiAdvanced->setupUi(m_uiProfiles->tabAdvanced);
    m_uiStatus->setupUi(m_ui->tabStatus);
    m_uiRestore->setupUi(m_ui->tabRestore);
    m_uiLog->setupUi(m_ui->tabLog);
    m_uiApplication->setupUi(m_ui->tabApplication);
}

void TfrmMain::ConnectFrame() {
    ConnectGuarded(m_ui->cmdClose, &QPushButton::clicked, &TfrmMain::cmdCloseClick);
    ConnectGuarded(m_ui->cmdExit, &QPushButton::clicked, &TfrmMain::mnuTrayCloseClick);
}

TfrmMain::~TfrmMain() {
    FormDestroy();
}

bool TfrmMain::HasSystemTray() const {
    return m_options.SystemTray.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void TfrmMain::FormCreate() {
    FitClientToControl(this, m_ui->cmdClose);
    m_uiApplication->lstMailCategory->setCurrentRow(0);
    lstMailCategoryClick();
    for (TRunSlot& slot : FSlots) {
        slot.Thread.reset();
        ResetSlot(slot, "", false);
    }
    FLoading = true;
    m_tray->SetHasErrors(false);
    m_uiApplication->lblAppName->setText(Q(AppTitle));
    QString version = QString("Version (%1.%2.%3.%4)")
                          .arg(AppVersion.Major)
                          .arg(AppVersion.Minor)
                          .arg(AppVersion.Release)
                          .arg(AppVersion.Build);
    if (AppVersion.Release > 0)
        version += QString(" Update %1").arg(AppVersion.Release);
    m_uiApplication->lblVersion->setText(version);
    pagApplicationChange();
    FExiting = false;
    FTrayClick = false;
    const std::string home = platform::ProgramHomeDir();
    ProfilesDir = home + "Profiles/";
    LogsDir = home + "Logs/";
    (void)platform::ForceDirectories(ProfilesDir);
    (void)platform::ForceDirectories(LogsDir);
    AddTrayIcon();
    LoadAppSettings();
    LoadProfiles();
    try {
        FLogList = std::make_unique<TBackupLogList>(home + "Logs/");
        RefreshLog();
    } catch (const std::exception& error) {
        dialogs::ShowError(this, Q(error.what()));
    }
    // The window opens centred on the screen, at the size the settings gave it.
    setWindowTitle(Q(AppTitle));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // Without a tray the window is the only way in, so it shows whatever the settings say.
    if (m_uiApplication->chkShowAppWindow->isChecked() || !HasSystemTray()) {
        if (!m_uiApplication->chkAppPassword->isChecked() || AskAppPassword())
            ShowMainWindow();
    }
    QTreeWidget* profiles = m_uiProfiles->lstProfiles;
    if (profiles->topLevelItemCount() > 0) {
        if (!profiles->currentItem())
            profiles->setCurrentItem(profiles->topLevelItem(0));
        m_uiProfiles->cmdBackupNow->setEnabled(true);
        mnuTrayBackupNow->setEnabled(true);
    }
    update();
    CheckRunOnStartup();
    FUpdatesForm = nullptr;
    // The start-up check waits for the event loop, so that an Exit or an end signal while the feed is
    // awaited reaches the program's end.
    QMetaObject::invokeMethod(
        this, [this] { dialogs::RunGuarded(this, [this] { CheckForUpdates(this); }); }, Qt::QueuedConnection);
    FLoading = false;
}

void TfrmMain::ShowMainWindow() {
    show();
    raise();
    activateWindow();
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A window brought back from the task bar is not shown anew.
    if (!event->spontaneous())
        FormShow();
}

void TfrmMain::FormShow() {
    m_uiSources->cmdRemove->setEnabled(!m_uiSources->lstSource->selectedItems().isEmpty());
    QTreeWidget* profiles = m_uiProfiles->lstProfiles;
    if (profiles->topLevelItemCount() == 0) {
        m_uiProfiles->pagBackup->setEnabled(false);
        m_uiProfiles->cmdBackupNow->setEnabled(false);
        mnuTrayBackupNow->setEnabled(false);
    } else {
        if (!profiles->currentItem())
            profiles->setCurrentItem(profiles->topLevelItem(0));
        m_uiProfiles->cmdBackupNow->setEnabled(true);
        mnuTrayBackupNow->setEnabled(true);
    }
    m_ui->pagMain->setCurrentIndex(0);
    if (QTreeWidgetItem* selected = profiles->currentItem())
        profiles->scrollToItem(selected, QAbstractItemView::EnsureVisible);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // The window is only ever hidden here; the program ends through ProgramEnded.
    event->ignore();
    dialogs::RunGuarded(this, [this] { CloseWindow(); });
}

void TfrmMain::CloseWindow() {
    bool closeAllowed = false;
    FormClose(closeAllowed);
    if (!closeAllowed)
        return;
    EndUpdateCheck();
    // A running restore is cancelled first; its loop ends the program once it has unwound.
    if (!DeferEndForRestore())
        emit ProgramEnded();
}

void TfrmMain::FormClose(bool& closeAllowed) {
    if (RunningBackupCount() == 0 && FExiting) {
        // Once the end is decided no tick may start a run, also not one served inside the message of a
        // failed settings write; a run started meanwhile from the tray still holds the end.
        timMain->stop();
        hide();
        SaveAppSettings();
        closeAllowed = RunningBackupCount() == 0;
        if (!closeAllowed)
            timMain->start();
        return;
    }
    closeAllowed = false;
    const bool wasVisible = isVisible();
    hide();
    SaveAppSettings();
    if (wasVisible)
        TellAboutBackgroundOnce();
}

void TfrmMain::cmdCloseClick() {
    CloseWindow();
}

void TfrmMain::mnuTrayCloseClick() {
    const int running = RunningBackupCount();
    if (running > 0) {
        FExiting = false;
        dialogs::MessageBox(this, texts::ExitRefused + QString::number(running) + texts::ExitRefusedCount,
                            "Brimvale", dialogs::Icon::Critical, QMessageBox::Ok);
        return;
    }
    if (m_uiApplication->chkPromptBeforeExit->isChecked()) {
        TfrmPrompt prompt(this);
        prompt.cmdOne()->setText("Cancel");
        prompt.SetModalResult(prompt.cmdOne(), mrCancel);
        prompt.cmdTwo()->setText("OK");
        prompt.SetModalResult(prompt.cmdTwo(), mrOk);
        prompt.cmdTwo()->setDefault(true);
        prompt.cmdThree()->setVisible(false);
        prompt.lblText()->setText(texts::ExitPrompt);
        prompt.chkConfirm()->setText(texts::ExitPromptConfirm);
        prompt.chkConfirm()->setChecked(true);
        const int answer = dialogs::ExecDialog(prompt);
        m_uiApplication->chkPromptBeforeExit->setChecked(prompt.chkConfirm()->isChecked());
        FExiting = answer == mrOk;
    } else {
        FExiting = true;
    }
    if (FExiting)
        CloseWindow();
}

void TfrmMain::BringToFront() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TfrmMain::mnuTrayOpenClick() {
    if (isVisible()) {
        BringToFront();
        return;
    }
    // A request that comes while the password is being asked is dropped, so prompts never stack.
    if (m_askingPassword)
        return;
    if (m_uiApplication->chkAppPassword->isChecked() && !AskAppPassword())
        return;
    ShowMainWindow();
}

void TfrmMain::ActivationRequested() {
    if (isVisible()) {
        BringToFront();
        return;
    }
    // A window kept in the tray stays there; without a tray a second start is the way back in.
    if (!HasSystemTray())
        mnuTrayOpenClick();
}

bool TfrmMain::AskAppPassword() {
    if (m_askingPassword)
        return false;
    m_askingPassword = true;
    const QString expected = m_uiApplication->txtAppPassword->text();
    TfrmPassword form(this);
    bool match = false;
    for (int attempt = 1; attempt < 4 && !match; ++attempt) {
        if (dialogs::ExecDialog(form) != mrOk)
            break;
        if (form.txtPassword()->text() == expected) {
            match = true;
        } else {
            dialogs::ShowError(&form, texts::WrongPassword);
            form.txtPassword()->clear();
        }
    }
    m_askingPassword = false;
    return match;
}

void TfrmMain::ForcedEnd() {
    if (m_forcedEnd)
        return;
    m_forcedEnd = true;
    EndUpdateCheck();
    for (TRunSlot& slot : FSlots) {
        if (slot.Thread)
            slot.Thread->Terminate();
    }
    // The workers' synchronised calls and their terminate handlers run in this loop.
    auto stopped = [this] {
        for (const TRunSlot& slot : FSlots) {
            if (slot.Thread && !slot.Thread->Finished())
                return false;
        }
        return true;
    };
    if (!stopped()) {
        QEventLoop loop;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (stopped())
                loop.quit();
        });
        QTimer::singleShot(m_options.ForcedEndWaitMs, &loop, &QEventLoop::quit);
        poll.start(20);
        loop.exec();
    }
    hide();
    SaveAppSettings();
    if (!DeferEndForRestore())
        emit ProgramEnded();
}

void TfrmMain::FormDestroy() {
    FProfiles.clear();
    FLogList.reset();
    RemoveTrayIcon();
}

std::string TfrmMain::SettingsFileName() const {
    return platform::ProgramHomeDir() + "brimvale.ini";
}
