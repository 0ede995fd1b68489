#pragma once

// The transfer engine put together: the shared objects and values, the drop
// intake and the upload queue, the transfer thread with its real steps, the
// notification poller, and the engine-side half of the window's reactions
// (enginereactions.h). Every front end uses it the same way and adds only the
// drawing (a view):
//
//   TransferEngine engine(view, options);
//   engine.start();                 // objects made, timer armed, thread running
//   engine.intake().OnDropFiles(paths);
//   ... engine.cancel(wait) ...     // the Cancel command
//   engine.stop();                  // at exit
//
// Threads: construct, start, drop, cancel, stop and destroy on the front
// end's thread. What the engine holds is made by the constructor and start()
// and stays in place until the destructor; the transfer thread shares the
// objects and values (transferobjects.h), the queue (its own lock) and the
// reactions (their own lock), and reaches the reactions through
// `setThreadReactions`: the engine's own for a front end without a thread of
// its own (the uploader), or a marshal onto the window thread (the widget
// window).

#include "dropintake/filedroplistctrl.h"
#include "engine/enginereactions.h"
#include "engine/transferview.h"
#include "transfer/notificationpoller.h"
#include "transfer/queuejournal.h"
#include "transfer/transferobjects.h"
#include "transfer/transfersteps.h"
#include "transfer/transferthread.h"
#include "transfer/uploadqueue.h"
#include "transfer/windowreactions.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quaylet {

struct TransferEngineOptions {
    bool pollNotifications = true;
    // Whether tray balloons are shown ("ShowNotifications").
    std::function<bool()> notificationsOn;
    // The steps the transfer thread runs; empty: the real service steps.
    std::optional<TransferSteps> steps;
    // Where the intake keeps its rename journal; nothing: the default place.
    std::optional<std::string> renameJournalDirectory;
    // Milliseconds the machine has been up (the e-mail page waits for 15 minutes).
    std::function<uint64_t()> uptimeMs;
    // The lasting record of the queue (queuejournal.h); none: nothing is
    // kept beyond the process. Must outlive the engine.
    IQueueJournal* journal = nullptr;
};

class TransferEngine final {
public:
    TransferEngine(ITransferView& view, TransferEngineOptions options);
    // Stops the thread first. A thread that will not stop still uses all of
    // this: the process then ends instead (see TransferThread).
    ~TransferEngine();
    Q_DISABLE_COPY_MOVE(TransferEngine)

    // The reactions the transfer thread calls; default: reactions() directly.
    // Must be set before start() and outlive the engine.
    void setThreadReactions(IWindowReactions* reactions) { m_threadReactions = reactions; }
    void setFileFinishedHandler(FileFinishedHandler handler)
    {
        m_reactions.setFileFinishedHandler(std::move(handler));
    }

    // Arms the notification timer (due at once, then every interval) when
    // polling, resets the queue display, and starts the transfer thread.
    void start();
    // Cancel and quit, then a bounded join (see TransferThread::stop). False
    // when the thread did not end in time, now or at an earlier stop: it still
    // uses this engine, so the caller must end the process without destroying
    // it (the destructor does so itself).
    bool stop(std::chrono::milliseconds bound = std::chrono::milliseconds(2000));

    // The Cancel command (see CEngineReactions::cancel).
    using AcknowledgeWait = CEngineReactions::AcknowledgeWait;
    void cancel(const AcknowledgeWait& wait) { m_reactions.cancel(wait); }
    void beginCancel() { m_reactions.beginCancel(); }
    void finishCancel() { m_reactions.finishCancel(); }
    void windowHidden() { m_reactions.windowHidden(); }
    // Pause Uploads: the file at work finishes, then the queue holds (it
    // still takes files) until the pause ends, when its head starts at once.
    // Any time, before start() too; from any thread.
    void setPaused(bool paused);

    CFileDropListCtrl& intake() { return *m_intake; }
    // Rows queued since the engine was made; unlike the count display's
    // total it is never reset.
    uint64_t rowsQueued() const { return m_rowsQueued; }
    CUploadQueue& queue() { return *m_queue; }
    TransferObjects& objects() { return m_objects; }
    TransferShared& shared() { return m_shared; }
    // The window's reactions as the engine makes them, on the front end's side.
    IWindowReactions& reactions() { return m_reactions; }
    const NotificationPoller* poller() const { return m_poller.get(); }

private:
    TransferEngineOptions m_options;
    TransferObjects m_objects;
    TransferShared m_shared;
    std::unique_ptr<CFileDropListCtrl> m_intake; // before the queue: rows point at it
    std::unique_ptr<CUploadQueue> m_queue;
    CEngineReactions m_reactions;
    IWindowReactions* m_threadReactions = &m_reactions;
    std::atomic<uint64_t> m_rowsQueued{0};
    std::unique_ptr<NotificationPoller> m_poller;
    // Last: destroyed first, so that a thread that will not stop ends the
    // process before anything it uses is freed.
    std::unique_ptr<TransferThread> m_thread;
};

} // namespace quaylet
