#include "window/mainwindowview.h"

#include "core/logfile.h"
#include "core/queuedcall.h"
#include "skin/cancelbutton.h"
#include "skin/hoverbutton.h"
#include "skin/picturectrl.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"
#include "skin/smoothprogress.h"
#include "transfer/uploadqueue.h"

#include <QMetaObject>
#include <QPainter>
#include <QPainterPath>

namespace quaylet {

namespace {

// The film strip the drop window's picture draws (a strip turned by 9 degrees
// about its centre, with its shadow), cut out of that picture: the
// placeholder of a video whose still frame is still being made. It lies on
// the panel's own shading, a column of the picture beside the art.
constexpr QPointF kFilmStripCentre(430, 196);
constexpr QRectF kFilmStripOutline(-51.5, -36, 106.5, 75); // shadow to the lower right
constexpr qreal kFilmStripTurn = 9;
constexpr QRect kPanelColumn(5, 53, 1, 366);
constexpr int kMainWindowSkin = 186;

constexpr std::string_view kAnimationDots = "...";

bool IsVideoRow(const QueueRow& row)
{
    return row.columns[kColumnFileType] == "2";
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Cancel shows while there is something to cancel: preparing, uploading,
// waiting for a connection, or files held by a pause.
bool Cancellable(TransferState state)
{
    return state == kStateResizing || state == kStateEncoding || state == kStateUploading ||
           state == kStateTrying || state == kStatePaused;
}

} // namespace

CMainWindowView::CMainWindowView(MainWindowControls controls, MainWindowActions actions, QObject* parent)
    : QObject(parent),
      m_controls(controls),
      m_actions(std::move(actions)),
      m_previews([this](PreviewAnswer answer) {
          // The maker's destructor (before this object's) waits for its thread.
          QMetaObject::invokeMethod(
              this, QueuedCall([this, answer = std::move(answer)] { showPreview(answer); }), Qt::QueuedConnection);
      })
{
    m_animation.setInterval(kAnimationIntervalMs);
    connect(&m_animation, &QTimer::timeout, this, &CMainWindowView::animate);
}

CMainWindowView::~CMainWindowView() = default;

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
    const bool video = IsVideoRow(row);
    if (video) {
        // The still frame takes an encoder run: the film strip shows until it is there.
        showFilmStrip();
    } else {
        m_controls.placeholder.hide();
        m_controls.preview.show();
    }
    requestPreview(path, video);
}

void CMainWindowView::requestPreview(const std::string& path, bool video)
{
    PreviewRequest request;
    request.generation = m_previewGeneration;
    request.path = path;
    request.video = video;
    request.box = m_controls.preview.size() * m_controls.preview.devicePixelRatioF();
    m_previews.request(std::move(request));
}

void CMainWindowView::showPreview(const PreviewAnswer& answer)
{
    if (answer.generation != m_previewGeneration)
        return; // a newer file, or none, is on the screen by now
    if (answer.video && answer.picture.isNull()) {
        WriteLog(LogTrace, "CKestrelioClientDlg: no still frame for the video");
        return; // the film strip stays
    }
    m_controls.placeholder.hide();
    m_controls.preview.show();
    m_controls.preview.FadeToImage(answer.picture, kPreviewFadeMs);
    WriteLog(LogTrace, "CKestrelioClientDlg: preview image = %s", answer.picturePath.c_str());
}

void CMainWindowView::showFilmStrip()
{
    CPictureCtrl& placeholder = m_controls.placeholder;
    const qreal dpr = placeholder.devicePixelRatioF();
    QImage box(placeholder.size() * dpr, QImage::Format_RGB32);
    box.setDevicePixelRatio(dpr);
    box.fill(Qt::black);
    const SkinPicture skin = LoadSkinPictureResource(kMainWindowSkin, dpr > 1 ? 2 : 1);
    if (!skin.image.isNull()) {
        const qreal scale = skin.image.devicePixelRatio();
        QPainter painter(&box);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(), placeholder.size()), skin.image,
                          QRect(kPanelColumn.topLeft() * scale, kPanelColumn.size() * scale));
        painter.translate(QRectF(QPointF(), placeholder.size()).center());
        painter.rotate(kFilmStripTurn);
        QPainterPath outline;
        outline.addRoundedRect(kFilmStripOutline, 4, 4); // the strip's corners are round
        painter.setClipPath(outline);
        painter.rotate(-kFilmStripTurn);
        painter.drawImage(-kFilmStripCentre, skin.image);
    }
    placeholder.ShowImage(std::move(box));
    m_controls.preview.hide();
    placeholder.show();
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
