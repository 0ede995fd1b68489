// The upload-completed dialog: it takes the main window's place after a batch.

#include "artkit.h"
#include "illustrations.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>

#include <utility>

namespace quaylet::skingen {

namespace {

void DrawCheckBadge(QPainter& p, QPointF centre, qreal radius)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 40, 0, 70));
    p.drawEllipse(centre + QPointF(0, 3), radius, radius);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius, radius);
    QPainterPath tick;
    tick.moveTo(centre + QPointF(-radius * 0.45, radius * 0.02));
    tick.lineTo(centre + QPointF(-radius * 0.12, radius * 0.34));
    tick.lineTo(centre + QPointF(radius * 0.48, -radius * 0.3));
    p.setPen(QPen(palette::kOrangeBottom, radius * 0.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.restore();
}

} // namespace

void PaintUploadCompleted(QPainter& p)
{
    const QRectF all(0, 0, 640, 480);
    QLinearGradient fill(all.topLeft(), all.bottomLeft());
    fill.setColorAt(0, palette::kOrangeTop);
    fill.setColorAt(1, palette::kOrangeBottom);
    p.fillRect(all, fill);

    // A quiet top band with the logo, as in the main window, and the help icon.
    p.fillRect(QRectF(0, 0, 640, 53), palette::kOrangeBar);
    p.fillRect(QRectF(0, 53, 640, 1), QColor(255, 210, 160, 120));
    DrawLogo(p, QPointF(320, 27), 17);
    DrawRoundIcon(p, QRectF(598, 10, 30, 31), Glyph::Question);

    DrawCheckBadge(p, QPointF(320, 138), 40);
    p.save();
    p.setPen(QColor(120, 40, 0, 90));
    p.setFont(ArtFont(34, true));
    p.drawText(QRectF(0, 196, 641, 46), Qt::AlignCenter, QStringLiteral("Upload Completed"));
    p.restore();
    DrawCentredText(p, QRectF(0, 194, 640, 46), QStringLiteral("Upload Completed"), ArtFont(34, true),
                    Qt::white);

    // The invitation fills the link's area: both lines, underlined like a link.
    QFont link = ArtFont(14, true);
    link.setUnderline(true);
    DrawCentredText(p, QRectF(186, 259, 270, 22), QStringLiteral("Click here to view your photos"), link,
                    Qt::white);
    DrawCentredText(p, QRectF(186, 282, 270, 22), QStringLiteral("on your Glimmerly gallery page"), link,
                    Qt::white);

    // What went up, small, between the invitation and the bar.
    for (const auto& [draw, x] :
         {std::pair{&DrawPhoto, 250.0}, {&DrawAlbum, 320.0}, {&DrawFilmStrip, 390.0}}) {
        p.save();
        p.translate(x, 368);
        p.scale(0.5, 0.5);
        draw(p, QPointF(0, 0));
        p.restore();
    }

    // The bottom bar that takes the user back.
    const QRectF bar(0, 430, 640, 50);
    p.fillRect(bar, palette::kOrangeBar);
    p.fillRect(QRectF(0, 430, 640, 1), QColor(255, 210, 160, 120));
    p.save();
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(212, 449), QPointF(207, 454), QPointF(212, 459)}));
    p.restore();
    DrawCentredText(p, QRectF(200, 445, 241, 18), QStringLiteral("Return to Upload Screen"),
                    ArtFont(13, true), Qt::white);

    DrawFrameEdge(p, all, 5, QColor(110, 40, 0), QColor(255, 200, 140, 140));
}

} // namespace quaylet::skingen
