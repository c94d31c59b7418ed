// The single-instance lock and channel.
#include "app/startup/single_instance.h"
#include "widgets/text_conversion.h"

#include "engine/helpers.h"
#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/home.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* ActivateRequest = "activate\n";
constexpr const char* ActivateReply = "ok\n";
constexpr int ChannelWaitMs = 2000;

// The lock file descriptor while this process holds the lock (-1 otherwise).
int SingleInstanceMutex = -1;

} // namespace

int SingleInstanceWaitMs() {
    return platform::EnvironmentNumber("BRIMVALE_INSTANCE_WAIT_MS", 1000);
}

std::string SingleInstanceLockPath() {
    const std::string dir = platform::RuntimeDir();
    return dir.empty() ? std::string() : dir + SingleInstanceMutexName + ".lock";
}

QString InstanceChannelPath(const std::string& windowClass, const std::string& title) {
    const std::string dir = platform::RuntimeDir();
    if (dir.empty())
        return {};
    std::string name = windowClass + " " + title;
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return Q(dir + name + ".socket");
}

bool RequestActivation(const QString& path) {
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(ChannelWaitMs))
        return false;
    socket.write(ActivateRequest);
    if (!socket.waitForBytesWritten(ChannelWaitMs))
        return false;
    // The reply tells that a running instance took the request, not only that a socket accepted it.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(ChannelWaitMs))
            return false;
    }
    return socket.readLine() == ActivateReply;
}

InstanceCheck CheckSingleInstanceResult() {
    const std::string lockPath = SingleInstanceLockPath();
    // A lock that cannot be created lets the start go on; only the window search is left then.
    const int fd = lockPath.empty() ? -1 : ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(SingleInstanceWaitMs());
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                SingleInstanceMutex = fd;
                break;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                ::close(fd);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return InstanceCheck::LockTimedOut;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (RequestActivation(InstanceChannelPath(MainWindowClassName, AppTitle))) {
        ReleaseSingleInstanceMutex();
        return InstanceCheck::FoundRunning;
    }
    return InstanceCheck::Go;
}

THomeLock::THomeLock(const std::string& home) {
    (void)platform::ForceDirectories(home);
    const std::string path = home + HomeLockName;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    int result = 0;
    do
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    m_held = result == 0 || errno != EWOULDBLOCK;
}

THomeLock::~THomeLock() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CheckSingleInstance() {
    return CheckSingleInstanceResult() == InstanceCheck::Go;
}

void ReleaseSingleInstanceMutex() {
    if (SingleInstanceMutex < 0)
        return;
    ::flock(SingleInstanceMutex, LOCK_UN);
    ::close(SingleInstanceMutex);
    SingleInstanceMutex = -1;
}

TInstanceChannel::TInstanceChannel(QObject* parent) : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray request = socket->readLine();
                if (request != ActivateRequest) {
                    socket->disconnectFromServer();
                    return;
                }
                socket->write(ActivateReply);
                socket->flush();
                socket->disconnectFromServer();
                // After the reply: coming forward may show a modal password prompt.
                QMetaObject::invokeMethod(this, &TInstanceChannel::ActivationRequested, Qt::QueuedConnection);
            });
        }
    });
}

bool TInstanceChannel::Listen(const QString& path) {
    if (path.isEmpty())
        return false;
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}
