#include "engine/transferengine.h"

#include "core/logfile.h"
#include "engine/servicesteps.h"
#include "media/imageprep.h"

namespace quaylet {

namespace {

std::unique_ptr<CFileDropListCtrl> makeIntake(const TransferEngineOptions& options)
{
    if (options.renameJournalDirectory)
        return std::make_unique<CFileDropListCtrl>(*options.renameJournalDirectory);
    return std::make_unique<CFileDropListCtrl>();
}

} // namespace

TransferEngine::TransferEngine(ITransferView& view, TransferEngineOptions options)
    : m_options(std::move(options)),
      m_intake(makeIntake(m_options)),
      m_queue([this] {
          // The reactions are made after the queue; the links only keep their
          // address until a row is queued.
          UploadQueueLinks links;
          links.window = &m_reactions;
          links.objects = &m_objects;
          links.dateTaken = m_options.steps && m_options.steps->dateTaken ? m_options.steps->dateTaken
                                                                           : DateTakenReader(&GetDateTaken);
          links.notificationsOn = [this] { return m_reactions.notificationsOn(); };
          links.journal = m_options.journal;
          links.rowAdded = [this] {
              ++m_rowsQueued;
              m_reactions.rowAdded();
          };
          return std::make_unique<CUploadQueue>(std::move(links));
      }()),
      m_reactions(view, *m_queue, m_objects, m_shared, {m_options.notificationsOn, m_options.uptimeMs})
{
    m_intake->SetDropMode({kMainWindowDropMask, AcceptedExtensions(), m_queue->dropCallback()});
    // A folder search still under way ends when the process quits.
    m_intake->SetStopCheck([this] { return m_objects.quit.isSet(); });
}

TransferEngine::~TransferEngine()
{
    stop();
}

void TransferEngine::start()
{
    if (m_thread)
        return;
    if (m_options.pollNotifications) {
        m_poller = std::make_unique<NotificationPoller>(m_objects.notification, m_threadReactions,
                                                        ServicePollerServices());
        m_poller->armAtStartUp();
    }
    TransferSteps steps = m_options.steps ? *m_options.steps : ServiceTransferSteps({m_poller.get()});
    if (m_options.steps && m_poller && !steps.pollNotifications)
        steps.pollNotifications = [poller = m_poller.get()](const StepContext&) { poller->poll(); };
    m_reactions.resetQueueDisplay();
    WriteLog(LogTrace, "CKestrelioClientDlg: Launching transfer thread");
    m_thread =
        std::make_unique<TransferThread>(m_objects, m_shared, *m_queue, *m_threadReactions, std::move(steps));
    m_thread->start();
}

void TransferEngine::setPaused(bool paused)
{
    WriteLog(LogMilestone, paused ? "TransferEngine: uploads paused" : "TransferEngine: uploads resumed");
    if (paused)
        m_objects.unpaused.reset();
    else
        m_objects.unpaused.set();
    m_reactions.pauseChanged();
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

} // namespace quaylet
