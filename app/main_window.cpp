// The main window's lifecycle: creation, showing, hiding, the Exit command, the access password and
// the end of the program.
#include "app/main_window.h"

#include "app/app_texts.h"
#include "app/password_form.h"
#include "app/prompt_form.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/display.h"
#include "engine/backup_log_list.h"
#include "engine/helpers.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

TfrmMain::TfrmMain(TMainWindowOptions options)
    : QMainWindow(nullptr), m_ui(std::make_unique<Ui::TfrmMain>()), m_options(options) {
    m_ui->setupUi(this);
    ConnectHandlers();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    FormDestroy();
}

bool TfrmMain::HasSystemTray() const {
    return m_options.SystemTray.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

void TfrmMain::FormCreate() {
    // 1. Fit the client area to the bottom-right button.
    if (layout())
        layout()->activate();
    const QRect reference(m_ui->cmdClose->mapTo(this, QPoint(0, 0)), m_ui->cmdClose->size());
    const int clientHeight = reference.bottom() + 1 + 2;
    const int clientWidth = reference.right() + 1 + 2;
    if (clientHeight != height() || clientWidth != width())
        SetFormClientSize(this, std::max(clientHeight, minimumHeight()),
                          std::max(clientWidth, minimumWidth()));
    // 2.
    QApplication::setApplicationDisplayName(Q(AppTitle));
    // 4.
    m_ui->lstMailCategory->setCurrentRow(0);
    lstMailCategoryClick();
    // 6.
    for (int slot = 1; slot <= 5; ++slot) {
        FSlots[static_cast<std::size_t>(slot - 1)].reset();
        ResetSlot(slot, "", false);
    }
    // 7.
    FLoading = true;
    FHasErrors = false;
    // 8.
    m_ui->lblAppName->setText(Q(AppTitle));
    QString version = QString("Version (%1.%2.%3.%4)")
                          .arg(AppVersion.Major)
                          .arg(AppVersion.Minor)
                          .arg(AppVersion.Release)
                          .arg(AppVersion.Build);
    if (AppVersion.Release > 0)
        version += QString(" Update %1").arg(AppVersion.Release);
    m_ui->lblVersion->setText(version);
    // 9., 10.
    pagApplicationChange();
    FExiting = false;
    FTrayClick = false;
    // 11.
    const std::string home = platform::ProgramHomeDir();
    ProfilesDir = home + "Profiles/";
    LogsDir = home + "Logs/";
    platform::ForceDirectories(ProfilesDir);
    platform::ForceDirectories(LogsDir);
    // 12. - 15.
    AddTrayIcon();
    LoadAppSettings();
    LoadProfiles();
    try {
        FLogList = std::make_unique<TBackupLogList>(home + "Logs/");
        RefreshLog();
    } catch (const std::exception& error) {
        dialogs::ShowError(this, Q(error.what()));
    }
    // 16. The window opens centred on the screen, at the size the settings gave it.
    setWindowTitle(Q(AppTitle));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // 17. Without a tray the window is the only way in, so it shows whatever the settings say.
    if (m_ui->chkShowAppWindow->isChecked() || !HasSystemTray()) {
        if (!m_ui->chkAppPassword->isChecked() || AskAppPassword())
            ShowMainWindow();
    }
    // 18.
    if (m_ui->lstProfiles->topLevelItemCount() > 0) {
        if (!m_ui->lstProfiles->currentItem())
            m_ui->lstProfiles->setCurrentItem(m_ui->lstProfiles->topLevelItem(0));
        m_ui->cmdBackupNow->setEnabled(true);
        mnuTrayBackupNow->setEnabled(true);
    }
    // 19. - 22.
    update();
    CheckRunOnStartup();
    FUpdatesForm = nullptr;
    CheckForUpdates(this);
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
    m_ui->cmdRemove->setEnabled(!m_ui->lstSource->selectedItems().isEmpty());
    QTreeWidget* profiles = m_ui->lstProfiles;
    if (profiles->topLevelItemCount() == 0) {
        m_ui->pagBackup->setEnabled(false);
        m_ui->cmdBackupNow->setEnabled(false);
        mnuTrayBackupNow->setEnabled(false);
    } else {
        if (!profiles->currentItem())
            profiles->setCurrentItem(profiles->topLevelItem(0));
        m_ui->cmdBackupNow->setEnabled(true);
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
    if (closeAllowed)
        emit ProgramEnded();
}

void TfrmMain::FormClose(bool& closeAllowed) {
    if (RunningBackupCount() == 0 && FExiting) {
        closeAllowed = true;
        hide();
        SaveAppSettings();
        return;
    }
    closeAllowed = false;
    hide();
    SaveAppSettings();
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
    if (m_ui->chkPromptBeforeExit->isChecked()) {
        TfrmPrompt prompt(this);
        prompt.cmdOne()->setText("Cancel");
        prompt.SetModalResult(prompt.cmdOne(), mrCancel);
        prompt.cmdTwo()->setText("OK");
        prompt.SetModalResult(prompt.cmdTwo(), mrOk);
        prompt.cmdThree()->setVisible(false);
        prompt.lblText()->setText(texts::ExitPrompt);
        prompt.chkConfirm()->setText(texts::ExitPromptConfirm);
        prompt.chkConfirm()->setChecked(true);
        const int answer = dialogs::ExecDialog(prompt);
        m_ui->chkPromptBeforeExit->setChecked(prompt.chkConfirm()->isChecked());
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
    if (FAskingPassword)
        return;
    if (m_ui->chkAppPassword->isChecked() && !AskAppPassword())
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
    if (FAskingPassword)
        return false;
    FAskingPassword = true;
    const QString expected = m_ui->txtAppPassword->text();
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
    FAskingPassword = false;
    return match;
}

void TfrmMain::ForcedEnd() {
    if (FForcedEnd)
        return;
    FForcedEnd = true;
    for (auto& slot : FSlots) {
        if (slot)
            slot->Terminate();
    }
    // The workers' synchronised calls and their terminate handlers run in this loop.
    auto stopped = [this] {
        for (const auto& slot : FSlots) {
            if (slot && !slot->Finished())
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

void TfrmMain::ConnectHandlers() {
    Ui::TfrmMain& ui = *m_ui;
    // The profile list's second column holds each profile's index and is never shown.
    ui.lstProfiles->setColumnHidden(1, true);
    ui.lstProfiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this,
                [this, handler] { dialogs::RunGuarded(this, [this, handler] { (this->*handler)(); }); });
    };
    on(ui.cmdClose, &QPushButton::clicked, &TfrmMain::cmdCloseClick);
    on(ui.cmdExit, &QPushButton::clicked, &TfrmMain::mnuTrayCloseClick);
    on(ui.cmdHelp, &QPushButton::clicked, &TfrmMain::cmdHelpClick);
    on(ui.cmdAppSettings, &QPushButton::clicked, &TfrmMain::cmdAppSettingsClick);
    on(ui.pagApplication, &QTabWidget::currentChanged, &TfrmMain::pagApplicationChange);
    on(ui.lstMailCategory, &QListWidget::itemSelectionChanged, &TfrmMain::lstMailCategoryClick);
    on(ui.cmdAppTempDir, &QToolButton::clicked, &TfrmMain::cmdAppTempDirClick);
    on(ui.chkAppTempDir, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    on(ui.chkAppLogDetail, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    on(ui.chkRedIcon, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    on(ui.chkShowLogGrid, &QCheckBox::toggled, &TfrmMain::chkShowLogGridClick);
    on(ui.chkUpdates, &QCheckBox::toggled, &TfrmMain::chkUpdatesClick);
    on(ui.chkUpgrades, &QCheckBox::toggled, &TfrmMain::chkUpgradesClick);
    connect(ui.cmdCheckUpdates, &QPushButton::clicked, this,
            [this] { dialogs::RunGuarded(this, [this] { CheckForUpdates(m_ui->cmdCheckUpdates); }); });
    for (QWidget* edit :
         {static_cast<QWidget*>(ui.txtAppPassword), static_cast<QWidget*>(ui.txtVerifyAppPassword),
          static_cast<QWidget*>(ui.txtSMTPPassword), static_cast<QWidget*>(ui.txtVerifySMTPPassword),
          static_cast<QWidget*>(ui.txtPOPPassword), static_cast<QWidget*>(ui.txtVerifyPOPPassword),
          static_cast<QWidget*>(ui.txtMailFrom), static_cast<QWidget*>(ui.txtMailReplyTo)})
        edit->installEventFilter(this);
    CreateTrayMenu();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::FocusOut)
        return QMainWindow::eventFilter(watched, event);
    // Only a move of the focus inside the window counts as leaving an edit: not a dialog taking the
    // focus, a menu opening or the window losing it.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return QMainWindow::eventFilter(watched, event);
    QWidget* newFocus = QApplication::focusWidget();
    Ui::TfrmMain& ui = *m_ui;
    dialogs::RunGuarded(this, [&] {
        if (watched == ui.txtAppPassword)
            txtAppPasswordExit();
        else if (watched == ui.txtVerifyAppPassword)
            txtVerifyAppPasswordExit(newFocus);
        else if (watched == ui.txtSMTPPassword)
            txtSMTPPasswordExit();
        else if (watched == ui.txtVerifySMTPPassword)
            txtVerifySMTPPasswordExit(newFocus);
        else if (watched == ui.txtPOPPassword)
            txtPOPPasswordExit();
        else if (watched == ui.txtVerifyPOPPassword)
            txtVerifyPOPPasswordExit(newFocus);
        else if (watched == ui.txtMailFrom || watched == ui.txtMailReplyTo)
            VarifyEmailAddress(static_cast<QLineEdit*>(watched));
    });
    return QMainWindow::eventFilter(watched, event);
}
