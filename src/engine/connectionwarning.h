#pragma once

// The connection checks after a drop. The desktop is asked first whether the
// computer reaches the Internet at all; when it cannot say, the service's own
// web site decides. Each warning is shown once, until a good connection to
// the service has been seen again (the connection-warning flag).
//
// Threads: made, used and destroyed on one thread (the window's). The checks
// run on a worker thread owned by the object, one drop after the other; their
// answers come back to the object's thread through its event loop, in the
// order of the drops. An answer still on its way when the object is
// destroyed is dropped.

#include "transfer/windowreactions.h"

#include <QObject>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>

namespace quaylet {

// The desktop's view of the network (QNetworkInformation's reachability,
// Unknown also when the desktop has no backend to ask).
enum class Reachability { Online, Disconnected, Local, Site, Unknown };

struct ConnectionChecks {
    // Both run on the worker thread. Empty means the default: the desktop's
    // network information (NetworkManager), and a connection to the service's
    // web site (ServiceReachable).
    std::function<Reachability()> desktop;
    std::function<bool()> service;
};

// How long the service check waits for the web site to take a connection.
inline constexpr std::chrono::milliseconds kServiceCheckTimeout{5000};

// Whether the service's web site (following QUAYLET_SERVICE_URL) takes a
// connection within kServiceCheckTimeout. Nothing is sent.
bool ServiceReachable();

class CConnectionWarning final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConnectionWarning)

public:
    // With the default desktop check, the desktop's network information is
    // loaded here, on this thread, whose event loop keeps it current.
    explicit CConnectionWarning(ConnectionChecks checks = {}, QObject* parent = nullptr);
    // Waits a short while for a check in progress (the default service check
    // gives up at once); one that does not end in time is left to finish on
    // its own, and its answer is dropped.
    ~CConnectionWarning() override;

    // After a drop: starts the checks and returns at once. When they answer,
    // back on this object's thread, writes the log lines and emits warn() at
    // most once until a good connection has been seen again.
    void checkAfterDrop();

    // The connection-warning flag: a warning may be shown at the next drop
    // without a connection.
    bool warningArmed() const { return m_armed; }

    static constexpr std::chrono::milliseconds kStopWait{2000};

Q_SIGNALS:
    void warn(const quaylet::Balloon& balloon);
    // Every check's end (after its log line and any warning), for tests.
    void checked();

private:
    enum class Outcome { NoInternet, ServiceDown, Good };
    class Worker;
    class DesktopWatch;
    void onAnswer(Outcome outcome);

    bool m_armed = true; // this object's thread only
    std::unique_ptr<DesktopWatch> m_desktop;
    std::unique_ptr<Worker> m_worker;
};

} // namespace quaylet
