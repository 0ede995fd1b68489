#include "app/singleinstance.h"

#include "app/instancemessage.h"

#include "platform/tempdir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quaylet {

namespace {

QString pathIn(const QString& dir, const QString& name)
{
    return dir.isEmpty() ? QString() : QDir(dir).filePath(name);
}

// True when someone holds the lock on the file now at path.
bool isLockHeld(const QByteArray& path)
{
    platform::UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

int remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(const QString& runtimeDir, const QString& instanceName, QObject* parent)
    : QObject(parent),
      m_lockPath(pathIn(runtimeDir, instanceName + QStringLiteral(".lock"))),
      m_turnPath(pathIn(runtimeDir, instanceName + QStringLiteral(".start"))),
      m_serverPath(pathIn(runtimeDir, instanceName))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultRuntimeDir(std::string* why)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime);
    std::string error;
    const std::string dir = platform::UserPrivateDir(platform::tempBaseDir(), error);
    if (why)
        *why = error;
    return QString::fromLocal8Bit(dir);
}

bool SingleInstance::tryBecomeFirst()
{
    if (m_lock.valid())
        return true;
    if (m_lockPath.isEmpty())
        return false;
    const QByteArray lockPath = m_lockPath.toLocal8Bit();

    // Starters take turns, so that looking for a holder and putting our own
    // lock file in place cannot interleave with another starter's.
    platform::UniqueFd turn(::open(m_turnPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!turn.valid())
        return false;
    while (::flock(turn.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return false;
    if (isLockHeld(lockPath))
        return false;

    // The new lock file carries our pid and our lock before it appears under
    // its name, so that a reader never finds it held but empty.
    QByteArray staged = lockPath + ".XXXXXX";
    platform::UniqueFd fd(::mkostemp(staged.data(), O_CLOEXEC));
    if (!fd.valid())
        return false;
    const std::string pid = std::to_string(::getpid()) + "\n";
    const bool ready = ::write(fd.get(), pid.data(), pid.size()) == static_cast<ssize_t>(pid.size()) &&
                       ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
                       ::rename(staged.constData(), lockPath.constData()) == 0;
    if (!ready) {
        ::unlink(staged.constData());
        return false;
    }
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
        // One reader per connection: an "open" may arrive in many pieces.
        auto reader = std::make_shared<InstanceMessageReader>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
            for (const InstanceMessage& message : reader->feed(socket->readAll())) {
                if (message.command == kShow)
                    Q_EMIT showRequested();
                else if (message.command == kClose)
                    Q_EMIT closeRequested();
                else if (message.command == "open" && !message.paths.empty())
                    Q_EMIT openRequested(message.paths);
            }
        });
    }
}

std::optional<pid_t> SingleInstance::runningPid() const
{
    if (m_lockPath.isEmpty())
        return std::nullopt;
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
    return sendBytes(message + '\n', timeoutMs);
}

bool SingleInstance::openInRunning(const std::vector<std::string>& paths, int timeoutMs) const
{
    return sendBytes(OpenMessage(paths) + kShow + '\n', timeoutMs);
}

bool SingleInstance::sendBytes(const QByteArray& bytes, int timeoutMs) const
{
    if (m_serverPath.isEmpty())
        return false;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(m_serverPath);
        if (socket.waitForConnected(std::max(1, remainingMs(deadline)))) {
            socket.write(bytes);
            // Many paths do not fit the socket's buffer at once.
            bool sent = true;
            while (sent && socket.bytesToWrite() > 0)
                sent = socket.waitForBytesWritten(std::max(1, remainingMs(deadline)));
            socket.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        // The running client may still be starting up and not yet serving.
        QThread::msleep(static_cast<unsigned long>(std::min(50, remainingMs(deadline))));
    }
}

std::optional<bool> SingleInstance::closeRunning(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto pid = runningPid();
    if (!pid)
        return true;
    const auto ended = WaitForProcessEnd(*pid, 0);
    if (!ended.has_value() || *ended)
        return ended;
    sendToRunning(kClose, remainingMs(deadline));
    return WaitForProcessEnd(*pid, remainingMs(deadline));
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
