#include "transfer/windowcallmarshal.h"

#include "core/queuedcall.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>

namespace quaylet {

// One call on its way to the window thread, shared by the waiting caller and
// the queued event.
struct CWindowCallMarshal::Pending {
    std::function<void()> call;
    std::atomic<bool> abandoned{false};
    platform::Event done{platform::Event::Reset::Manual};
};

namespace {

// Travels inside the queued event. It marks the call done when it has run,
// and also when Qt discards the event unrun (its receiver was destroyed), so
// that no caller waits for a call that can no longer come.
class Completion final {
public:
    Completion(std::shared_ptr<CWindowCallMarshal::Pending> pending, platform::Event& quit)
        : m_pending(std::move(pending)), m_quit(quit)
    {
    }
    ~Completion() { m_pending->done.set(); }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    void run()
    {
        // A caller that gave up, or a window on its way out, gets no late call.
        if (!m_pending->abandoned && !m_quit.isSet())
            m_pending->call();
        m_pending->done.set();
    }

private:
    std::shared_ptr<CWindowCallMarshal::Pending> m_pending;
    platform::Event& m_quit;
};

} // namespace

CWindowCallMarshal::CWindowCallMarshal(platform::Event& quit)
    : m_quit(quit), m_closed(std::make_shared<platform::Event>(platform::Event::Reset::Manual)),
      m_thread(QThread::currentThread()), m_receiver(std::make_unique<QObject>())
{
}

CWindowCallMarshal::~CWindowCallMarshal()
{
    close();
    // Destroying the receiver discards its pending events, which releases their callers too.
    m_receiver.reset();
}

void CWindowCallMarshal::close()
{
    std::lock_guard lock(m_postMutex);
    m_isClosed = true;
    m_closed->set();
}

bool CWindowCallMarshal::invoke(std::function<void()> call)
{
    if (!call)
        return true;
    if (QThread::currentThread() == m_thread) {
        call();
        return true;
    }
    platform::Event* quit = &m_quit;
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    std::shared_ptr<platform::Event> closed;
    {
        std::lock_guard lock(m_postMutex);
        if (m_isClosed || m_quit.isSet())
            return false;
        closed = m_closed;
        auto completion = std::make_shared<Completion>(pending, m_quit);
        QMetaObject::invokeMethod(
            m_receiver.get(), QueuedCall([completion] { completion->run(); }), Qt::QueuedConnection);
    }
    // From here on only locals and the quit event are touched: the marshal may
    // be destroyed while this thread waits.
    const auto slot = platform::waitForAny({&pending->done, quit, closed.get()});
    if (slot && *slot == 0)
        return true;
    pending->abandoned = true;
    return false;
}

void CMarshalledWindowReactions::sendMessage(WindowMessage message, int64_t parameter)
{
    m_marshal.invoke([window = &m_window, message, parameter] { window->sendMessage(message, parameter); });
}

void CMarshalledWindowReactions::setProgressPosition(int position)
{
    m_marshal.invoke([window = &m_window, position] { window->setProgressPosition(position); });
}

void CMarshalledWindowReactions::setProgressMaximum(int maximum)
{
    m_marshal.invoke([window = &m_window, maximum] { window->setProgressMaximum(maximum); });
}

void CMarshalledWindowReactions::setStatusText(const std::string& text)
{
    m_marshal.invoke([window = &m_window, text] { window->setStatusText(text); });
}

void CMarshalledWindowReactions::showBalloon(const Balloon& balloon)
{
    m_marshal.invoke([window = &m_window, balloon] { window->showBalloon(balloon); });
}

} // namespace quaylet
