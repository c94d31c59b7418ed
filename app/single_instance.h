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
