#include "appiconart.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <array>

namespace quaylet::skingen {

namespace {

// Every shape in units of the icon's edge, so the pictures and the SVG agree.
const QColor kTileTop{52, 112, 196};
const QColor kTileBottom{15, 48, 113};
const QColor kArrow{255, 255, 255};
const QColor kTray{255, 196, 120};
constexpr qreal kTileRadius = 0.2;
// The tile stays half a pixel inside the picture, so its edge is not cut.
constexpr qreal kTileInsetPixels = 0.5;
constexpr std::array<QPointF, 7> kArrowPoints{{{0.5, 0.16},
                                               {0.78, 0.46},
                                               {0.6, 0.46},
                                               {0.6, 0.66},
                                               {0.4, 0.66},
                                               {0.4, 0.46},
                                               {0.22, 0.46}}};
constexpr QRectF kTrayBox{0.2, 0.74, 0.6, 0.1};
constexpr qreal kTrayRadius = 0.03;
constexpr int kSvgEdge = 256;

QString SvgColour(const QColor& c)
{
    return c.name(QColor::HexRgb);
}

} // namespace

std::span<const int> AppIconSizes()
{
    static constexpr std::array kSizes{16, 22, 24, 32, 48, 64, 128, 256};
    return kSizes;
}

QImage PaintAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0, kTileTop);
    tile.setColorAt(1, kTileBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(kTileInsetPixels, kTileInsetPixels, s - 2 * kTileInsetPixels,
                             s - 2 * kTileInsetPixels),
                      s * kTileRadius, s * kTileRadius);

    QPainterPath arrow;
    arrow.moveTo(kArrowPoints[0] * s);
    for (std::size_t i = 1; i < kArrowPoints.size(); ++i)
        arrow.lineTo(kArrowPoints[i] * s);
    arrow.closeSubpath();
    p.setBrush(kArrow);
    p.drawPath(arrow);
    p.setBrush(kTray);
    p.drawRoundedRect(QRectF(kTrayBox.topLeft() * s, kTrayBox.size() * s), s * kTrayRadius,
                      s * kTrayRadius);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray AppIconSvg()
{
    const qreal s = kSvgEdge;
    const auto n = [](qreal v) { return QString::number(v, 'g', 6); };
    QString points;
    for (const QPointF& pt : kArrowPoints)
        points += n(pt.x() * s) + u',' + n(pt.y() * s) + u' ';
    const QString svg =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
            "viewBox=\"0 0 %1 %1\">\n"
            "  <defs>\n"
            "    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
            "      <stop offset=\"0\" stop-color=\"%2\"/>\n"
            "      <stop offset=\"1\" stop-color=\"%3\"/>\n"
            "    </linearGradient>\n"
            "  </defs>\n"
            "  <rect x=\"%4\" y=\"%4\" width=\"%5\" height=\"%5\" rx=\"%6\" fill=\"url(#tile)\"/>\n"
            "  <polygon points=\"%7\" fill=\"%8\"/>\n"
            "  <rect x=\"%9\" y=\"%10\" width=\"%11\" height=\"%12\" rx=\"%13\" fill=\"%14\"/>\n"
            "</svg>\n")
            .arg(kSvgEdge)
            .arg(SvgColour(kTileTop), SvgColour(kTileBottom))
            .arg(n(kTileInsetPixels))
            .arg(n(s - 2 * kTileInsetPixels))
            .arg(n(s * kTileRadius))
            .arg(points.trimmed(), SvgColour(kArrow))
            .arg(n(kTrayBox.x() * s))
            .arg(n(kTrayBox.y() * s))
            .arg(n(kTrayBox.width() * s))
            .arg(n(kTrayBox.height() * s))
            .arg(n(s * kTrayRadius))
            .arg(SvgColour(kTray));
    return svg.toUtf8();
}

} // namespace quaylet::skingen
