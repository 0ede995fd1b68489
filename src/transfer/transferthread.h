#pragma once

// The transfer thread: it sleeps until the queue has work, the notifications
// are due or the process quits, and prepares and uploads the head of the queue
// one file at a time, reporting every step to the window. While a file
// uploads, the next queued photo is prepared on a worker (PhotoLookAhead).
// A pause (TransferObjects::unpaused reset) lets the file at work finish and
// holds the next one until the pause ends.
//
// Threads: everything here runs on the transfer thread except start() and
// stop(). The thread reaches the queue through ITransferQueue (a thread-safe
// container) and the window only through IWindowReactions.

#include "transfer/delaymethodcall.h"
#include "transfer/photolookahead.h"
#include "transfer/transferobjects.h"
#include "transfer/transferqueue.h"
#include "transfer/transfersteps.h"
#include "transfer/windowreactions.h"

#include <QtGlobal>

#include <chrono>
#include <thread>

namespace quaylet {

class TransferThread final {
public:
    static constexpr int kUploadAttempts = 3;
    static constexpr std::chrono::milliseconds kRetryConnectionAfter{1000};

    TransferThread(TransferObjects& objects, TransferShared& shared, ITransferQueue& queue,
                   IWindowReactions& window, TransferSteps steps);
    // Stops and joins (see stop()). A thread that does not stop still uses
    // this object and everything it was given, so the process ends here
    // instead of freeing any of it.
    ~TransferThread();
    Q_DISABLE_COPY_MOVE(TransferThread)

    void start();
    // Sets the cancel and quit events and waits up to the bound for the thread
    // to end. Every blocking call the thread makes watches those events, so the
    // bound is only exceeded by a fault; the thread is then left running and
    // the log says so. True when the thread ended in time. Once a stop has
    // failed every later stop fails at once: the thread may still be running,
    // and the caller must end the process without destroying what it uses.
    bool stop(std::chrono::milliseconds bound = std::chrono::milliseconds(2000));

    // One pass over the head of the queue, as the work event triggers it.
    // Public so that tests can drive the steps without a thread.
    void processHead();

private:
    void run();
    // The queue is paused: reports it and sleeps until the pause ends (true)
    // or the process quits (false).
    bool hold();
    // A Cancel that came is dealt with: what it stops has been stopped.
    void cancelDealtWith();
    void finish(uint64_t rowId, int result);
    void cancelled(uint64_t rowId);
    void lookAhead(uint64_t rowId);
    int imageBox() const;
    void send(WindowMessage message, int64_t parameter = 0);
    int64_t chooseMediaTime(const std::string& path, int type);
    StepContext context();

    TransferObjects& m_objects;
    TransferShared& m_shared;
    ITransferQueue& m_queue;
    IWindowReactions& m_window;
    TransferSteps m_steps;
    CDelayMethodCall m_statusLimiter; // used on the transfer thread only
    platform::Event m_finished{platform::Event::Reset::Manual}; // set as run() returns
    // Both used by the thread that calls start() and stop() only.
    std::thread m_thread;
    bool m_stuck = false; // a stop timed out: the thread may still run
    // Transfer thread only: the account call has answered at least once, so
    // the box of the next photo is known.
    bool m_accountKnown = false;
    // Last, so that its worker is joined before anything it uses goes.
    PhotoLookAhead m_lookAhead{m_steps}; // used on the transfer thread only
};

} // namespace quaylet
