#include "skin/picturefade.h"

#include "skin/fitpicture.h"

#include <QPainter>
#include <QRect>

namespace quaylet {

namespace {

QImage BlackImage(QSize box, qreal dpr)
{
    QImage image(box * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::black);
    return image;
}

} // namespace

QImage RenderFitted(const QImage& image, QSize box, qreal dpr)
{
    QImage picture = BlackImage(box, dpr);
    if (!image.isNull()) {
        const PictureRect fit = FitPictureRect(box.width(), box.height(), image.width(), image.height());
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(fit.left, fit.top, fit.right - fit.left, fit.bottom - fit.top), image);
    }
    return picture;
}

QImage ComposeFadeFrame(const QImage& oldPicture, const QImage& newPicture, int k)
{
    QImage frame = BlackImage(oldPicture.deviceIndependentSize().toSize(), oldPicture.devicePixelRatio());
    QPainter painter(&frame);
    painter.setOpacity(FadeOutOpacity(k) / 255.0);
    painter.drawImage(0, 0, oldPicture);
    painter.setOpacity(FadeInOpacity(k) / 255.0);
    painter.drawImage(0, 0, newPicture);
    return frame;
}

} // namespace quaylet
