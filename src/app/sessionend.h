#pragma once

// The end of the desktop session (SIGTERM, SIGINT or SIGHUP) as the window
// thread sees it: an event that code running outside the event loop can wait
// on (the start-up sign-in), and a signal from the event loop once the loop
// runs, so that the window closes as its Exit command would.
//
// Threads: made, used and destroyed on the window thread; requested() may be
// waited on from any thread.

#include "platform/events.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace quaylet {

namespace platform {
class InterruptWatch;
}

class SessionEnd final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionEnd)

public:
    // watch may be null: then the session's end is never seen here (the
    // signals keep whatever action they have).
    explicit SessionEnd(platform::InterruptWatch* watch, QObject* parent = nullptr);
    ~SessionEnd() override;

    const platform::Event& requested() const;

Q_SIGNALS:
    // Once, from the window thread's event loop, for the first signal.
    void ended(int signal);

private:
    platform::InterruptWatch* m_watch;
    platform::Event m_never{platform::Event::Reset::Manual};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace quaylet
