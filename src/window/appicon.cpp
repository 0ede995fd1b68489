#include "window/appicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace quaylet {

namespace {

// A rounded tile in the skin's blue with a white arrow rising out of a tray:
// "upload", readable down to 16 pixels.
QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0, QColor(52, 112, 196));
    tile.setColorAt(1, QColor(15, 48, 113));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);

    QPainterPath arrow;
    arrow.moveTo(s * 0.5, s * 0.16);
    arrow.lineTo(s * 0.78, s * 0.46);
    arrow.lineTo(s * 0.6, s * 0.46);
    arrow.lineTo(s * 0.6, s * 0.66);
    arrow.lineTo(s * 0.4, s * 0.66);
    arrow.lineTo(s * 0.4, s * 0.46);
    arrow.lineTo(s * 0.22, s * 0.46);
    arrow.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    p.setBrush(QColor(255, 196, 120));
    p.drawRoundedRect(QRectF(s * 0.2, s * 0.74, s * 0.6, s * 0.1), s * 0.03, s * 0.03);
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (const int size : std::array{16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace quaylet
