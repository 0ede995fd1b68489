#include "window/mainwindowview.h"

#include "core/logfile.h"
#include "media/videoconversion.h"
#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"
#include "transfer/uploadqueue.h"

#include <QMetaObject>

#include <chrono>

namespace quaylet {

namespace {

// A still frame must not keep the window waiting at exit for long.
constexpr std::chrono::seconds kStillFrameBound{5};

constexpr std::string_view kAnimationDots = "...";

bool IsVideoRow(const QueueRow& row)
{
    return row.columns[kColumnFileType] == "2";
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Cancel shows while there is something to cancel: preparing, uploading or
// waiting for a connection.
bool Cancellable(TransferState state)
{
    return state == kStateResizing || state == kStateEncoding || state == kStateUploading ||
           state == kStateTrying;
}

} // namespace

CMainWindowView::CMainWindowView(MainWindowControls controls, MainWindowActions actions, QObject* parent)
    : QObject(parent), m_controls(controls), m_actions(std::move(actions))
{
    m_animation.setInterval(kAnimationIntervalMs);
    connect(&m_animation, &QTimer::timeout, this, &CMainWindowView::animate);
}

CMainWindowView::~CMainWindowView()
{
    if (m_stillMaker.joinable())
        m_stillMaker.join();
}

void CMainWindowView::startAnimation()
{
    if (!m_animation.isActive())
        m_animation.start();
}

void CMainWindowView::animate()
{
    // Only the waiting states animate; the others show percentages.
    if (m_state != kStateResizing && m_state != kStateTrying)
        return;
    QString text = m_controls.status.text();
    if (text.contains(QLatin1String(kAnimationDots.data(), kAnimationDots.size())))
        text.chop(static_cast<qsizetype>(kAnimationDots.size()));
    else
        text.append(QLatin1Char('.'));
    m_controls.status.SetText(text);
}

void CMainWindowView::showState(TransferState state, const std::string& statusText)
{
    Cancellable(state) ? m_controls.cancel.EnableButton() : m_controls.cancel.DisableButton();
    m_state = state;
    const QString text = FromUtf8(statusText);
    m_controls.status.SetText(text);
    if (m_actions.statusShown)
        m_actions.statusShown(text);
}

void CMainWindowView::showCount(const std::string& countText)
{
    m_controls.count.SetText(FromUtf8(countText));
}

void CMainWindowView::showNextFile(const QueueRow& row)
{
    ++m_previewGeneration;
    const std::string& path = row.columns[kColumnPathname];
    if (path.empty()) {
        m_controls.placeholder.show();
        m_controls.preview.hide();
        return;
    }
    m_controls.account.hide();
    m_controls.progress.show();
    if (IsVideoRow(row)) {
        // The still frame takes an encoder run: the placeholder shows until it is there.
        m_controls.preview.hide();
        m_controls.placeholder.show();
        makeVideoStill(path);
        return;
    }
    showPreview(path);
}

void CMainWindowView::showPreview(const std::string& path)
{
    m_controls.placeholder.hide();
    m_controls.preview.show();
    m_controls.preview.repaint();
    m_controls.preview.FadeToPicture(path, kPreviewFadeMs);
    WriteLog(LogTrace, "CKestrelioClientDlg: preview image = %s", path.c_str());
}

void CMainWindowView::makeVideoStill(const std::string& videoPath)
{
    if (m_stillMaker.joinable())
        m_stillMaker.join(); // the previous one has answered or is about to
    const uint64_t generation = m_previewGeneration;
    // The destructor joins this thread, so the view outlives it; a queued
    // answer to a view that is gone is dropped with the view's events.
    m_stillMaker = std::thread([this, generation, videoPath] {
        std::string still = videoPath;
        // The encoder writes one frame, numbered 1; the still's name differs
        // from video to video by the preview counter.
        const bool made = MakeVideoPreview(1, still, 2, kStillFrameBound);
        QMetaObject::invokeMethod(
            this,
            [this, generation, made, still] {
                if (m_previewGeneration != generation)
                    return;
                if (made)
                    showPreview(still);
                else
                    WriteLog(LogTrace, "CKestrelioClientDlg: no still frame for the video");
            },
            Qt::QueuedConnection);
    });
}

void CMainWindowView::showQueueReset()
{
    ++m_previewGeneration;
    m_animation.stop();
    m_controls.cancel.DisableButton();
    m_controls.preview.LoadPicture({});
    m_controls.preview.hide();
    m_controls.placeholder.hide();
    m_controls.account.show();
    m_controls.progress.hide();
}

void CMainWindowView::showProgress(int position)
{
    m_controls.progress.SetPos(position);
}

void CMainWindowView::showProgressMaximum(int maximum)
{
    m_controls.progress.SetMaximum(maximum);
}

void CMainWindowView::showStatusText(const std::string& text)
{
    m_controls.status.SetText(FromUtf8(text));
}

void CMainWindowView::showBalloon(const Balloon& balloon)
{
    if (m_actions.balloon)
        m_actions.balloon(balloon);
}

void CMainWindowView::openUpgradePage(int limit)
{
    if (m_actions.upgradePage)
        m_actions.upgradePage(limit);
}

void CMainWindowView::openEmailPage()
{
    if (m_actions.emailPage)
        m_actions.emailPage();
}

void CMainWindowView::runUploadCompleted()
{
    if (m_actions.uploadCompleted)
        m_actions.uploadCompleted();
}

void CMainWindowView::armSuccessBalloon()
{
    if (m_actions.successBalloonArmed)
        m_actions.successBalloonArmed();
}

void CMainWindowView::showNotification()
{
    if (m_actions.notification)
        m_actions.notification();
}

} // namespace quaylet
