// One running instance: a lock file named after the mutex "BVBackupSingleInstMutex" in the user's
// runtime folder serialises starts, and a local socket named after the main window's class and title
// finds a running instance and asks it to come forward.
#pragma once

#include <QObject>
#include <QString>

#include <string>

class QLocalServer;

constexpr const char* SingleInstanceMutexName = "BVBackupSingleInstMutex";
constexpr const char* MainWindowClassName = "TfrmMain";

// The lock wait in milliseconds: 1000, or BRIMVALE_INSTANCE_WAIT_MS where tests set it.
int SingleInstanceWaitMs();
// The lock file and the channel of a window of Class captioned Title, in the runtime folder.
std::string SingleInstanceLockPath();
QString InstanceChannelPath(const std::string& windowClass, const std::string& title);

// Takes the lock, waiting up to SingleInstanceWaitMs; after a wait that timed out this instance must end
// at once, silently (false). Then looks for a running main window captioned AppTitle: when one answers,
// it has been asked to come forward and this instance must end (false). Otherwise true, with the lock
// held.
bool CheckSingleInstance();
// Releases and closes the lock taken by CheckSingleInstance.
void ReleaseSingleInstanceMutex();

// The same, telling why an instance must end.
enum class InstanceCheck { Go, LockTimedOut, FoundRunning };
InstanceCheck CheckSingleInstanceResult();
// Asks the instance listening at Path to come forward; false when nobody answers.
bool RequestActivation(const QString& path);

// The settings home's lock, held for the program's whole life: the runtime folder's lock and channel
// do not reach a program started in another login session (another runtime folder), and two programs on
// one home would run the same profiles into the same destinations.
class THomeLock {
public:
    // Takes the lock on HomeLockName in Home without waiting. A home where the lock file cannot be made
    // lets the start go on (Held true): only the runtime folder's lock is left then.
    explicit THomeLock(const std::string& home);
    ~THomeLock();
    THomeLock(const THomeLock&) = delete;
    THomeLock& operator=(const THomeLock&) = delete;

    // False when another program holds the home.
    bool Held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = true;
};

constexpr const char* HomeLockName = "brimvale.lock";

// The running instance's side: listens at the channel and reports each request to come forward.
class TInstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit TInstanceChannel(QObject* parent = nullptr);
    // Listens at Path, removing a socket left by an instance that ended; call it while the lock is held.
    bool Listen(const QString& path);

signals:
    void ActivationRequested();

private:
    QLocalServer* m_server;
};
