// The program's icon in the desktop's tray: idle, busy and error states with their tips, the blinking
// of pending errors, and the tray menu with its "Backup Now" submenu. It tells the window what the
// user asked for through signals.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

// One profile as the "Backup Now" submenu lists it.
struct TTrayProfileEntry {
    QString Caption;
    int Index = -1; // the profile's index in the window's profile array
    bool Running = false;
};

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    enum State { Idle = 0, Busy = 1, Error = 2 };

    // The menu becomes a child of Parent, so that the window's children include its items.
    explicit TTrayIcon(QWidget* parent = nullptr);
    ~TTrayIcon() override;

    // Puts the icon into the desktop's tray. Where there is none yet, the icon appears once a tray does;
    // a tray that restarts gets it back as it stands.
    void Add();
    void Remove();

    // Shows state 0 (idle: the errors tip while errors are pending), 1 (busy) or 2 (error).
    void SetTrayIcon(int state);
    int CurrentState() const { return m_state; }
    QString ToolTip() const;

    // Errors of a run or a refused start that the user has not cleared yet.
    bool HasErrors() const { return m_hasErrors; }
    void SetHasErrors(bool hasErrors) { m_hasErrors = hasErrors; }
    // The blink timer (every second) alternates the error and idle icons while errors are pending and
    // the blinking is chosen.
    void SetBlinking(bool on);
    bool Blinking() const;
    void SetBlinkChosen(std::function<bool()> chosen) { m_blinkChosen = std::move(chosen); }

    // The profiles the "Backup Now" submenu lists, asked for each time the menu opens.
    void SetProfileEntries(std::function<std::vector<TTrayProfileEntry>()> entries) {
        m_entries = std::move(entries);
    }

    QSystemTrayIcon* Icon() const { return m_icon; }
    static QIcon StateIcon(int state);
    // The program's own picture, for its windows.
    static QIcon ProgramIcon();

    QMenu* mnuTray = nullptr;
    QAction* mnuTrayOpen = nullptr;
    QAction* mnuTrayBackupNow = nullptr;
    QAction* mnuTrayClose = nullptr;

signals:
    void OpenRequested();
    void ExitRequested();
    void BackupNowRequested(int profileIndex);

private:
    void mnuTrayPopup();
    void timTrayErrorsTimer();

    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QMenu> m_menu;
    QMenu* m_backupNowMenu = nullptr;
    QTimer* m_blinkTimer = nullptr;
    int m_state = Idle;
    bool m_hasErrors = false;
    bool m_blinkOn = false;
    std::function<bool()> m_blinkChosen;
    std::function<std::vector<TTrayProfileEntry>()> m_entries;
};
