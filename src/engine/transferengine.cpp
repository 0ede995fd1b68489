#include "engine/transferengine.h"

#include "app/logfile.h"
#include "app/stringtable.h"
#include "engine/servicesteps.h"
#include "media/imageprep.h"
#include "platform/systemclock.h"

#include <cstdio>
#include <cstdlib>
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
    default:
        return LoadString(str::Ready);
    }
}

// "Media already exists on 2014/03/07 09:05:33" in local time.
std::string duplicateText(int64_t mediaTime)
{
    std::tm local {};
    const std::time_t t = static_cast<std::time_t>(mediaTime);
    ::localtime_r(&t, &local);
    char date[32], time[32];
    std::snprintf(date, sizeof date, "%04d/%02d/%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(LoadString(str::MediaAlreadyExists)) + " " + date + " " + time;
}

Balloon balloon(int titleId, const std::string& text, BalloonIcon icon, int timeoutMs, int takeDownMs)
{
    return Balloon{LoadString(titleId), text, icon, timeoutMs, takeDownMs};
}

} // namespace

TransferEngine::TransferEngine(ITransferView& view, TransferEngineOptions options)
    : m_view(view), m_options(std::move(options))
{
    m_intake = m_options.renameJournalDirectory ? std::make_unique<CFileDropListCtrl>(*m_options.renameJournalDirectory)
                                                : std::make_unique<CFileDropListCtrl>();
    UploadQueueLinks links;
    links.window = this;
    links.objects = &m_objects;
    links.dateTaken = m_options.steps && m_options.steps->dateTaken ? m_options.steps->dateTaken
                                                                     : DateTakenReader(&GetDateTaken);
    links.notificationsOn = [this] { return notificationsOn(); };
    links.rowAdded = [this] {
        ++m_rowsQueued;
        std::lock_guard lock(m_frontMutex);
        refreshCount();
    };
    m_queue = std::make_unique<CUploadQueue>(std::move(links));
    m_intake->SetDropMode({kMainWindowDropMask, AcceptedExtensions(), m_queue->dropCallback()});
    // A folder search still under way ends when the process quits.
    m_intake->SetStopCheck([this] { return m_objects.quit.isSet(); });
}

TransferEngine::~TransferEngine()
{
    // A transfer thread that would not stop still uses everything here: the
    // process ends now rather than free it under the thread's feet.
    if (!stop()) {
        WriteLog(LogMilestone, "CKestrelioClientDlg: ending the process around a stuck transfer thread");
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
}

bool TransferEngine::notificationsOn() const
{
    return !m_options.notificationsOn || m_options.notificationsOn();
}

void TransferEngine::start()
{
    if (m_thread)
        return;
    TransferSteps steps;
    if (m_options.pollNotifications) {
        m_poller = std::make_unique<NotificationPoller>(m_objects.notification, m_threadReactions,
                                                        ServicePollerServices());
        m_poller->armAtStartUp();
    }
    steps = m_options.steps ? *m_options.steps : ServiceTransferSteps({m_poller.get()});
    if (m_options.steps && m_poller && !steps.pollNotifications)
        steps.pollNotifications = [poller = m_poller.get()](const StepContext&) { poller->poll(); };
    {
        std::lock_guard lock(m_frontMutex);
        queueReset();
    }
    WriteLog(LogTrace, "CKestrelioClientDlg: Launching transfer thread");
    m_thread = std::make_unique<TransferThread>(m_objects, m_shared, *m_queue, *m_threadReactions, std::move(steps));
    m_thread->start();
}

bool TransferEngine::stop(std::chrono::milliseconds bound)
{
    if (!m_thread)
        return true;
    const bool stopped = m_thread->stop(bound);
    m_objects.notification.cancel();
    if (stopped)
        m_thread.reset();
    return stopped;
}

void TransferEngine::cancel(const AcknowledgeWait& wait)
{
    {
        std::lock_guard lock(m_frontMutex);
        WriteLog(LogTrace, "CKestrelioClientDlg: Upload cancelled by user");
        m_objects.cancel.set();
        m_shared.cancelFlag = true;
        m_shared.lastResult = kResultNone;
    }
    // The encoder is stopped by the transfer thread, which may need the window
    // meanwhile: the wait must keep serving its calls.
    if (wait)
        wait(m_objects.acknowledge, kCancelAcknowledgeWait);
    else
        m_objects.acknowledge.wait(kCancelAcknowledgeWait);
    std::lock_guard lock(m_frontMutex);
    m_queue->RemoveAllQueueItems();
    queueReset();
}

void TransferEngine::sendMessage(WindowMessage message, int64_t parameter)
{
    std::lock_guard lock(m_frontMutex);
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

void TransferEngine::setProgressPosition(int position)
{
    std::lock_guard lock(m_frontMutex);
    m_view.showProgress(position);
}

void TransferEngine::setProgressMaximum(int maximum)
{
    std::lock_guard lock(m_frontMutex);
    m_view.showProgressMaximum(maximum);
}

void TransferEngine::setStatusText(const std::string& text)
{
    std::lock_guard lock(m_frontMutex);
    m_view.showStatusText(text);
}

void TransferEngine::showBalloon(const Balloon& b)
{
    std::lock_guard lock(m_frontMutex);
    if (notificationsOn())
        m_view.showBalloon(b);
}

void TransferEngine::stateReport(int state)
{
    const int result = m_shared.lastResult;
    if (state == kStateResizing || state == kStateEncoding)
        m_fileRow = m_currentRow;
    reportFinishedFile(state, result);

    if (m_queue->count() == 0) {
        queueReset();
        if (m_shared.lastResult == kResultUploaded)
            successPath();
    }
    reactToLastResult();
    stateDisplay(state);
}

void TransferEngine::reportFinishedFile(int state, int result)
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

void TransferEngine::reactToLastResult()
{
    const int result = m_shared.lastResult;
    const std::string upgradeText = LoadString(str::UpgradeToPremium);
    switch (result) {
    case kResultDuplicate:
        showBalloon(balloon(str::DuplicateFile, duplicateText(m_shared.duplicateTime), BalloonIcon::Warning, 5000, 8000));
        break;
    case kResultPremiumNeeded:
        showBalloon(balloon(str::NotPremiumYet, upgradeText, BalloonIcon::Info, 5000, 8000));
        break;
    case kResultPhotoLimit:
    case kResultVideoLimit:
        showBalloon(balloon(result == kResultPhotoLimit ? str::PhotoLimitExceeded : str::VideoLimitExceeded,
                            upgradeText, BalloonIcon::Info, 5000, 8000));
        if (!m_limitPageOpened) {
            m_view.openUpgradePage(result == kResultPhotoLimit ? 1 : 2);
            m_limitPageOpened = true;
        }
        break;
    case kResultClientFailure:
        showBalloon(balloon(str::AppTitle, LoadString(str::AppTitleEmpty), BalloonIcon::Info, 5000, 8000));
        break;
    default:
        return;
    }
    m_shared.lastResult = kResultNone;
}

void TransferEngine::successPath()
{
    const uint64_t uptime = m_options.uptimeMs ? m_options.uptimeMs() : platform::UptimeMilliseconds();
    if (m_emailPageTime == 0 && uptime > kEmailPageUptimeMs) {
        m_view.openEmailPage();
        m_emailPageTime = uptime;
    } else {
        m_shared.lastResult = kResultNone;
        showBalloon(balloon(str::UploadSuccessful, LoadString(str::ClickHereToView), BalloonIcon::Info, 10000, 5000));
    }
    m_view.runUploadCompleted();
}

void TransferEngine::stateDisplay(int state)
{
    refreshCount();
    m_view.showState(static_cast<TransferState>(state), stateText(state));
}

void TransferEngine::refreshCount()
{
    if (const auto text = m_queue->countText())
        m_view.showCount(*text);
}

void TransferEngine::nextRowDisplay()
{
    const auto row = m_queue->advanceToHead();
    if (!row) {
        queueReset();
        return;
    }
    m_currentRow = row;
    m_view.showNextFile(*row);
}

void TransferEngine::queueReset()
{
    m_queue->resetCounters();
    m_view.showCount("");
    m_objects.work.reset();
    stateDisplay(kStateReady);
    m_view.showQueueReset();
}

} // namespace quaylet
