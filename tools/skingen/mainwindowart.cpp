// The main window: the drop window with its top bar, centre panel and bottom bar.

#include "artkit.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>

namespace quaylet::skingen {

namespace {

constexpr qreal kWidth = 640;
constexpr qreal kHeight = 480;

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
    near.quadTo(r.left() + r.width() * 0.72, r.top() + r.height() * 0.45, r.right(), r.top() + r.height() * 0.68);
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
    for (const QRectF& r : {QRectF(-50, -29, 40, 28), QRectF(-44, 5, 36, 25), QRectF(9, -29, 40, 28),
                            QRectF(14, 5, 36, 25)}) {
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

} // namespace

void PaintMainWindow(QPainter& p)
{
    const QRectF all(0, 0, kWidth, kHeight);
    p.fillRect(all, palette::kNavyDeep);

    // Top and bottom bars, flat in the bar colour.
    p.fillRect(QRectF(0, 0, kWidth, 53), palette::kBar);
    p.fillRect(QRectF(0, 427, kWidth, kHeight - 427), palette::kBar);
    p.fillRect(QRectF(0, 0, kWidth, 1), QColor(70, 110, 185));

    // Centre panel, where the previews appear.
    const QRectF panel(2, 53, 635, 367);
    QLinearGradient panelFill(panel.topLeft(), panel.bottomLeft());
    panelFill.setColorAt(0, palette::kPanelTop);
    panelFill.setColorAt(1, palette::kPanelBottom);
    p.fillRect(panel, panelFill);
    p.fillRect(QRectF(2, 53, 635, 1), QColor(0, 0, 0, 120));

    // Top bar: Logout and Menu at the left, the logo, help and close at the right.
    DrawBarChip(p, QRectF(19, 12, 53, 28));
    DrawCentredText(p, QRectF(19, 12, 53, 28), QStringLiteral("Logout"), ArtFont(11, true), Qt::white);
    DrawBarChip(p, QRectF(84, 11, 64, 31));
    DrawCentredText(p, QRectF(86, 11, 44, 31), QStringLiteral("Menu"), ArtFont(12, true), Qt::white);
    p.save();
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(133, 24.5), QPointF(137, 28.5), QPointF(141, 24.5)}));
    p.restore();
    DrawLogo(p, QPointF(kWidth / 2, 27), 17);
    DrawRoundIcon(p, QRectF(563, 11, 29, 30), Glyph::Question);
    DrawRoundIcon(p, QRectF(595, 10, 29, 32), Glyph::Cross);

    // The three things one can drop, and the invitation.
    DrawPhoto(p, QPointF(206, 205));
    DrawAlbum(p, QPointF(320, 196));
    DrawFilmStrip(p, QPointF(436, 205));
    DrawCentredText(p, QRectF(20, 282, 600, 26), QStringLiteral("Drag and drop your photos and videos here"),
                    ArtFont(18, true), palette::kSoftWhite);
    DrawCentredText(p, QRectF(20, 310, 600, 22), QStringLiteral("to upload them to your Glimmerly account"),
                    ArtFont(14, false), QColor(190, 196, 206));

    // The progress track between panel and bottom bar.
    p.fillRect(QRectF(2, 420, 635, 7), Qt::black);
    p.save();
    p.setPen(QPen(QColor(106, 106, 106), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(2.5, 420.5, 634, 6));
    p.restore();

    // Bottom bar: the count and status texts are the window's own; Cancel at the right.
    DrawPillButton(p, QRectF(524, 438, 89, 32), QStringLiteral("Cancel"), QColor(236, 240, 247),
                   QColor(188, 198, 216), palette::kInk, 13);

    DrawFrameEdge(p, all, 8);
}

} // namespace quaylet::skingen
