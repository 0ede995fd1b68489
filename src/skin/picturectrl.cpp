#include "skin/picturectrl.h"

#include "skin/fitpicture.h"
#include "skin/picturefade.h"

#include <QByteArray>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace quaylet {

namespace {

QImage LoadImageFile(const std::string& path)
{
    QImage image;
    image.load(QFile::decodeName(QByteArray::fromStdString(path)));
    return image;
}

} // namespace

CPictureCtrl::CPictureCtrl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_fadeTimer, &QTimer::timeout, this, &CPictureCtrl::NextFadeFrame);
}

CPictureCtrl::~CPictureCtrl() = default;

bool CPictureCtrl::LoadPicture(const std::string& path)
{
    FinishFade();
    if (path.empty()) {
        m_image = QImage();
        return true;
    }
    update();
    m_image = LoadImageFile(path);
    return !m_image.isNull();
}

void CPictureCtrl::FadeToPicture(const std::string& path, int durationMs)
{
    FadeToImage(LoadImageFile(path), durationMs);
}

void CPictureCtrl::ShowImage(QImage picture)
{
    FinishFade();
    m_image = std::move(picture);
    update();
}

void CPictureCtrl::FadeToImage(QImage picture, int durationMs)
{
    FinishFade();
    m_fadeTarget = std::move(picture);
    const qreal dpr = devicePixelRatioF();
    // The old picture lives on in its fitted copy alone.
    m_oldPicture = RenderFitted(std::exchange(m_image, QImage()), size(), dpr);
    m_newPicture = RenderFitted(m_fadeTarget, size(), dpr);
    m_fadeFrame = 0;
    ShowFadeFrame();
    m_fadeTimer.start(std::max(0, durationMs / 10));
}

void CPictureCtrl::NextFadeFrame()
{
    ++m_fadeFrame;
    ShowFadeFrame();
    if (m_fadeFrame == kFadeFrames - 1) {
        FinishFade();
    }
}

void CPictureCtrl::ShowFadeFrame()
{
    m_frame = ComposeFadeFrame(m_oldPicture, m_newPicture, m_fadeFrame);
    repaint();
    Q_EMIT fadeFrameShown(m_fadeFrame);
}

void CPictureCtrl::FinishFade()
{
    if (m_fadeFrame < 0) {
        return;
    }
    m_fadeTimer.stop();
    m_image = std::move(m_fadeTarget);
    m_fadeTarget = QImage();
    m_oldPicture = QImage();
    m_newPicture = QImage();
    m_frame = QImage();
    m_fadeFrame = -1;
    update();
}

void CPictureCtrl::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (m_fadeFrame >= 0) {
        painter.drawImage(0, 0, m_frame);
        return;
    }
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull()) {
        return;
    }
    const PictureRect fit = FitPictureRect(width(), height(), m_image.width(), m_image.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(fit.left, fit.top, fit.right - fit.left, fit.bottom - fit.top), m_image);
}

} // namespace quaylet
