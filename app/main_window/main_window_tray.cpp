// The main window's side of the tray icon: the window's icon, the menu's commands, the profiles of the
// "Backup Now" submenu, the icon's state and the acknowledgement of pending errors.
#include "app/main_window/main_window.h"

#include "app/app_texts.h"
#include "app/tray_icon.h"
#include "engine/helpers.h"
#include "ui_page_application.h"
#include "ui_page_profiles.h"
#include "widgets/text_conversion.h"

#include <QMenu>
#include <QSystemTrayIcon>

void TfrmMain::CreateTrayMenu() {
    setWindowIcon(TTrayIcon::ProgramIcon());
    m_uiApplication->imgAbout->setPixmap(windowIcon().pixmap(48, 48));
    m_tray = new TTrayIcon(this);
    mnuTray = m_tray->mnuTray;
    mnuTrayOpen = m_tray->mnuTrayOpen;
    mnuTrayBackupNow = m_tray->mnuTrayBackupNow;
    mnuTrayClose = m_tray->mnuTrayClose;
    ConnectGuarded(m_tray, &TTrayIcon::OpenRequested, &TfrmMain::mnuTrayOpenClick);
    ConnectGuarded(m_tray, &TTrayIcon::ExitRequested, &TfrmMain::mnuTrayCloseClick);
    connect(m_tray, &TTrayIcon::BackupNowRequested, this,
            [this](int index) { dialogs::RunGuarded(this, [this, index] { TrayBackupNowClick(index); }); });
    m_tray->SetBlinkChosen([this] { return m_uiApplication->chkRedIcon->isChecked(); });
    m_tray->SetProfileEntries([this] { return TrayProfileEntries(); });
}

std::vector<TTrayProfileEntry> TfrmMain::TrayProfileEntries() const {
    std::vector<TTrayProfileEntry> entries;
    const QTreeWidget* list = m_uiProfiles->lstProfiles;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        bool ok = false;
        const int index = item->text(1).trimmed().toInt(&ok);
        const TBackupProfile* p = ok ? ProfileAt(index) : nullptr;
        entries.push_back({item->text(0), ok ? index : -1, !p || p->InProcess});
    }
    return entries;
}

void TfrmMain::AddTrayIcon() {
    // A desktop that has no tray yet may get one later: the icon waits for it. Only a caller that
    // says there is none (tests) keeps it off.
    if (m_options.SystemTray.value_or(true))
        m_tray->Add();
}

void TfrmMain::RemoveTrayIcon() {
    if (m_tray)
        m_tray->Remove();
}

void TfrmMain::SetTrayIcon(int state) {
    m_tray->SetTrayIcon(state);
}

void TfrmMain::AcknowledgeErrors() {
    if (!m_tray->HasErrors())
        return;
    SetTrayIcon(TTrayIcon::Idle);
    m_tray->SetBlinking(false);
}

void TfrmMain::TellAboutBackgroundOnce() {
    if (m_toldAboutBackground || HasSystemTray())
        return;
    m_toldAboutBackground = true;
    dialogs::MessageBox(this, texts::KeepsRunning, Q(AppTitle), dialogs::Icon::Information);
}
