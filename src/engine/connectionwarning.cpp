#include "engine/connectionwarning.h"

#include "api/endpoints.h"
#include "core/logfile.h"
#include "core/queuedcall.h"
#include "core/stringtable.h"
#include "platform/internet.h"

#include <QNetworkInformation>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quaylet {

namespace {

Reachability FromQt(QNetworkInformation::Reachability reachability)
{
    switch (reachability) {
    case QNetworkInformation::Reachability::Online:
        return Reachability::Online;
    case QNetworkInformation::Reachability::Disconnected:
        return Reachability::Disconnected;
    case QNetworkInformation::Reachability::Local:
        return Reachability::Local;
    case QNetworkInformation::Reachability::Site:
        return Reachability::Site;
    case QNetworkInformation::Reachability::Unknown:
        break;
    }
    return Reachability::Unknown;
}

} // namespace

bool ServiceReachable()
{
    return platform::CheckInternetConnection(SiteAddress(), kServiceCheckTimeout);
}

// The desktop's answer, kept current by the owner's thread and read by the
// worker. Qt's network information lives on the thread that loads it (a short
// exchange with NetworkManager, once per process) and is not to be read from
// others, hence the copy in an atomic.
class CConnectionWarning::DesktopWatch final : public QObject {
    Q_DISABLE_COPY_MOVE(DesktopWatch)

public:
    DesktopWatch() : m_reachability(std::make_shared<std::atomic<Reachability>>(Reachability::Unknown))
    {
        const bool loaded = QNetworkInformation::instance() != nullptr ||
                            QNetworkInformation::loadBackendByName(QStringLiteral("networkmanager"));
        QNetworkInformation* info = QNetworkInformation::instance();
        if (!loaded || info == nullptr || !info->supports(QNetworkInformation::Feature::Reachability))
            return;
        m_reachability->store(FromQt(info->reachability()));
        connect(info, &QNetworkInformation::reachabilityChanged, this,
                [shared = m_reachability](QNetworkInformation::Reachability now) { shared->store(FromQt(now)); });
    }

    // Shares the value, so that a worker left running after the owner is gone
    // still reads something that lives.
    std::function<Reachability()> reader() const
    {
        return [shared = m_reachability] { return shared->load(); };
    }

private:
    std::shared_ptr<std::atomic<Reachability>> m_reachability;
};

// One thread that runs the checks of the drops in their order. What it shares
// with the owner lives in State, which the thread co-owns, so the thread may
// outlive a destroyed owner without touching it.
class CConnectionWarning::Worker final {
    Q_DISABLE_COPY_MOVE(Worker)

public:
    Worker(CConnectionWarning* owner, ConnectionChecks checks) : m_state(std::make_shared<State>())
    {
        m_state->owner = owner;
        m_state->checks = std::move(checks);
        m_thread = std::thread([state = m_state] { run(*state); });
    }

    ~Worker()
    {
        std::unique_lock lock(m_state->mutex);
        m_state->owner = nullptr;
        m_state->stopping = true;
        m_state->wake.notify_all();
        if (m_state->finished.wait_for(lock, kStopWait, [this] { return m_state->done; })) {
            lock.unlock();
            m_thread.join();
        } else {
            // A check that ignores the stop: it ends on its own, and its
            // answer has no owner left to go to.
            lock.unlock();
            m_thread.detach();
        }
    }

    void post()
    {
        const std::lock_guard lock(m_state->mutex);
        ++m_state->pending;
        m_state->wake.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;        // pending or stopping changed
        std::condition_variable finished;    // done became true
        CConnectionWarning* owner = nullptr; // guarded by mutex; null once the owner is going
        int pending = 0;                     // guarded by mutex
        bool done = false;                   // guarded by mutex
        // Set under the mutex; read without it by the service check's abort test.
        std::atomic<bool> stopping{false};
        ConnectionChecks checks; // set before the thread starts, then only read by it
    };

    static Outcome check(const ConnectionChecks& checks)
    {
        switch (checks.desktop()) {
        case Reachability::Disconnected:
        case Reachability::Local:
        case Reachability::Site:
            return Outcome::NoInternet;
        case Reachability::Online:
        case Reachability::Unknown:
            break;
        }
        return checks.service() ? Outcome::Good : Outcome::ServiceDown;
    }

    static void run(State& state)
    {
        const platform::ScopedInternetAbort abortOnStop([&state] { return state.stopping.load(); });
        std::unique_lock lock(state.mutex);
        for (;;) {
            state.wake.wait(lock, [&state] { return state.pending > 0 || state.stopping; });
            if (state.stopping)
                break;
            --state.pending;
            lock.unlock();
            const Outcome outcome = check(state.checks);
            lock.lock();
            // Under the lock, so the owner cannot go between the test and the
            // post; a posted answer dies with the owner's pending events.
            if (state.owner != nullptr) {
                CConnectionWarning* owner = state.owner;
                QMetaObject::invokeMethod(owner, QueuedCall([owner, outcome] { owner->onAnswer(outcome); }),
                                          Qt::QueuedConnection);
            }
        }
        state.done = true;
        state.finished.notify_all();
    }

    std::shared_ptr<State> m_state;
    std::thread m_thread; // last: started once the state is complete
};

CConnectionWarning::CConnectionWarning(ConnectionChecks checks, QObject* parent) : QObject(parent)
{
    if (!checks.desktop) {
        m_desktop = std::make_unique<DesktopWatch>();
        checks.desktop = m_desktop->reader();
    }
    if (!checks.service)
        checks.service = ServiceReachable;
    m_worker = std::make_unique<Worker>(this, std::move(checks));
}

CConnectionWarning::~CConnectionWarning() = default;

void CConnectionWarning::checkAfterDrop()
{
    m_worker->post();
}

void CConnectionWarning::onAnswer(Outcome outcome)
{
    switch (outcome) {
    case Outcome::NoInternet:
        WriteLog(LogConnectivity, "CKestrelioClientDlg: No internet connection");
        if (m_armed) {
            m_armed = false;
            Q_EMIT warn(Balloon{LoadString(str::NoInternetTitle), LoadString(str::NoInternetText),
                                BalloonIcon::Warning, 10000, 8000});
        }
        break;
    case Outcome::ServiceDown:
        WriteLog(LogConnectivity, "CKestrelioClientDlg: couldn't contact server");
        if (m_armed) {
            m_armed = false;
            Q_EMIT warn(Balloon{LoadString(str::ServerMaintenanceTitle), LoadString(str::ServerMaintenanceText),
                                BalloonIcon::Info, 10000, 8000});
        }
        break;
    case Outcome::Good:
        WriteLog(LogTrace, "CKestrelioClientDlg: Good connection to server...");
        m_armed = true;
        break;
    }
    Q_EMIT checked();
}

} // namespace quaylet
