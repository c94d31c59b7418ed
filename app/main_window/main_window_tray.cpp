// The main window's tray icon and tray menu (the states, tips and blinking come with the tray's own
// behaviour).
#include "app/main_window/main_window.h"

#include "app/widgets/dialogs.h"
#include "ui_page_application.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace {

// The program's picture: drawn, so that the program carries no image files of its own yet.
QIcon ProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2e, 0x6d, 0xb4));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(22);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, "B");
    return QIcon(pixmap);
}

} // namespace

void TfrmMain::CreateTrayMenu() {
    const QIcon icon = ProgramIcon();
    setWindowIcon(icon);
    m_uiApplication->imgAbout->setPixmap(icon.pixmap(48, 48));
    mnuTray = new QMenu(this);
    mnuTray->setObjectName("mnuTray");
    mnuTrayOpen = mnuTray->addAction("Open...");
    mnuTrayOpen->setObjectName("mnuTrayOpen");
    QFont bold = mnuTrayOpen->font();
    bold.setBold(true);
    mnuTrayOpen->setFont(bold);
    mnuTray->addSeparator();
    QMenu* backupNow = mnuTray->addMenu("Backup Now");
    backupNow->setObjectName("mnuTrayBackupNowMenu");
    mnuTrayBackupNow = backupNow->menuAction();
    mnuTrayBackupNow->setObjectName("mnuTrayBackupNow");
    mnuTrayBackupNow->setEnabled(false);
    mnuTray->addSeparator();
    mnuTrayClose = mnuTray->addAction("Exit Brimvale");
    mnuTrayClose->setObjectName("mnuTrayClose");
    ConnectGuarded(mnuTrayOpen, &QAction::triggered, &TfrmMain::mnuTrayOpenClick);
    ConnectGuarded(mnuTrayClose, &QAction::triggered, &TfrmMain::mnuTrayCloseClick);
}

void TfrmMain::AddTrayIcon() {
    if (!HasSystemTray() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(windowIcon(), this);
    m_trayIcon->setToolTip("Brimvale is idle.");
    m_trayIcon->setContextMenu(mnuTray);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            dialogs::RunGuarded(this, [this] { mnuTrayOpenClick(); });
    });
    m_trayIcon->show();
}

void TfrmMain::RemoveTrayIcon() {
    if (!m_trayIcon)
        return;
    // The window owns the icon; hiding it takes it off the tray at once.
    m_trayIcon->hide();
    m_trayIcon = nullptr;
}
