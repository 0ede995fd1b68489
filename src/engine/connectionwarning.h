#pragma once

// The connection checks after a drop. The desktop is asked first whether the
// computer reaches the Internet at all; when it has no answer, the service's
// own web site decides. Each warning is shown once, until a good connection to
// the service has been seen again (the connection-warning flag).
//
// Threads: made, used and destroyed on one thread (the window's). The checks
// run on a worker thread owned by the object; their answers come back to the
// object's thread through its event loop, in the order of the drops. An answer
// still on its way when the object is destroyed is dropped.

#include "transfer/windowreactions.h"

#include <QObject>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace quaylet {

// The desktop's view of the network (QNetworkInformation's reachability,
// plus Unknown when the desktop cannot say).
enum class Reachability { Online, Disconnected, Local, Site, Unknown };

struct ConnectionChecks {
    // Both run on the worker thread. Empty means the default: the desktop's
    // network information, and a connection to the service's web site.
    std::function<Reachability()> desktop;
    std::function<bool()> service;
};

// The desktop's answer through Qt's network information (NetworkManager);
// Unknown without a backend.
Reachability DesktopReachability();

// Whether the service's web site (following QUAYLET_SERVICE_URL) takes a
// connection within a few seconds.
bool ServiceReachable();

class CConnectionWarning final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConnectionWarning)

public:
    explicit CConnectionWarning(ConnectionChecks checks = {}, QObject* parent = nullptr);
    ~CConnectionWarning() override;

    // After a drop: starts the checks and returns at once. When they answer,
    // back on this object's thread, writes the log lines and emits warn() at
    // most once until a good connection has been seen again.
    void checkAfterDrop();

    // The connection-warning flag: a warning may be shown at the next drop
    // without a connection.
    bool warningArmed() const { return m_armed; }

Q_SIGNALS:
    void warn(const quaylet::Balloon& balloon);
    // Every check's end (after its log line and any warning), for tests.
    void checked();

private:
    enum class Outcome { NoInternet, ServiceDown, Good };
    void onAnswer(Outcome outcome);

    class Worker;
    ConnectionChecks m_checks;
    bool m_armed = true; // the object's thread only
    std::unique_ptr<Worker> m_worker;
};

} // namespace quaylet
