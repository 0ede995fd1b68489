#include "engine/enginereactions.h"

#include "core/logfile.h"
#include "dropintake/filedroplistctrl.h"
#include "core/stringtable.h"
#include "platform/systemclock.h"

#include <cstdio>
#include <ctime>

namespace quaylet {

namespace {

const char* stateText(int state)
{
    switch (state) {
    case kStateResizing:
        return LoadString(str::Resizing);
    case kStateEncoding:
        return LoadString(str::Encoding);
    case kStateUploading:
        return LoadString(str::Uploading);
    case kStateUploaded:
        return LoadString(str::Uploaded);
    case kStateTrying:
        return LoadString(str::Trying);
    case kStatePaused:
        return LoadString(str::Paused);
    default:
        return LoadString(str::Ready);
    }
}

// "Media already exists on 2014/03/07 09:05:33" in local time.
std::string duplicateText(int64_t mediaTime)
{
    std::tm local{};
    const std::time_t t = static_cast<std::time_t>(mediaTime);
    ::localtime_r(&t, &local);
    char date[32], time[32];
    std::snprintf(date, sizeof date, "%04d/%02d/%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(LoadString(str::MediaAlreadyExists)) + " " + date + " " + time;
}

Balloon makeBalloon(int titleId, const std::string& text, BalloonIcon icon, int timeoutMs, int takeDownMs)
{
    return Balloon{LoadString(titleId), text, icon, timeoutMs, takeDownMs};
}

} // namespace

CEngineReactions::CEngineReactions(ITransferView& view, CUploadQueue& queue, TransferObjects& objects,
                                   TransferShared& shared, EngineReactionOptions options)
    : m_view(view), m_queue(queue), m_objects(objects), m_shared(shared), m_options(std::move(options))
{
}

bool CEngineReactions::notificationsOn() const
{
    return !m_options.notificationsOn || m_options.notificationsOn();
}

void CEngineReactions::cancel(const AcknowledgeWait& wait)
{
    beginCancel();
    // The encoder is stopped by the transfer thread, which may need the window
    // meanwhile: the wait must keep serving its calls.
    if (wait)
        wait(m_objects.acknowledge, kCancelAcknowledgeWait);
    else
        m_objects.acknowledge.wait(kCancelAcknowledgeWait);
    finishCancel();
}

void CEngineReactions::beginCancel()
{
    std::lock_guard lock(m_mutex);
    WriteLog(LogTrace, "CKestrelioClientDlg: Upload cancelled by user");
    m_objects.cancel.set();
    m_shared.cancelFlag = true;
    m_queue.markAllCancelled();
    m_shared.lastResult = kResultNone;
}

void CEngineReactions::finishCancel()
{
    std::lock_guard lock(m_mutex);
    m_queue.RemoveAllQueueItems();
    queueReset();
}

void CEngineReactions::resetQueueDisplay()
{
    std::lock_guard lock(m_mutex);
    queueReset();
}

void CEngineReactions::windowHidden()
{
    std::lock_guard lock(m_mutex);
    m_limitPageOpened = false;
}

void CEngineReactions::rowAdded()
{
    std::lock_guard lock(m_mutex);
    if (!m_objects.unpaused.isSet() && idleShown())
        stateDisplay(kStatePaused);
    else
        refreshCount();
}

void CEngineReactions::pauseChanged()
{
    std::lock_guard lock(m_mutex);
    if (idleShown())
        stateDisplay(kStateReady);
}

bool CEngineReactions::idleShown() const
{
    // "Uploaded" stays up after a file until the next one starts.
    return m_shownState == kStateReady || m_shownState == kStatePaused || m_shownState == kStateUploaded;
}

void CEngineReactions::sendMessage(WindowMessage message, int64_t parameter)
{
    // A state report can reach the success path, whose upload-completed
    // dialog may run a nested event loop with this lock held. That is safe
    // only while every call comes on the thread that runs that loop, as in
    // the widget window (the lock is recursive for the calls made from inside
    // the loop); a call from another thread would wait until the dialog
    // closes. The headless uploader's view runs no such loop.
    std::lock_guard lock(m_mutex);
    switch (message) {
    case kMsgTransferState:
        stateReport(static_cast<int>(parameter));
        break;
    case kMsgNextRow:
        nextRowDisplay();
        break;
    case kMsgNotification:
        m_view.showNotification();
        break;
    default:
        break; // account information: nothing to show
    }
}

void CEngineReactions::setProgressPosition(int position)
{
    std::lock_guard lock(m_mutex);
    m_view.showProgress(position);
}

void CEngineReactions::setProgressMaximum(int maximum)
{
    std::lock_guard lock(m_mutex);
    m_view.showProgressMaximum(maximum);
}

void CEngineReactions::setStatusText(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_view.showStatusText(text);
}

void CEngineReactions::showBalloon(const Balloon& b)
{
    std::lock_guard lock(m_mutex);
    balloon(b);
}

void CEngineReactions::balloon(const Balloon& b)
{
    if (notificationsOn())
        m_view.showBalloon(b);
}

void CEngineReactions::stateReport(int state)
{
    // The transfer thread holds between two files: nothing finished with
    // this report, and the queue is not at its end.
    if (state == kStatePaused) {
        stateDisplay(state);
        return;
    }
    const int result = m_shared.lastResult;
    if (state == kStateResizing || state == kStateEncoding) {
        m_fileRow = m_currentRow;
        // The name the user gave the file: once it has finished, a temporary
        // name is no longer known to the intake.
        m_fileName.clear();
        if (m_fileRow) {
            const std::string path =
                m_fileRow->intake ? m_fileRow->intake->UserPath(m_fileRow->queuedPath) : m_fileRow->queuedPath;
            m_fileName = path.substr(path.find_last_of('/') + 1);
        }
    }
    reportFinishedFile(state, result);

    if (m_queue.count() == 0) {
        queueReset();
        if (m_shared.lastResult == kResultUploaded)
            successPath();
    }
    reactToLastResult();
    stateDisplay(state);
}

void CEngineReactions::reportFinishedFile(int state, int result)
{
    // A file ends with "Uploaded" and its outcome, or with "Ready" after a
    // refused reply (-4) or a cancel (0).
    const bool ended = state == kStateUploaded || (state == kStateReady && m_fileRow);
    if (!ended || !m_fileRow)
        return;
    const QueueRow row = *m_fileRow;
    m_fileRow.reset();
    if (m_fileFinished)
        m_fileFinished(row, state == kStateUploaded ? result : (result == kResultFailed ? kResultFailed : 0));
}

void CEngineReactions::reactToLastResult()
{
    const int result = m_shared.lastResult;
    const std::string upgradeText = LoadString(str::UpgradeToPremium);
    switch (result) {
    case kResultDuplicate:
        balloon(makeBalloon(str::DuplicateFile, duplicateText(m_shared.duplicateTime), BalloonIcon::Warning,
                            5000, 8000));
        break;
    case kResultPremiumNeeded:
        balloon(makeBalloon(str::NotPremiumYet, upgradeText, BalloonIcon::Info, 5000, 8000));
        break;
    case kResultPhotoLimit:
    case kResultVideoLimit:
        balloon(makeBalloon(result == kResultPhotoLimit ? str::PhotoLimitExceeded : str::VideoLimitExceeded,
                            upgradeText, BalloonIcon::Info, 5000, 8000));
        if (!m_limitPageOpened) {
            m_view.openUpgradePage(result == kResultPhotoLimit ? 1 : 2);
            m_limitPageOpened = true;
        }
        break;
    case kResultClientFailure: {
        // An empty text would take the balloon down instead of showing it.
        std::string text = LoadString(m_fileName.empty() ? str::UploadFailed : str::UploadFailedFile);
        if (const auto name = text.find("%s"); name != std::string::npos)
            text.replace(name, 2, m_fileName);
        balloon(makeBalloon(str::AppTitle, text, BalloonIcon::Info, 5000, 8000));
        break;
    }
    default:
        return;
    }
    m_shared.lastResult = kResultNone;
}

void CEngineReactions::successPath()
{
    const uint64_t uptime = m_options.uptimeMs ? m_options.uptimeMs() : platform::UptimeMilliseconds();
    if (m_emailPageTime == 0 && uptime > kEmailPageUptimeMs) {
        m_view.openEmailPage();
        m_emailPageTime = uptime;
    } else {
        m_shared.lastResult = kResultNone;
        m_view.armSuccessBalloon();
        balloon(makeBalloon(str::UploadSuccessful, LoadString(str::ClickHereToView), BalloonIcon::Info, 10000,
                            5000));
    }
    m_view.runUploadCompleted();
}

void CEngineReactions::stateDisplay(int state)
{
    refreshCount();
    // With no file at work, a paused queue reads "Paused"; it is the paused
    // state (Cancel on) while files wait in it. A pause that ended since the
    // transfer thread reported it reads "Ready" until the next file starts.
    if (state == kStateReady || state == kStatePaused) {
        if (m_objects.unpaused.isSet()) {
            state = kStateReady;
        } else {
            m_shownState = m_queue.count() > 0 ? kStatePaused : kStateReady;
            m_view.showState(m_shownState, stateText(kStatePaused));
            return;
        }
    }
    m_shownState = static_cast<TransferState>(state);
    m_view.showState(m_shownState, stateText(state));
}

void CEngineReactions::refreshCount()
{
    if (const auto text = m_queue.countText())
        m_view.showCount(*text);
}

void CEngineReactions::nextRowDisplay()
{
    const auto row = m_queue.advanceToHead();
    if (!row) {
        queueReset();
        return;
    }
    m_currentRow = row;
    m_view.showNextFile(*row);
}

void CEngineReactions::queueReset()
{
    // The work event goes with the counters, atomically with queueing: a file
    // dropped at this moment is never left waiting.
    m_queue.queueReset();
    m_view.showCount("");
    stateDisplay(kStateReady);
    m_view.showQueueReset();
}

} // namespace quaylet
