// The tray icon, its three pictures, its tips, its blinking and its menu.
#include "app/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace {

const char* const kIdleTip = "Brimvale is idle.";
const char* const kBusyTip = "Brimvale is working.";
const char* const kErrorsTip = "Brimvale has errors. See log for details.";

QColor StateColour(int state) {
    switch (state) {
    case TTrayIcon::Busy:
        return {0x2e, 0x9e, 0x4f};
    case TTrayIcon::Error:
        return {0xd3, 0x2f, 0x2f};
    default:
        return {0x2e, 0x6d, 0xb4};
    }
}

// The state's picture at one size: a coloured disc; idle carries the program's letter, busy two turning
// arrows, error an exclamation mark.
QPixmap StatePixmap(int state, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(StateColour(state));
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.setBrush(Qt::white);
    if (state == TTrayIcon::Error) {
        painter.drawRoundedRect(QRectF(6.8, 3, 2.4, 6.5), 1, 1);
        painter.drawEllipse(QRectF(6.8, 10.8, 2.4, 2.4));
    } else if (state == TTrayIcon::Busy) {
        QPen pen(Qt::white, 1.8);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QRectF ring(4, 4, 8, 8);
        painter.drawArc(ring, 30 * 16, 120 * 16);
        painter.drawArc(ring, 210 * 16, 120 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        QPainterPath heads;
        heads.addPolygon(QPolygonF({QPointF(12.5, 5.2), QPointF(12.8, 9), QPointF(9.4, 7.4)}));
        heads.addPolygon(QPolygonF({QPointF(3.5, 10.8), QPointF(3.2, 7), QPointF(6.6, 8.6)}));
        painter.drawPath(heads);
    } else {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, "B");
    }
    return pixmap;
}

} // namespace

QIcon TTrayIcon::StateIcon(int state) {
    QIcon icon;
    for (int size : {16, 22, 32, 48})
        icon.addPixmap(StatePixmap(state, size));
    return icon;
}

QIcon TTrayIcon::ProgramIcon() {
    return StateIcon(Idle);
}

TTrayIcon::TTrayIcon(QWidget* parent) : QObject(parent) {
    mnuTray = new QMenu(parent);
    m_menu = mnuTray;
    mnuTray->setObjectName("mnuTray");
    mnuTrayOpen = mnuTray->addAction("Open...");
    mnuTrayOpen->setObjectName("mnuTrayOpen");
    QFont bold = mnuTrayOpen->font();
    bold.setBold(true);
    mnuTrayOpen->setFont(bold);
    mnuTray->addSeparator();
    m_backupNowMenu = mnuTray->addMenu("Backup Now");
    m_backupNowMenu->setObjectName("mnuTrayBackupNowMenu");
    mnuTrayBackupNow = m_backupNowMenu->menuAction();
    mnuTrayBackupNow->setObjectName("mnuTrayBackupNow");
    mnuTrayBackupNow->setEnabled(false);
    mnuTray->addSeparator();
    mnuTrayClose = mnuTray->addAction("Exit Brimvale");
    mnuTrayClose->setObjectName("mnuTrayClose");
    connect(mnuTrayOpen, &QAction::triggered, this, &TTrayIcon::OpenRequested);
    connect(mnuTrayClose, &QAction::triggered, this, &TTrayIcon::ExitRequested);
    connect(mnuTray, &QMenu::aboutToShow, this, &TTrayIcon::mnuTrayPopup);

    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setObjectName("timTrayErrors");
    m_blinkTimer->setInterval(1000);
    connect(m_blinkTimer, &QTimer::timeout, this, &TTrayIcon::timTrayErrorsTimer);
    m_blinkTimer->start();

    m_icon = new QSystemTrayIcon(StateIcon(Idle), this);
    m_icon->setObjectName("trayIcon");
    m_icon->setToolTip(kIdleTip);
    m_icon->setContextMenu(mnuTray);
    // Many trays report only single clicks, so either kind opens the window.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit OpenRequested();
    });
}

TTrayIcon::~TTrayIcon() {
    Remove();
    delete m_menu;
}

void TTrayIcon::Add() {
    // Shown even while the desktop has no tray: Qt docks the icon in a tray that appears later or
    // restarts, with the picture and tip it has then.
    m_icon->show();
}

void TTrayIcon::Remove() {
    m_icon->hide();
}

void TTrayIcon::SetTrayIcon(int state) {
    m_state = state;
    m_icon->setIcon(StateIcon(state));
    m_icon->setToolTip(ToolTip());
}

QString TTrayIcon::ToolTip() const {
    if (m_state == Busy)
        return kBusyTip;
    if (m_state == Error || m_hasErrors)
        return kErrorsTip;
    return kIdleTip;
}

void TTrayIcon::SetBlinking(bool on) {
    if (on && !m_blinkTimer->isActive())
        m_blinkTimer->start();
    else if (!on)
        m_blinkTimer->stop();
}

bool TTrayIcon::Blinking() const {
    return m_blinkTimer->isActive();
}

void TTrayIcon::timTrayErrorsTimer() {
    if (!m_hasErrors || !m_blinkChosen || !m_blinkChosen())
        return;
    m_blinkOn = !m_blinkOn;
    SetTrayIcon(m_blinkOn ? Error : Idle);
}

void TTrayIcon::mnuTrayPopup() {
    m_backupNowMenu->clear();
    const std::vector<TTrayProfileEntry> entries = m_entries ? m_entries() : std::vector<TTrayProfileEntry>{};
    const QIcon image = StateIcon(Idle);
    for (const TTrayProfileEntry& entry : entries) {
        QAction* item = m_backupNowMenu->addAction(image, entry.Caption);
        item->setData(entry.Index);
        item->setEnabled(!entry.Running);
        const int index = entry.Index;
        connect(item, &QAction::triggered, this, [this, index] { emit BackupNowRequested(index); });
    }
    mnuTrayBackupNow->setEnabled(!entries.empty());
}
