// The Application page and the settings file behind it: reading and writing the settings, Apply with
// the start-with-login entry, the password pairs, the address check and the temporary folder.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/ini_file.h"
#include "app/startup/autostart.h"
#include "engine/helpers.h"
#include "platform/file_io.h"
#include "platform/home.h"
#include "ui_page_application.h"
#include "ui_page_log.h"
#include "widgets/dialogs.h"
#include "widgets/focus_leave.h"
#include "widgets/text_conversion.h"

#include <QApplication>
#include <QScreen>

#include <algorithm>

namespace {

// The name of the start-with-login entry; fixed, whatever the version.
constexpr const char* RunValueName = "Brimvale 2.0";

// Settings texts keep bytes that are no UTF-8 (values of older versions) through the controls, so that a
// value the user leaves alone is written back as it was.
QString SettingText(const std::string& value) {
    return IniTextToQString(value);
}
std::string SettingBytes(const QString& text) {
    return QStringToIniText(text);
}

} // namespace

void TfrmMain::ConnectApplicationPage() {
    Ui::PageApplication& ui = *m_uiApplication;
    ConnectGuarded(ui.cmdAppSettings, &QPushButton::clicked, &TfrmMain::cmdAppSettingsClick);
    ConnectGuarded(ui.pagApplication, &QTabWidget::currentChanged, &TfrmMain::pagApplicationChange);
    ConnectGuarded(ui.lstMailCategory, &QListWidget::itemSelectionChanged, &TfrmMain::lstMailCategoryClick);
    ConnectGuarded(ui.cmdAppTempDir, &QToolButton::clicked, &TfrmMain::cmdAppTempDirClick);
    ConnectGuarded(ui.chkAppTempDir, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    ConnectGuarded(ui.chkAppLogDetail, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    ConnectGuarded(ui.chkRedIcon, &QCheckBox::toggled, &TfrmMain::chkAppTempDirClick);
    ConnectGuarded(ui.chkUpdates, &QCheckBox::toggled, &TfrmMain::chkUpdatesClick);
    ConnectGuarded(ui.chkUpgrades, &QCheckBox::toggled, &TfrmMain::chkUpgradesClick);
    m_focusLeave->Watch(ui.txtAppPassword, [this](QWidget*) { txtAppPasswordExit(); });
    m_focusLeave->Watch(ui.txtVerifyAppPassword, [this](QWidget* to) { txtVerifyAppPasswordExit(to); });
    m_focusLeave->Watch(ui.txtSMTPPassword, [this](QWidget*) { txtSMTPPasswordExit(); });
    m_focusLeave->Watch(ui.txtVerifySMTPPassword, [this](QWidget* to) { txtVerifySMTPPasswordExit(to); });
    m_focusLeave->Watch(ui.txtPOPPassword, [this](QWidget*) { txtPOPPasswordExit(); });
    m_focusLeave->Watch(ui.txtVerifyPOPPassword, [this](QWidget* to) { txtVerifyPOPPasswordExit(to); });
    for (QLineEdit* address : {ui.txtMailFrom, ui.txtMailReplyTo})
        m_focusLeave->Watch(address, [this, address](QWidget*) { VarifyEmailAddress(address); });
}

void TfrmMain::LoadAppSettings() {
    m_settings = LoadAppSettingsFile(SettingsFileName());
    FitStoredSizesToScreen();
    LoadApplicationPage();
    if (m_settings.WindowHeight >= 450)
        resize(width(), std::max(m_settings.WindowHeight, minimumHeight()));
    if (m_settings.WindowWidth >= 462)
        resize(std::max(m_settings.WindowWidth, minimumWidth()), height());
}

void TfrmMain::FitStoredSizesToScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // A window larger than the screen cannot be used, and one of millions of pixels cannot even be
    // painted. A screen below a lower limit still gets the limit.
    const QSize room = screen->availableGeometry().size();
    const auto fit = [](std::int32_t& value, int available, std::int32_t lowest) {
        value = std::min(value, std::max(available, lowest));
    };
    fit(m_settings.WindowWidth, room.width(), minimumWidth());
    fit(m_settings.WindowHeight, room.height(), minimumHeight());
    fit(m_settings.LogWindowWidth, room.width(), 450);
    fit(m_settings.LogWindowHeight, room.height(), 415);
}

void TfrmMain::LoadApplicationPage() {
    Ui::PageApplication& ui = *m_uiApplication;
    const TAppSettings& s = m_settings;
    ui.spnAppLogSize->setValue(s.MaxLogSize);
    ui.chkAppLogDetail->setChecked(s.LogDetails);
    ui.txtMailFrom->setText(SettingText(s.MailFrom));
    ui.txtMailReplyTo->setText(SettingText(s.MailReplyTo));
    ui.txtSMTPServer->setText(SettingText(s.SMTPHost));
    ui.txtSMTPUsername->setText(SettingText(s.SMTPUsername));
    ui.txtSMTPPassword->setText(SettingText(s.SMTPPassword));
    ui.txtVerifySMTPPassword->setText(SettingText(s.SMTPPassword));
    ui.txtPOPServer->setText(SettingText(s.POP3Host));
    ui.txtPOPUsername->setText(SettingText(s.POP3Username));
    ui.txtPOPPassword->setText(SettingText(s.POP3Password));
    ui.txtVerifyPOPPassword->setText(SettingText(s.POP3Password));
    ui.chkAppPassword->setChecked(s.AppPassRequired);
    ui.chkShowAppWindow->setChecked(s.ShowAppWinOnStart);
    ui.chkPromptBeforeExit->setChecked(s.PromptBeforeExit);
    ui.chkRedIcon->setChecked(s.BlinkingRedIcon);
    ui.txtAppPassword->setText(SettingText(s.AppPassword));
    ui.txtVerifyAppPassword->setText(SettingText(s.AppPassword));
    ui.chkAppTempDir->setChecked(s.UseAppTempDir);
    ui.txtAppTempDir->setText(SettingText(s.AppTempDir));
    m_uiLog->chkShowLogGrid->setChecked(s.LogGrid);
    ui.chkUpdates->setChecked(s.AutoCheckUpdates);
    ui.cboUpdates->setCurrentIndex(s.AutoCheckUpdateInterval);
    ui.chkUpgrades->setChecked(s.AutoCheckUpgrades);
    ui.cboUpgrades->setCurrentIndex(s.AutoCheckUpgradeInterval);
    // The boxes may already have shown the state read, so the handlers did not run for them.
    chkAppTempDirClick();
    chkShowLogGridClick();
    chkUpdatesClick();
    chkUpgradesClick();
}

void TfrmMain::SaveApplicationPage() {
    const Ui::PageApplication& ui = *m_uiApplication;
    TAppSettings& s = m_settings;
    s.MailFrom = SettingBytes(ui.txtMailFrom->text());
    s.MailReplyTo = SettingBytes(ui.txtMailReplyTo->text());
    s.SMTPHost = SettingBytes(ui.txtSMTPServer->text());
    s.SMTPUsername = SettingBytes(ui.txtSMTPUsername->text());
    s.SMTPPassword = SettingBytes(ui.txtSMTPPassword->text());
    s.POP3Host = SettingBytes(ui.txtPOPServer->text());
    s.POP3Username = SettingBytes(ui.txtPOPUsername->text());
    s.POP3Password = SettingBytes(ui.txtPOPPassword->text());
    s.AppPassRequired = ui.chkAppPassword->isChecked();
    s.ShowAppWinOnStart = ui.chkShowAppWindow->isChecked();
    s.PromptBeforeExit = ui.chkPromptBeforeExit->isChecked();
    s.BlinkingRedIcon = ui.chkRedIcon->isChecked();
    s.AppPassword = SettingBytes(ui.txtAppPassword->text());
    s.UseAppTempDir = ui.chkAppTempDir->isChecked();
    s.AppTempDir = SettingBytes(ui.txtAppTempDir->text());
    s.MaxLogSize = ui.spnAppLogSize->value();
    s.LogDetails = ui.chkAppLogDetail->isChecked();
    s.LogGrid = m_uiLog->chkShowLogGrid->isChecked();
    s.AutoCheckUpdates = ui.chkUpdates->isChecked();
    s.AutoCheckUpdateInterval = ui.cboUpdates->currentIndex();
    s.AutoCheckUpgrades = ui.chkUpgrades->isChecked();
    s.AutoCheckUpgradeInterval = ui.cboUpgrades->currentIndex();
}

const TAppSettings& TfrmMain::AppSettings() {
    SaveApplicationPage();
    m_settings.WindowHeight = height();
    m_settings.WindowWidth = width();
    return m_settings;
}

bool TfrmMain::SaveAppSettings() {
    const platform::Status saved = SaveAppSettingsFile(SettingsFileName(), AppSettings());
    if (saved) {
        m_settingsWriteReported = false;
        return true;
    }
    // Hiding and exit go on regardless; the user hears of it once, not at every hide.
    if (!m_settingsWriteReported && !m_forcedEnd) {
        m_settingsWriteReported = true;
        ShowAppMessage(texts::SettingsNotSaved + Q(SettingsFileName()) + " (" + Q(saved.Text()) + ").");
    }
    return false;
}

void TfrmMain::ShowAppMessage(const QString& text) {
    dialogs::MessageBox(this, text, Q(AppTitle), dialogs::Icon::None, QMessageBox::Ok);
}

void TfrmMain::pagApplicationChange() {
    m_uiApplication->cmdAppSettings->setVisible(true);
    m_uiApplication->cmdAppSettings->setText("Apply");
}

void TfrmMain::cmdAppSettingsClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SaveAppSettings();
    ApplyRunOnStartup();
    QApplication::restoreOverrideCursor();
}

void TfrmMain::ApplyRunOnStartup() {
    QCheckBox* box = m_uiApplication->chkRunOnWindowsStartup;
    try {
        if (box->isChecked()) {
            if (autostart::OpenRunKey(true)) {
                autostart::WriteValue(RunValueName, autostart::QuotedPath(platform::ExecutablePath()));
            } else {
                ShowAppMessage(texts::RunKeyNotOpened);
                box->setChecked(false);
            }
        } else if (!autostart::OpenRunKey(false)) {
            ShowAppMessage(texts::RunKeyNotOpenedForDelete);
        } else if (autostart::ValueExists(RunValueName) && !autostart::DeleteValue(RunValueName)) {
            ShowAppMessage(texts::RunValueNotDeleted);
            box->setChecked(true);
        }
    } catch (const std::exception& error) {
        ShowAppMessage("Error: " + Q(error.what()));
    }
}

void TfrmMain::CheckRunOnStartup() {
    QCheckBox* box = m_uiApplication->chkRunOnWindowsStartup;
    try {
        if (!autostart::OpenRunKey(false)) {
            box->setChecked(false);
            return;
        }
        const std::string value = autostart::ReadValue(RunValueName);
        if (value.empty()) {
            box->setChecked(false);
            return;
        }
        const std::string program = autostart::QuotedPath(platform::ExecutablePath());
        if (Q(value).toUpper() != Q(program).toUpper())
            autostart::WriteValue(RunValueName, program);
        box->setChecked(true);
    } catch (...) {
        box->setChecked(false);
    }
}

void TfrmMain::txtAppPasswordExit() {
    m_uiApplication->txtVerifyAppPassword->setFocus();
}

void TfrmMain::txtVerifyAppPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_uiApplication->txtAppPassword, m_uiApplication->txtVerifyAppPassword, newFocus);
}

void TfrmMain::txtSMTPPasswordExit() {
    m_uiApplication->txtVerifySMTPPassword->setFocus();
}

void TfrmMain::txtVerifySMTPPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_uiApplication->txtSMTPPassword, m_uiApplication->txtVerifySMTPPassword, newFocus);
}

void TfrmMain::txtPOPPasswordExit() {
    m_uiApplication->txtVerifyPOPPassword->setFocus();
}

void TfrmMain::txtVerifyPOPPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_uiApplication->txtPOPPassword, m_uiApplication->txtVerifyPOPPassword, newFocus);
}

void TfrmMain::CheckPasswordPair(QLineEdit* password, QLineEdit* verify, QWidget* newFocus) {
    if (newFocus == password)
        return;
    if (password->text() != verify->text()) {
        ShowAppMessage(texts::PasswordsDiffer);
        verify->setFocus();
    }
}

void TfrmMain::VarifyEmailAddress(QLineEdit* sender) {
    const QString text = sender->text();
    if (text.isEmpty())
        return;
    const qsizetype at = text.indexOf('@');
    const qsizetype dot = at < 0 ? -1 : text.indexOf('.', at + 1);
    // At least one character before the "@" and one between it and the next ".".
    if (at >= 1 && dot >= at + 2)
        return;
    ShowAppMessage(text + texts::InvalidEmailAddress);
    sender->setFocus();
    sender->selectAll();
}

void TfrmMain::lstMailCategoryClick() {
    Ui::PageApplication& ui = *m_uiApplication;
    int row = ui.lstMailCategory->currentRow();
    if (row < 0 || !ui.lstMailCategory->currentItem()->isSelected()) {
        row = 0;
        ui.lstMailCategory->setCurrentRow(0);
    }
    ui.pnlMailGeneral->setVisible(row == 0);
    ui.pnlMailSMTP->setVisible(row == 1);
    ui.pnlMailPOPAuthenticate->setVisible(row == 2);
}

void TfrmMain::cmdAppTempDirClick() {
    const QString folder = dialogs::ChooseFolder(this, texts::BrowseFolderCaption, texts::BrowseFolderTitle,
                                                 m_uiApplication->txtAppTempDir->text());
    if (!folder.isEmpty())
        m_uiApplication->txtAppTempDir->setText(folder);
}

void TfrmMain::chkAppTempDirClick() {
    const bool enabled = m_uiApplication->chkAppTempDir->isChecked();
    m_uiApplication->txtAppTempDir->setEnabled(enabled);
    m_uiApplication->cmdAppTempDir->setEnabled(enabled);
}

void TfrmMain::chkUpdatesClick() {
    m_uiApplication->cboUpdates->setEnabled(m_uiApplication->chkUpdates->isChecked());
}

void TfrmMain::chkUpgradesClick() {
    m_uiApplication->cboUpgrades->setEnabled(m_uiApplication->chkUpgrades->isChecked());
}
