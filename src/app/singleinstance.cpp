#include "app/singleinstance.h"

#include "platform/tempdir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quaylet {

SingleInstance::SingleInstance(const QString& runtimeDir, const QString& instanceName, QObject* parent)
    : QObject(parent),
      m_lockPath(QDir(runtimeDir).filePath(instanceName + QStringLiteral(".lock"))),
      m_serverPath(QDir(runtimeDir).filePath(instanceName))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultRuntimeDir()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime);
    return QString::fromStdString(platform::TempPath());
}

bool SingleInstance::tryBecomeFirst()
{
    if (m_lock.valid())
        return true;
    platform::UniqueFd fd(::open(m_lockPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.get(), 0) == 0)
        [[maybe_unused]] auto n = ::pwrite(fd.get(), pid.data(), pid.size(), 0);
    m_lock = std::move(fd);
    return true;
}

bool SingleInstance::listen()
{
    if (!m_lock.valid())
        return false;
    // We hold the lock, so a socket file left here belongs to a client that is gone.
    QLocalServer::removeServer(m_serverPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return m_server->listen(m_serverPath);
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray message = socket->readLine().trimmed();
                if (message == kShow)
                    Q_EMIT showRequested();
                else if (message == kClose)
                    Q_EMIT closeRequested();
            }
        });
    }
}

std::optional<pid_t> SingleInstance::runningPid() const
{
    platform::UniqueFd fd(::open(m_lockPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return std::nullopt;
    // A lock we can take means nobody runs.
    if (!m_lock.valid() && ::flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
        return std::nullopt;
    char buffer[32] = {};
    const ssize_t n = ::pread(fd.get(), buffer, sizeof buffer - 1, 0);
    if (n <= 0)
        return std::nullopt;
    const long pid = std::strtol(buffer, nullptr, 10);
    if (pid <= 0)
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool SingleInstance::sendToRunning(const QByteArray& message, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(m_serverPath);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(message + '\n');
            const bool sent = socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            socket.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        // The running client may still be starting up and not yet serving.
        QThread::msleep(50);
    }
}

std::optional<bool> WaitForProcessEnd(pid_t pid, int timeoutMs)
{
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return errno == ESRCH ? std::optional(true) : std::nullopt;
    platform::UniqueFd guard(pidfd);
    pollfd pfd{pidfd, POLLIN, 0};
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const int rc = ::poll(&pfd, 1, static_cast<int>(deadline.remainingTime()));
        if (rc > 0)
            return true;
        if (rc == 0)
            return false;
        if (errno != EINTR)
            return std::nullopt;
    }
}

} // namespace quaylet
