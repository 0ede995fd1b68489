#pragma once

// The engine-side half of the window's reactions: what the transfer thread's
// reports mean (state texts, the count, balloons, the success path, which file
// ended with which outcome) and the Cancel command. A view only draws what
// this decides.
//
// Threads: all of it runs on the front end's side. The widget window runs the
// reactions, the Cancel command and the queueing on its own thread; the
// headless uploader runs the reactions on the transfer thread and the Cancel
// command and the queueing on its main thread. One lock keeps those apart.

#include "engine/transferview.h"
#include "transfer/transferobjects.h"
#include "transfer/uploadqueue.h"
#include "transfer/windowreactions.h"

#include <QtGlobal>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace quaylet {

// Called for every file the transfer thread finished with, on the thread the
// reactions run on: the row as it was queued and its outcome (0: cancelled).
using FileFinishedHandler = std::function<void(const QueueRow& row, int result)>;

struct EngineReactionOptions {
    // Whether tray balloons are shown ("ShowNotifications"); empty: shown.
    std::function<bool()> notificationsOn;
    // Milliseconds the machine has been up; empty: the system's uptime.
    std::function<uint64_t()> uptimeMs;
};

class CEngineReactions final : public IWindowReactions {
public:
    static constexpr std::chrono::milliseconds kCancelAcknowledgeWait{1000};
    // The e-mail page waits until the machine has been up for 15 minutes.
    static constexpr uint64_t kEmailPageUptimeMs = 900000;

    CEngineReactions(ITransferView& view, CUploadQueue& queue, TransferObjects& objects,
                     TransferShared& shared, EngineReactionOptions options);
    Q_DISABLE_COPY_MOVE(CEngineReactions)

    // Set before the transfer thread starts.
    void setFileFinishedHandler(FileFinishedHandler handler) { m_fileFinished = std::move(handler); }

    // The Cancel command. wait waits for the acknowledgement for at most the
    // given time while the front end keeps serving the transfer thread's calls.
    using AcknowledgeWait =
        std::function<void(platform::Event& acknowledge, std::chrono::milliseconds bound)>;
    void cancel(const AcknowledgeWait& wait);
    // The same command in two halves, for a front end that must not block
    // while it waits: beginCancel() signals the transfer thread, and
    // finishCancel() empties the queue once the acknowledgement came (or
    // the wait timed out). The acknowledgement is acknowledgeEvent().
    void beginCancel();
    void finishCancel();
    platform::Event& acknowledgeEvent() { return m_objects.acknowledge; }

    // The queue display back to its start: no count, state "Ready".
    void resetQueueDisplay();
    // A row was queued: the count follows (and, while paused, the state:
    // Cancel then has rows to take).
    void rowAdded();
    // The queue was paused or its pause ended (TransferObjects::unpaused):
    // a display with no file at work follows at once; one that shows a file
    // at work changes once that file is done.
    void pauseChanged();
    bool notificationsOn() const;
    // The window was hidden: the next limit result opens the upgrade page again.
    void windowHidden();

    void sendMessage(WindowMessage message, int64_t parameter) override;
    void setProgressPosition(int position) override;
    void setProgressMaximum(int maximum) override;
    void setStatusText(const std::string& text) override;
    void showBalloon(const Balloon& balloon) override;

private:
    // Everything below runs under m_mutex.
    void stateReport(int state);
    void stateDisplay(int state);
    bool idleShown() const;
    void nextRowDisplay();
    void queueReset();
    void successPath();
    void reactToLastResult();
    void reportFinishedFile(int state, int result);
    void refreshCount();
    void balloon(const Balloon& balloon);

    ITransferView& m_view;
    CUploadQueue& m_queue;
    TransferObjects& m_objects;
    TransferShared& m_shared;
    const EngineReactionOptions m_options;
    FileFinishedHandler m_fileFinished; // set before the thread starts, then only read

    // Recursive: a view may run a nested event loop while it draws (the
    // upload-completed dialog is modal), in which the same thread queues
    // files or cancels. Held across that loop (see sendMessage): a front end
    // whose view runs such a loop makes every call on that one thread.
    std::recursive_mutex m_mutex; // guards everything below
    bool m_limitPageOpened = false;
    uint64_t m_emailPageTime = 0;
    std::optional<QueueRow> m_currentRow; // the head shown by the last next-row report
    std::optional<QueueRow> m_fileRow;    // the file being prepared and uploaded
    std::string m_fileName;               // its name as the user gave it
    TransferState m_shownState = kStateReady; // as last handed to the view
};

} // namespace quaylet
