#include "transfer/transferthread.h"

#include "core/logfile.h"
#include "platform/internet.h"
#include "platform/workstop.h"
#include "transfer/filetimes.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace quaylet {

namespace {
enum Slot { kQuitSlot = 0, kNotificationSlot = 1, kWorkSlot = 2 };
enum HoldSlot { kHoldQuitSlot = 0, kHoldNotificationSlot = 1, kHoldResumeSlot = 2, kHoldCancelSlot = 3 };
} // namespace

TransferThread::TransferThread(TransferObjects& objects, TransferShared& shared, ITransferQueue& queue,
                               IWindowReactions& window, TransferSteps steps)
    : m_objects(objects), m_shared(shared), m_queue(queue), m_window(window), m_steps(std::move(steps))
{
}

TransferThread::~TransferThread()
{
    if (!stop()) {
        WriteLog(LogMilestone, "xferDaemon: ending the process around a stuck transfer thread");
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
}

void TransferThread::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

bool TransferThread::stop(std::chrono::milliseconds bound)
{
    // A detached thread is no longer joinable, yet it may still be running.
    if (m_stuck)
        return false;
    if (!m_thread.joinable())
        return true;
    m_objects.cancel.set();
    m_objects.quit.set();
    if (m_finished.wait(bound)) {
        m_thread.join();
        return true;
    }
    WriteLog(LogMilestone, "xferDaemon: the transfer thread did not stop within %lld ms; it ends with the process",
             static_cast<long long>(bound.count()));
    m_thread.detach();
    m_stuck = true;
    return false;
}

StepContext TransferThread::context()
{
    return StepContext{m_objects, m_shared, m_window, m_statusLimiter,
                       [this] { return m_shared.cancelFlag.load() || m_objects.quit.isSet(); }};
}

void TransferThread::send(WindowMessage message, int64_t parameter)
{
    m_window.sendMessage(message, parameter);
}

void TransferThread::run()
{
    struct SignalEnd {
        platform::Event& finished;
        ~SignalEnd() { finished.set(); }
    } signalEnd{m_finished};
    // A photo being prepared ahead is stopped, and its files deleted, before
    // the thread counts as ended.
    struct DiscardLookAhead {
        PhotoLookAhead& lookAhead;
        ~DiscardLookAhead() { lookAhead.discard(); }
    } discardLookAhead{m_lookAhead};
    // Every request this thread makes gives up as soon as the file is
    // cancelled or the process quits.
    const platform::ScopedInternetAbort abort([this] { return m_shared.cancelFlag.load() || m_objects.quit.isSet(); });
    // Likewise the preparation of a large photo.
    const platform::ScopedWorkStop stop([this] { return m_shared.cancelFlag.load() || m_objects.quit.isSet(); });
    for (;;) {
        // Between two files: the only place a pause takes hold.
        if (!m_objects.unpaused.isSet() && !hold())
            return;
        const auto slot = platform::waitForAny({&m_objects.quit, &m_objects.notification, &m_objects.work});
        if (!slot || *slot == kQuitSlot)
            return;
        if (*slot == kNotificationSlot) {
            if (m_steps.pollNotifications)
                m_steps.pollNotifications(context());
        } else if (*slot == kWorkSlot) {
            processHead();
        }
    }
}

bool TransferThread::hold()
{
    WriteLog(LogTrace, "xferDaemon: uploads paused");
    send(kMsgTransferState, kStatePaused);
    for (;;) {
        // Not the work event: it stays set while files wait, and they wait.
        const auto slot = platform::waitForAny(
            {&m_objects.quit, &m_objects.notification, &m_objects.unpaused, &m_objects.cancel});
        if (!slot || *slot == kHoldQuitSlot)
            return false;
        switch (*slot) {
        case kHoldNotificationSlot:
            if (m_steps.pollNotifications)
                m_steps.pollNotifications(context());
            break;
        case kHoldResumeSlot:
            WriteLog(LogTrace, "xferDaemon: uploads resumed");
            return true;
        case kHoldCancelSlot:
            // The front end removes the cancelled rows itself; nothing of
            // theirs is at work here but a photo prepared ahead, whose files
            // go now. The cancel is dealt with, as at the take-up of a head.
            cancelDealtWith();
            m_lookAhead.discard();
            break;
        default:
            break;
        }
    }
}

void TransferThread::cancelDealtWith()
{
    m_shared.cancelFlag = false;
    m_objects.cancel.reset();
}

void TransferThread::processHead()
{
    const auto first = m_queue.head();
    if (!first) {
        m_lookAhead.discard();
        send(kMsgNextRow);
        send(kMsgTransferState, kStateReady);
        return;
    }
    // A Cancel stops the files that were queued when it came, and the queue
    // marks each of them. One that came while nothing was queued (or that
    // has been dealt with) must not stop the connection check or the encoder
    // of a file queued afterwards.
    cancelDealtWith();
    if (m_queue.isCancelled(first->id)) {
        cancelled(first->id);
        return;
    }
    // Paused: the head stays queued, and run() holds until the pause ends.
    if (!m_objects.unpaused.isSet())
        return;
    WriteLog(LogTrace, "xferDaemon: continuing xfer");

    const StepContext ctx = context();
    WriteLog(LogTrace, "Checking internet connection");
    if (!m_steps.checkConnection(ctx)) {
        send(kMsgTransferState, kStateTrying);
        // Sleep a second, but wake at once for quit or cancel.
        platform::waitForAny({&m_objects.quit, &m_objects.cancel}, kRetryConnectionAfter);
        return;
    }
    WriteLog(LogTrace, "Internet connection found");

    if (!m_shared.premium) {
        m_shared.premium = m_steps.fetchPremium(ctx);
        m_accountKnown = true;
        send(kMsgAccountInfo);
    }

    // The row may have gone meanwhile (a cancel): start over from the top.
    const auto head = m_queue.head();
    if (!head) {
        m_lookAhead.discard();
        send(kMsgNextRow);
        send(kMsgTransferState, kStateReady);
        return;
    }
    const uint64_t rowId = head->id;
    std::string current = head->path;
    // A Cancel since the flags were cleared: the queue remembers it.
    if (m_queue.isCancelled(rowId)) {
        cancelled(rowId);
        return;
    }
    m_queue.markStarted(rowId);

    // What was prepared while the previous file uploaded, if it still fits.
    std::optional<PreparedPhoto> ahead = m_lookAhead.take(rowId, current, imageBox());
    // The wait for the worker may have outlasted a quit.
    if (m_objects.quit.isSet())
        return;

    // Every file is offered for turning, a video too: it has no orientation,
    // which the log says, and it takes its number in the copies' names.
    const std::string rotated =
        ahead ? ahead->releaseUpright() : m_steps.rotateToUpright(current, head->type == 1 ? imageBox() : 0);
    if (!rotated.empty()) {
        WriteLog(LogTrace, "xferDaemon: Image %s rotated", current.c_str());
        // The queue owns the copy from now on; when a cancel removed the row
        // meanwhile it deletes the copy at once, and the file is not sent.
        if (!m_queue.setPath(rowId, rotated)) {
            cancelled(rowId);
            return;
        }
        current = rotated;
    }
    const int type = head->type;
    send(kMsgNextRow);

    std::string prepared;
    if (type == 1) {
        send(kMsgTransferState, kStateResizing);
        prepared = ahead ? ahead->releasePrepared() : m_steps.makeUploadImage(current, imageBox(), {});
    } else {
        send(kMsgTransferState, kStateEncoding);
        prepared = m_steps.convertVideo(ctx, current);
        m_window.setProgressPosition(100);
    }

    if (m_shared.cancelFlag || m_objects.quit.isSet() || m_queue.isCancelled(rowId)) {
        cancelled(rowId);
        return;
    }

    send(kMsgTransferState, kStateUploading);
    lookAhead(rowId);
    m_shared.mediaTime = chooseMediaTime(current, type);

    std::error_code ec;
    UploadRequest request{current, type, m_shared.mediaTime};
    if (!prepared.empty() && std::filesystem::is_regular_file(prepared, ec))
        request.path = prepared;
    m_queue.markUploading(rowId, request.path);

    int result = kResultClientFailure;
    for (int attempt = 0; attempt < kUploadAttempts && result == kResultClientFailure; ++attempt) {
        if (attempt > 0 && ctx.shouldStop())
            break;
        result = m_steps.upload(ctx, request);
    }

    // A cancel that cut the exchange short makes the file cancelled rather
    // than failed. A reply that came back is the file's outcome even when a
    // cancel follows it: an upload the service has stored is a success.
    if (result == kResultClientFailure && ctx.shouldStop()) {
        cancelled(rowId);
        return;
    }
    finish(rowId, result);
}

int TransferThread::imageBox() const
{
    return m_shared.premium ? 1500 : 800;
}

void TransferThread::lookAhead(uint64_t rowId)
{
    // Videos are converted at their turn, with their progress shown.
    const auto next = m_queue.after(rowId);
    // The box is known once the account call has answered, or from an
    // earlier answer that the account is premium.
    if (!(m_accountKnown || m_shared.premium) || !next || next->type != 1)
        return;
    const uint64_t nextId = next->id;
    m_lookAhead.start(*next, imageBox(), [this, nextId] {
        return !m_objects.quit.isSet() && !m_queue.isCancelled(nextId);
    });
}

void TransferThread::cancelled(uint64_t rowId)
{
    m_shared.cancelFlag = false;
    m_shared.lastResult = kResultNone;
    m_queue.remove(rowId);
    send(kMsgNextRow);
    send(kMsgTransferState, kStateReady);
}

void TransferThread::finish(uint64_t rowId, int result)
{
    m_queue.markFinished(rowId, NormaliseResult(result));
    switch (NormaliseResult(result)) {
    case kResultUploaded:
        m_shared.lastResult = kResultUploaded;
        send(kMsgTransferState, kStateUploaded);
        m_queue.remove(rowId);
        break;
    case kResultDuplicate:
        m_shared.duplicateTime = m_shared.mediaTime.load();
        m_shared.lastResult = kResultDuplicate;
        m_queue.remove(rowId);
        send(kMsgTransferState, kStateUploaded);
        break;
    case kResultPremiumNeeded:
    case kResultPhotoLimit:
    case kResultVideoLimit:
    case kResultClientFailure:
        m_shared.lastResult = result;
        m_queue.remove(rowId);
        send(kMsgTransferState, kStateUploaded);
        break;
    default:
        m_queue.remove(rowId);
        send(kMsgNextRow);
        m_shared.lastResult = kResultFailed;
        send(kMsgTransferState, kStateReady);
        break;
    }
}

int64_t TransferThread::chooseMediaTime(const std::string& path, int type)
{
    const auto times = ReadFileTimes(path);
    if (!times)
        return m_shared.mediaTime; // the file is gone: keep the previous value
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (type == 1) {
        if (const auto taken = m_steps.dateTaken(path))
            return *taken;
        return times->created > 0 ? times->created : now;
    }
    int64_t chosen = times->created;
    std::tm local {};
    const std::time_t created = static_cast<std::time_t>(chosen);
    if (chosen <= 0 || !::localtime_r(&created, &local) || local.tm_year + 1900 < 2000)
        chosen = now;
    if (times->modified > 0 && times->modified < chosen)
        chosen = times->modified;
    return chosen;
}

} // namespace quaylet
