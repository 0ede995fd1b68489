#pragma once

// One client per user. The first client holds an exclusive flock on
// <runtime dir>/KestrelioClient.lock for its whole life (a crashed client's lock
// is freed by the kernel) and serves a local socket <runtime dir>/KestrelioClient
// through which later clients ask it to "show" itself, to "close", or to
// "open" the files they were started with (instancemessage.h). The lock
// file names the holder's pid, so that a replacing client can wait for its end.

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/uniquefd.h"

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class QLocalServer;

namespace quaylet {

class SingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    static inline const QByteArray kShow = QByteArrayLiteral("show");
    static inline const QByteArray kClose = QByteArrayLiteral("close");

    SingleInstance(const QString& runtimeDir, const QString& instanceName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The runtime directory from the environment: $XDG_RUNTIME_DIR, else the
    // user's private folder $TMPDIR/quaylet-<uid>, shared by all of the user's
    // clients. Empty, with the reason in why, when that folder is refused.
    static QString defaultRuntimeDir(std::string* why = nullptr);

    // Takes the lock when no other client holds it. Whoever finds the lock held
    // also finds our pid in it. Always false without a runtime directory.
    bool tryBecomeFirst();
    bool isFirst() const { return m_lock.valid(); }

    // Serves the message channel; only the lock holder may call this.
    bool listen();

    // The pid of the client holding the lock, when one does.
    std::optional<pid_t> runningPid() const;

    // Sends a message to the running client, retrying while it is still
    // starting up and has not opened its channel yet.
    bool sendToRunning(const QByteArray& message, int timeoutMs) const;

    // Hands the running client paths to queue, then asks it to show itself,
    // as sendToRunning does.
    bool openInRunning(const std::vector<std::string>& paths, int timeoutMs) const;

    // Asks the running client to close and waits for its process to end, the
    // request and the wait together within timeoutMs. True when no client
    // runs any more; nullopt when the running client cannot be watched.
    std::optional<bool> closeRunning(int timeoutMs) const;

Q_SIGNALS:
    void showRequested();
    void closeRequested();
    void openRequested(const std::vector<std::string>& paths);

private:
    void onNewConnection();
    bool sendBytes(const QByteArray& bytes, int timeoutMs) const;

    QString m_lockPath;
    QString m_turnPath;
    QString m_serverPath;
    platform::UniqueFd m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

// Waits up to timeoutMs for the process to end; true when it has ended (or
// never existed). nullopt when the process cannot be watched.
std::optional<bool> WaitForProcessEnd(pid_t pid, int timeoutMs);

} // namespace quaylet
