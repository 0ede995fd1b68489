#pragma once

// The transfer thread: it sleeps until the queue has work, the notifications
// are due or the process quits, and prepares and uploads the head of the queue
// one file at a time, reporting every step to the window.
//
// Threads: everything here runs on the transfer thread except start() and
// stop(). The thread reaches the queue through ITransferQueue (a thread-safe
// container) and the window only through IWindowReactions.

#include "transfer/delaymethodcall.h"
#include "transfer/transferobjects.h"
#include "transfer/transferqueue.h"
#include "transfer/transfersteps.h"
#include "transfer/windowreactions.h"

#include <chrono>
#include <thread>

namespace quaylet {

class TransferThread final {
public:
    static constexpr int kUploadAttempts = 3;
    static constexpr std::chrono::milliseconds kRetryConnectionAfter{1000};

    TransferThread(TransferObjects& objects, TransferShared& shared, ITransferQueue& queue,
                   IWindowReactions& window, TransferSteps steps);
    ~TransferThread(); // stops and joins (see stop())
    TransferThread(const TransferThread&) = delete;
    TransferThread& operator=(const TransferThread&) = delete;

    void start();
    // Sets the cancel and quit events and waits up to the bound for the thread
    // to end. Every blocking call the thread makes watches those events, so the
    // bound is only exceeded by a fault; the thread is then detached and the
    // log says so, and the caller must end the process without destroying what
    // the thread uses. True when the thread ended in time.
    bool stop(std::chrono::milliseconds bound = std::chrono::milliseconds(2000));

    // One pass over the head of the queue, as the work event triggers it.
    // Public so that tests can drive the steps without a thread.
    void processHead();

private:
    void run();
    void finish(uint64_t rowId, int result);
    void cancelled(uint64_t rowId);
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
    std::thread m_thread;
};

} // namespace quaylet
