// The drop window's upload history: the window it opens from its menu, the
// rows it reads for it from the queue store, and "Retry Failed". The store's
// thread answers every read and take; this thread never waits for it.

#include "window/mainwindow.h"

#include "core/logfile.h"
#include "core/queuedcall.h"
#include "dialogs/uploadhistorywnd.h"
#include "engine/takeuprows.h"
#include "engine/transferengine.h"
#include "platform/filereveal.h"
#include "queuestore/queuejournal.h"
#include "window/mainwindowview.h"

namespace quaylet {

namespace {

// As many as anyone reads back; the store keeps more.
constexpr int64_t kHistoryRows = 1000;

} // namespace

CUploadHistoryWnd* CKestrelioClientDlg::historyWindow()
{
    return m_history.data();
}

void CKestrelioClientDlg::OpenHistory()
{
    if (!m_history)
        MakeHistory();
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

void CKestrelioClientDlg::MakeHistory()
{
    auto revealer = m_seams.makeRevealer ? m_seams.makeRevealer()
                                         : std::make_unique<platform::DesktopFileRevealer>(platform::FileRevealerOptions {
                                               .done = [](const std::string& path, platform::RevealedBy how) {
                                                   if (how == platform::RevealedBy::Nothing)
                                                       WriteLog(LogMilestone,
                                                                "CKestrelioClientDlg: cannot show %s in a file manager",
                                                                path.c_str());
                                               }});
    // Its own window beside the drop window, not modal: uploads and drops go on.
    m_history = new CUploadHistoryWnd(std::move(revealer), this);
    m_history->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_history.data(), &CUploadHistoryWnd::retryFailedRequested, this, [this] { RetryFailed(); });
    RefreshHistory();
}

void CKestrelioClientDlg::RefreshHistory()
{
    if (!m_history || !m_journal)
        return;
    // Changes come many a second while files go: one read at a time, and one
    // more after it when something changed meanwhile.
    if (m_historyReading) {
        m_historyStale = true;
        return;
    }
    m_historyReading = true;
    m_journal->recent(kHistoryRows, [this](std::vector<StoredRow> rows) {
        QMetaObject::invokeMethod(
            this, QueuedCall([this, rows = std::move(rows)]() mutable { ShowHistoryRows(std::move(rows)); }),
            Qt::QueuedConnection);
    });
}

void CKestrelioClientDlg::ShowHistoryRows(std::vector<StoredRow> rows)
{
    m_historyReading = false;
    if (m_history)
        m_history->setRows(std::move(rows));
    if (std::exchange(m_historyStale, false))
        RefreshHistory();
}

void CKestrelioClientDlg::RetryFailed()
{
    if (!m_journal || !m_engine)
        return;
    m_journal->takeFailed([this](std::vector<StoredRow> rows) {
        QMetaObject::invokeMethod(this, QueuedCall([this, rows = std::move(rows)] { QueueRetried(rows); }),
                                  Qt::QueuedConnection);
    });
}

void CKestrelioClientDlg::QueueRetried(const std::vector<StoredRow>& rows)
{
    if (!m_engine || rows.empty())
        return;
    // As a drop of the files: through the intake, behind what is queued.
    const uint64_t before = m_engine->rowsQueued();
    const int count = RequeueTakenRows(*m_engine, *m_journal, rows);
    WriteLog(LogMilestone, "CKestrelioClientDlg: Retrying %d failed file%s", count, count == 1 ? "" : "s");
    if (m_engine->rowsQueued() != before)
        m_view->startAnimation();
}

} // namespace quaylet
