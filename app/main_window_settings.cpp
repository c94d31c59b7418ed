// The settings file brimvale.ini and the Application page: reading and writing the settings, Apply
// with the start-with-login entry, the password pairs, the address check and the temporary folder.
#include "app/main_window.h"

#include "app/app_texts.h"
#include "app/autostart.h"
#include "app/ini_file.h"
#include "app/widgets/dialogs.h"
#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "engine/qm_crypt.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/format_settings.h"
#include "platform/home.h"
#include "ui_main_window.h"

#include <QApplication>

#include <cmath>

namespace {

QString Q(const std::string& text) {
    return IniTextToQString(text);
}
std::string S(const QString& text) {
    return QStringToIniText(text);
}

constexpr const char* Application = "Application";
constexpr const char* Updates = "Updates";
// The name of the start-with-login entry; fixed, whatever the version.
constexpr const char* RunValueName = "Brimvale 2.0";

// Keys with their defaults, in one place.
namespace key {
constexpr const char* MaxLogSize = "MaxLogSize";                             // 1000, 10..10000
constexpr const char* LogDetails = "LogDetails";                             // false
constexpr const char* MailFrom = "MailFrom";                                 // ""
constexpr const char* MailReplyTo = "MailReplyTo";                           // ""
constexpr const char* SMTPHost = "SMTPHost";                                 // ""
constexpr const char* SMTPUsername = "SMTPUsername";                         // ""
constexpr const char* SMTPPassword = "SMTPPassword";                         // "" (enciphered)
constexpr const char* POP3Host = "POP3Host";                                 // ""
constexpr const char* POP3Username = "POP3Username";                         // ""
constexpr const char* POP3Password = "POP3Password";                         // "" (enciphered)
constexpr const char* AppPassRequired = "AppPassRequired";                   // false
constexpr const char* ShowAppWinOnStart = "ShowAppWinOnStart";               // false
constexpr const char* PromptBeforeExit = "PromptBeforeExit";                 // true
constexpr const char* BlinkingRedIcon = "BlinkingRedIcon";                   // true
constexpr const char* AppPassword = "AppPassword";                           // "" (enciphered)
constexpr const char* UseAppTempDir = "UseAppTempDir";                       // false
constexpr const char* AppTempDir = "AppTempDir";                             // ""
constexpr const char* LogGrid = "LogGrid";                                   // false
constexpr const char* WindowHeight = "WindowHeight";                         // 450, applied from 450 up
constexpr const char* WindowWidth = "WindowWidth";                           // 462, applied from 462 up
constexpr const char* ValidateDestinationMedia = "ValidateDestinationMedia"; // true, never written
constexpr const char* LogWindowHeight = "LogWindowHeight";                   // 415 at least
constexpr const char* LogWindowWidth = "LogWindowWidth";                     // 450 at least
constexpr const char* AutoCheckUpdates = "AutoCheckUpdates";                 // true
constexpr const char* AutoCheckUpdateInterval = "AutoCheckUpdateInterval";   // 0
constexpr const char* AutoCheckUpgrades = "AutoCheckUpgrades";               // true
constexpr const char* AutoCheckUpgradeInterval = "AutoCheckUpgradeInterval"; // 0
constexpr const char* LastUpdateCheck = "LastUpdateCheck";                   // 0, a date
} // namespace key

// The date of the last update check is kept in the profile file's fixed form with a four-digit year,
// so that a change of locale can never move it. Files written with the locale's short date still read.
std::string DateToIniStr(TDateTime value) {
    return FormatDateTime("mm/dd/yyyy", std::floor(value), platform::UsFormatSettings());
}

TDateTime IniStrToDate(const std::string& text) {
    TDateTime value = IniStrToDateTime(text, -1);
    if (value < 0 && !TryStrToDateTime(text, platform::GetFormatSettings(), value))
        return 0;
    value = std::floor(value);
    // A date after today was misread (or the clock was wrong then); counting from it would stop the
    // checks until that day came.
    if (value < 0 || value > std::floor(Now()))
        return 0;
    return value;
}

} // namespace

void TfrmMain::LoadAppSettings() {
    Ui::TfrmMain& ui = *m_ui;
    const TIniFile ini(SettingsFileName());
    auto readPassword = [&](const char* name) {
        return Q(DecryptString(ini.ReadString(Application, name, ""), kStoredPasswordKey));
    };
    ui.spnAppLogSize->setValue(ini.ReadInteger(Application, key::MaxLogSize, 1000));
    ui.chkAppLogDetail->setChecked(ini.ReadBool(Application, key::LogDetails, false));
    ui.txtMailFrom->setText(Q(ini.ReadString(Application, key::MailFrom, "")));
    ui.txtMailReplyTo->setText(Q(ini.ReadString(Application, key::MailReplyTo, "")));
    ui.txtSMTPServer->setText(Q(ini.ReadString(Application, key::SMTPHost, "")));
    ui.txtSMTPUsername->setText(Q(ini.ReadString(Application, key::SMTPUsername, "")));
    ui.txtSMTPPassword->setText(readPassword(key::SMTPPassword));
    ui.txtVerifySMTPPassword->setText(ui.txtSMTPPassword->text());
    ui.txtPOPServer->setText(Q(ini.ReadString(Application, key::POP3Host, "")));
    ui.txtPOPUsername->setText(Q(ini.ReadString(Application, key::POP3Username, "")));
    ui.txtPOPPassword->setText(readPassword(key::POP3Password));
    ui.txtVerifyPOPPassword->setText(ui.txtPOPPassword->text());
    ui.chkAppPassword->setChecked(ini.ReadBool(Application, key::AppPassRequired, false));
    ui.chkShowAppWindow->setChecked(ini.ReadBool(Application, key::ShowAppWinOnStart, false));
    ui.chkPromptBeforeExit->setChecked(ini.ReadBool(Application, key::PromptBeforeExit, true));
    ui.chkRedIcon->setChecked(ini.ReadBool(Application, key::BlinkingRedIcon, true));
    ui.txtAppPassword->setText(readPassword(key::AppPassword));
    ui.txtVerifyAppPassword->setText(ui.txtAppPassword->text());
    ui.chkAppTempDir->setChecked(ini.ReadBool(Application, key::UseAppTempDir, false));
    ui.txtAppTempDir->setText(Q(ini.ReadString(Application, key::AppTempDir, "")));
    ui.chkShowLogGrid->setChecked(ini.ReadBool(Application, key::LogGrid, false));
    const int windowHeight = ini.ReadInteger(Application, key::WindowHeight, 450);
    if (windowHeight >= 450)
        resize(width(), std::max(windowHeight, minimumHeight()));
    const int windowWidth = ini.ReadInteger(Application, key::WindowWidth, 462);
    if (windowWidth >= 462)
        resize(std::max(windowWidth, minimumWidth()), height());
    FValidateDestinationMedia = ini.ReadBool(Application, key::ValidateDestinationMedia, true);
    FLogWindowHeight = std::max(ini.ReadInteger(Application, key::LogWindowHeight, 415), 415);
    FLogWindowWidth = std::max(ini.ReadInteger(Application, key::LogWindowWidth, 450), 450);

    ui.chkUpdates->setChecked(ini.ReadBool(Updates, key::AutoCheckUpdates, true));
    ui.cboUpdates->setCurrentIndex(ini.ReadInteger(Updates, key::AutoCheckUpdateInterval, 0));
    ui.chkUpgrades->setChecked(ini.ReadBool(Updates, key::AutoCheckUpgrades, true));
    ui.cboUpgrades->setCurrentIndex(ini.ReadInteger(Updates, key::AutoCheckUpgradeInterval, 0));
    FLastUpdateCheck = IniStrToDate(ini.ReadString(Updates, key::LastUpdateCheck, ""));
    // The boxes may already have shown the state read, so the handlers did not run for them.
    chkAppTempDirClick();
    chkShowLogGridClick();
    chkUpdatesClick();
    chkUpgradesClick();
}

bool TfrmMain::SaveAppSettings() {
    Ui::TfrmMain& ui = *m_ui;
    TIniFile ini(SettingsFileName());
    auto writePassword = [&](const char* name, const QLineEdit* edit) {
        ini.WriteString(Application, name, EncryptString(S(edit->text()), kStoredPasswordKey));
    };
    ini.WriteString(Application, key::MailFrom, S(ui.txtMailFrom->text()));
    ini.WriteString(Application, key::MailReplyTo, S(ui.txtMailReplyTo->text()));
    ini.WriteString(Application, key::SMTPHost, S(ui.txtSMTPServer->text()));
    ini.WriteString(Application, key::SMTPUsername, S(ui.txtSMTPUsername->text()));
    writePassword(key::SMTPPassword, ui.txtSMTPPassword);
    ini.WriteString(Application, key::POP3Host, S(ui.txtPOPServer->text()));
    ini.WriteString(Application, key::POP3Username, S(ui.txtPOPUsername->text()));
    writePassword(key::POP3Password, ui.txtPOPPassword);
    ini.WriteBool(Application, key::AppPassRequired, ui.chkAppPassword->isChecked());
    ini.WriteBool(Application, key::ShowAppWinOnStart, ui.chkShowAppWindow->isChecked());
    ini.WriteBool(Application, key::PromptBeforeExit, ui.chkPromptBeforeExit->isChecked());
    ini.WriteBool(Application, key::BlinkingRedIcon, ui.chkRedIcon->isChecked());
    writePassword(key::AppPassword, ui.txtAppPassword);
    ini.WriteBool(Application, key::UseAppTempDir, ui.chkAppTempDir->isChecked());
    ini.WriteString(Application, key::AppTempDir, S(ui.txtAppTempDir->text()));
    ini.WriteInteger(Application, key::MaxLogSize, ui.spnAppLogSize->value());
    ini.WriteBool(Application, key::LogDetails, ui.chkAppLogDetail->isChecked());
    ini.WriteBool(Application, key::LogGrid, ui.chkShowLogGrid->isChecked());
    ini.WriteInteger(Application, key::WindowHeight, height());
    ini.WriteInteger(Application, key::WindowWidth, width());
    ini.WriteInteger(Application, key::LogWindowHeight, FLogWindowHeight);
    ini.WriteInteger(Application, key::LogWindowWidth, FLogWindowWidth);
    ini.WriteBool(Updates, key::AutoCheckUpdates, ui.chkUpdates->isChecked());
    ini.WriteInteger(Updates, key::AutoCheckUpdateInterval, ui.cboUpdates->currentIndex());
    ini.WriteBool(Updates, key::AutoCheckUpgrades, ui.chkUpgrades->isChecked());
    ini.WriteInteger(Updates, key::AutoCheckUpgradeInterval, ui.cboUpgrades->currentIndex());
    ini.WriteString(Updates, key::LastUpdateCheck, DateToIniStr(FLastUpdateCheck));
    platform::ForceDirectories(platform::ExtractFilePath(ini.FileName()));
    if (ini.UpdateFile(0600)) {
        FSettingsWriteReported = false;
        return true;
    }
    // Hiding and exit go on regardless; the user hears of it once, not at every hide.
    if (!FSettingsWriteReported && !FForcedEnd) {
        FSettingsWriteReported = true;
        ShowAppMessage(texts::SettingsNotSaved + Q(ini.FileName()) + " (" +
                       Q(platform::ErrorText(ini.Error())) + ").");
    }
    return false;
}

void TfrmMain::ShowAppMessage(const QString& text) {
    dialogs::MessageBox(this, text, Q(AppTitle), dialogs::Icon::None, QMessageBox::Ok);
}

void TfrmMain::pagApplicationChange() {
    m_ui->cmdAppSettings->setVisible(true);
    m_ui->cmdAppSettings->setText("Apply");
}

void TfrmMain::cmdAppSettingsClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SaveAppSettings();
    ApplyRunOnStartup();
    QApplication::restoreOverrideCursor();
}

void TfrmMain::ApplyRunOnStartup() {
    QCheckBox* box = m_ui->chkRunOnWindowsStartup;
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
    QCheckBox* box = m_ui->chkRunOnWindowsStartup;
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
        if (QString::fromStdString(value).toUpper() != QString::fromStdString(program).toUpper())
            autostart::WriteValue(RunValueName, program);
        box->setChecked(true);
    } catch (...) {
        box->setChecked(false);
    }
}

void TfrmMain::txtAppPasswordExit() {
    m_ui->txtVerifyAppPassword->setFocus();
}

void TfrmMain::txtVerifyAppPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_ui->txtAppPassword, m_ui->txtVerifyAppPassword, newFocus);
}

void TfrmMain::txtSMTPPasswordExit() {
    m_ui->txtVerifySMTPPassword->setFocus();
}

void TfrmMain::txtVerifySMTPPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_ui->txtSMTPPassword, m_ui->txtVerifySMTPPassword, newFocus);
}

void TfrmMain::txtPOPPasswordExit() {
    m_ui->txtVerifyPOPPassword->setFocus();
}

void TfrmMain::txtVerifyPOPPasswordExit(QWidget* newFocus) {
    CheckPasswordPair(m_ui->txtPOPPassword, m_ui->txtVerifyPOPPassword, newFocus);
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
    Ui::TfrmMain& ui = *m_ui;
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
                                                 m_ui->txtAppTempDir->text());
    if (!folder.isEmpty())
        m_ui->txtAppTempDir->setText(folder);
}

void TfrmMain::chkAppTempDirClick() {
    const bool enabled = m_ui->chkAppTempDir->isChecked();
    m_ui->txtAppTempDir->setEnabled(enabled);
    m_ui->cmdAppTempDir->setEnabled(enabled);
}

void TfrmMain::chkShowLogGridClick() {
    m_ui->lvwLog->setShowGrid(m_ui->chkShowLogGrid->isChecked());
}

void TfrmMain::chkUpdatesClick() {
    m_ui->cboUpdates->setEnabled(m_ui->chkUpdates->isChecked());
}

void TfrmMain::chkUpgradesClick() {
    m_ui->cboUpgrades->setEnabled(m_ui->chkUpgrades->isChecked());
}
