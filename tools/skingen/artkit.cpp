#include "artkit.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>

#include <algorithm>

namespace quaylet::skingen {

QFont ArtFont(qreal pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void DrawCentredText(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
                     const QColor& colour)
{
    p.save();
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
    p.restore();
}

void DrawSparkle(QPainter& p, QPointF centre, qreal radius, const QColor& colour)
{
    // Four long points with a narrow waist, like a glint on glass.
    const qreal waist = radius * 0.22;
    QPainterPath star;
    star.moveTo(centre + QPointF(0, -radius));
    star.quadTo(centre + QPointF(waist * 0.4, -waist * 0.4), centre + QPointF(radius, 0));
    star.quadTo(centre + QPointF(waist * 0.4, waist * 0.4), centre + QPointF(0, radius));
    star.quadTo(centre + QPointF(-waist * 0.4, waist * 0.4), centre + QPointF(-radius, 0));
    star.quadTo(centre + QPointF(-waist * 0.4, -waist * 0.4), centre + QPointF(0, -radius));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(star);
    p.restore();
}

void DrawLogo(QPainter& p, QPointF centre, qreal height)
{
    const QFont font = ArtFont(height * 1.35, true);
    const QString word = QStringLiteral("glimmerly");
    const QFontMetricsF metrics(font);
    const qreal wordWidth = metrics.horizontalAdvance(word);
    const qreal sparkle = height * 0.62;
    const qreal gap = height * 0.18;
    const qreal total = sparkle * 2 + gap + wordWidth;
    const qreal left = centre.x() - total / 2;

    DrawSparkle(p, QPointF(left + sparkle, centre.y()), sparkle, palette::kYellow);
    DrawSparkle(p, QPointF(left + sparkle * 1.75, centre.y() - sparkle * 0.75), sparkle * 0.34, Qt::white);

    // The word sits on a baseline that centres its x-height on the point.
    const qreal baseline = centre.y() + metrics.xHeight() / 2;
    p.save();
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 70));
    p.drawText(QPointF(left + sparkle * 2 + gap + 1, baseline + 1.2), word);
    p.setPen(Qt::white);
    p.drawText(QPointF(left + sparkle * 2 + gap, baseline), word);
    p.restore();
}

void DrawRoundIcon(QPainter& p, const QRectF& box, Glyph glyph)
{
    const qreal d = std::min(box.width(), box.height()) - 3;
    const QRectF circle(box.center().x() - d / 2, box.center().y() - d / 2, d, d);
    p.save();
    QRadialGradient fill(circle.center() - QPointF(0, d * 0.25), d * 0.75);
    fill.setColorAt(0, palette::kNavyLight.lighter(125));
    fill.setColorAt(1, palette::kNavyDeep);
    p.setBrush(fill);
    p.setPen(QPen(palette::kSoftWhite, 1.6));
    p.drawEllipse(circle);
    if (glyph == Glyph::Question) {
        DrawCentredText(p, circle.translated(0, 0.5), QStringLiteral("?"), ArtFont(d * 0.62, true),
                        Qt::white);
    } else {
        const qreal arm = d * 0.19;
        p.setPen(QPen(Qt::white, std::max<qreal>(2.0, d * 0.09), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(circle.center() + QPointF(-arm, -arm), circle.center() + QPointF(arm, arm));
        p.drawLine(circle.center() + QPointF(-arm, arm), circle.center() + QPointF(arm, -arm));
    }
    p.restore();
}

void DrawPillButton(QPainter& p, const QRectF& box, const QString& text, const QColor& top,
                    const QColor& bottom, const QColor& textColour, qreal textSize)
{
    const QRectF face = box.adjusted(1, 1, -1, -2);
    const qreal radius = face.height() / 2.6;
    p.save();
    // A soft shadow under the face lifts it off the panel.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 80));
    p.drawRoundedRect(face.translated(0, 1.5), radius, radius);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setBrush(fill);
    p.setPen(QPen(bottom.darker(130), 1));
    p.drawRoundedRect(face, radius, radius);
    // A light line along the top edge.
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(face.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    p.restore();
    DrawCentredText(p, face, text, ArtFont(textSize, true), textColour);
}

void DrawBarChip(QPainter& p, const QRectF& box)
{
    p.save();
    const QRectF face = box.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(face.topLeft(), face.bottomLeft());
    fill.setColorAt(0, palette::kNavyLight);
    fill.setColorAt(1, palette::kNavyDeep.lighter(130));
    p.setBrush(fill);
    p.setPen(QPen(QColor(120, 160, 225), 1));
    p.drawRoundedRect(face, 6, 6);
    p.restore();
}

void DrawField(QPainter& p, const QRectF& box)
{
    p.save();
    p.setPen(QPen(palette::kNavyDeep, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(box.adjusted(-1.5, -1.5, 1.5, 1.5), 3, 3);
    p.restore();
}

void DrawFrameEdge(QPainter& p, const QRectF& bounds, qreal radius, const QColor& dark, const QColor& light)
{
    p.save();
    // Outside the rounded edge everything is the dark line's colour, so what the
    // window's outline leaves of a corner matches the line.
    QPainterPath outside;
    outside.addRect(bounds);
    QPainterPath inside;
    inside.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(outside.subtracted(inside), dark);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(dark, 1));
    p.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(light, 1));
    p.drawRoundedRect(bounds.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
    p.restore();
}

} // namespace quaylet::skingen
