#pragma once

// The transfer engine put together: the shared objects and values, the drop
// intake and the upload queue, the transfer thread with its real steps, the
// notification poller, and the engine-side half of the window's reactions.
// Every front end uses it the same way and adds only the drawing (a view):
//
//   TransferEngine engine(view, options);
//   engine.start();                 // objects made, timer armed, thread running
//   engine.intake().OnDropFiles(paths);
//   ... engine.cancel(wait) ...     // the Cancel command
//   engine.stop();                  // at exit
//
// Threads: construct, drop, cancel and stop on the front end's thread. The
// transfer thread reaches the reactions below through `reactionsForThread()`:
// the engine itself for a front end without its own thread (the uploader), or a
// marshal onto the window thread (the widget window).

#include "dropintake/filedroplistctrl.h"
#include "engine/transferview.h"
#include "transfer/notificationpoller.h"
#include "transfer/transferobjects.h"
#include "transfer/transfersteps.h"
#include "transfer/transferthread.h"
#include "transfer/uploadqueue.h"
#include "transfer/windowreactions.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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
};

// Called for every file the transfer thread finished with, on the thread the
// reactions run on: the row as it was queued and its outcome (0: cancelled).
using FileFinishedHandler = std::function<void(const QueueRow& row, int result)>;

class TransferEngine final : public IWindowReactions {
public:
    static constexpr std::chrono::milliseconds kCancelAcknowledgeWait{1000};
    static constexpr uint64_t kEmailPageUptimeMs = 900000;

    TransferEngine(ITransferView& view, TransferEngineOptions options);
    ~TransferEngine() override;
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // The reactions the transfer thread calls; default: this engine directly.
    // Must be set before start().
    void setThreadReactions(IWindowReactions* reactions) { m_threadReactions = reactions; }
    void setFileFinishedHandler(FileFinishedHandler handler) { m_fileFinished = std::move(handler); }

    // Arms the notification timer (due at once, then every interval) when
    // polling, resets the queue display, and starts the transfer thread.
    void start();
    // Cancel and quit, then a bounded join (see TransferThread::stop). False
    // when the thread did not end in time: it still uses this engine, so the
    // caller must end the process without destroying it (the destructor does
    // so itself).
    bool stop(std::chrono::milliseconds bound = std::chrono::milliseconds(2000));

    // The Cancel command. wait waits for the acknowledgement for at most the
    // given time while the front end keeps serving the transfer thread's calls.
    using AcknowledgeWait = std::function<void(platform::Event& acknowledge, std::chrono::milliseconds bound)>;
    void cancel(const AcknowledgeWait& wait);

    CFileDropListCtrl& intake() { return *m_intake; }
    // Rows queued since the engine was made; unlike the count display's
    // total it is never reset.
    uint64_t rowsQueued() const { return m_rowsQueued; }
    CUploadQueue& queue() { return *m_queue; }
    TransferObjects& objects() { return m_objects; }
    TransferShared& shared() { return m_shared; }
    const NotificationPoller* poller() const { return m_poller.get(); }

    // The window's reactions (IWindowReactions), run on the front end's side.
    void sendMessage(WindowMessage message, int64_t parameter) override;
    void setProgressPosition(int position) override;
    void setProgressMaximum(int maximum) override;
    void setStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;

private:
    void stateReport(int state);
    void stateDisplay(int state);
    void nextRowDisplay();
    void queueReset();
    void successPath();
    void reactToLastResult();
    void reportFinishedFile(int state, int result);
    void refreshCount();
    bool notificationsOn() const;

    ITransferView& m_view;
    TransferEngineOptions m_options;
    TransferObjects m_objects;
    TransferShared m_shared;
    std::unique_ptr<CFileDropListCtrl> m_intake; // before the queue: rows point at it
    std::unique_ptr<CUploadQueue> m_queue;
    std::unique_ptr<NotificationPoller> m_poller;
    std::unique_ptr<TransferThread> m_thread;
    IWindowReactions* m_threadReactions = this;
    FileFinishedHandler m_fileFinished;
    std::atomic<uint64_t> m_rowsQueued{0};

    // The front end's side. The widget window runs all of it on its own
    // thread; the uploader runs the reactions on the transfer thread and the
    // Cancel command on its main thread, so the lock keeps them apart.
    std::recursive_mutex m_frontMutex;
    bool m_limitPageOpened = false;
    uint64_t m_emailPageTime = 0;
    std::optional<QueueRow> m_currentRow; // the head shown by the last next-row report
    std::optional<QueueRow> m_fileRow;    // the file being prepared and uploaded
};

} // namespace quaylet
