#include "illustrations.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>

namespace quaylet::skingen {

namespace {

// A small landscape: sky, sun and two hills; used in the prints of all three illustrations.
void DrawScene(QPainter& p, const QRectF& r)
{
    p.save();
    p.setClipRect(r);
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(92, 160, 235));
    sky.setColorAt(1, QColor(188, 222, 250));
    p.fillRect(r, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 214, 90));
    const qreal sun = r.height() * 0.22;
    p.drawEllipse(QPointF(r.right() - r.width() * 0.26, r.top() + r.height() * 0.3), sun, sun);
    QPainterPath far;
    far.moveTo(r.left(), r.bottom());
    far.lineTo(r.left(), r.top() + r.height() * 0.7);
    far.quadTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.35, r.left() + r.width() * 0.62,
               r.top() + r.height() * 0.72);
    far.lineTo(r.right(), r.bottom());
    far.closeSubpath();
    p.setBrush(QColor(70, 150, 90));
    p.drawPath(far);
    QPainterPath near;
    near.moveTo(r.left() + r.width() * 0.3, r.bottom());
    near.quadTo(r.left() + r.width() * 0.72, r.top() + r.height() * 0.45, r.right(),
                r.top() + r.height() * 0.68);
    near.lineTo(r.right(), r.bottom());
    near.closeSubpath();
    p.setBrush(QColor(46, 120, 70));
    p.drawPath(near);
    p.restore();
}

void DrawShadowedRect(QPainter& p, const QRectF& r, const QColor& fill, qreal radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(r.translated(2.5, 3.5), radius, radius);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

} // namespace

void DrawPhoto(QPainter& p, QPointF centre)
{
    p.save();
    p.translate(centre);
    p.rotate(-9);
    const QRectF print(-46, -40, 92, 80);
    DrawShadowedRect(p, print, QColor(250, 250, 246), 2);
    DrawScene(p, print.adjusted(6, 6, -6, -16));
    p.restore();
}

void DrawAlbum(QPainter& p, QPointF centre)
{
    p.save();
    p.translate(centre);
    // Cover behind the pages.
    DrawShadowedRect(p, QRectF(-62, -42, 124, 88), QColor(120, 46, 38), 5);
    // Two pages meeting at the spine.
    p.setPen(QPen(QColor(200, 190, 170), 1));
    p.setBrush(QColor(250, 244, 228));
    QPainterPath left;
    left.moveTo(-1, -36);
    left.quadTo(-30, -42, -57, -36);
    left.lineTo(-57, 38);
    left.quadTo(-30, 32, -1, 38);
    left.closeSubpath();
    p.drawPath(left);
    QPainterPath right;
    right.moveTo(1, -36);
    right.quadTo(30, -42, 57, -36);
    right.lineTo(57, 38);
    right.quadTo(30, 32, 1, 38);
    right.closeSubpath();
    p.drawPath(right);
    // Prints on the pages.
    for (const QRectF& r :
         {QRectF(-50, -29, 40, 28), QRectF(-44, 5, 36, 25), QRectF(9, -29, 40, 28), QRectF(14, 5, 36, 25)}) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(r);
        DrawScene(p, r.adjusted(2, 2, -2, -2));
    }
    // The spine's shade.
    QLinearGradient spine(QPointF(-6, 0), QPointF(6, 0));
    spine.setColorAt(0, QColor(0, 0, 0, 0));
    spine.setColorAt(0.5, QColor(0, 0, 0, 60));
    spine.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(-6, -38, 12, 76), spine);
    p.restore();
}

void DrawFilmStrip(QPainter& p, QPointF centre)
{
    p.save();
    p.translate(centre);
    p.rotate(9);
    const QRectF strip(-52, -36, 104, 72);
    DrawShadowedRect(p, strip, QColor(28, 28, 30), 3);
    p.setBrush(QColor(230, 230, 225));
    for (int i = 0; i < 8; ++i) {
        const qreal x = strip.left() + 5 + i * 12.5;
        p.drawRoundedRect(QRectF(x, strip.top() + 4, 7, 6), 1.2, 1.2);
        p.drawRoundedRect(QRectF(x, strip.bottom() - 10, 7, 6), 1.2, 1.2);
    }
    for (int i = 0; i < 3; ++i) {
        DrawScene(p, QRectF(strip.left() + 5 + i * 32.5, strip.top() + 15, 29, 42));
    }
    // A play mark: this one moves.
    p.setBrush(QColor(255, 255, 255, 220));
    QPainterPath play;
    play.moveTo(-6, -9);
    play.lineTo(10, 0);
    play.lineTo(-6, 9);
    play.closeSubpath();
    p.drawPath(play);
    p.restore();
}

} // namespace quaylet::skingen
