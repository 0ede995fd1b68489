// The main window: the drop window with its top bar, centre panel and bottom bar.

#include "artkit.h"
#include "illustrations.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPen>

namespace quaylet::skingen {

namespace {

constexpr qreal kWidth = 640;
constexpr qreal kHeight = 480;

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

    // The drop area: the three things one can drop, and the invitation.
    p.save();
    p.setPen(QPen(QColor(255, 255, 255, 70), 2, Qt::DashLine, Qt::RoundCap));
    p.setBrush(QColor(255, 255, 255, 10));
    p.drawRoundedRect(QRectF(110, 118, 420, 232), 16, 16);
    p.restore();
    DrawPhoto(p, QPointF(212, 196));
    DrawAlbum(p, QPointF(320, 188));
    DrawFilmStrip(p, QPointF(430, 196));
    DrawCentredText(p, QRectF(20, 268, 600, 26), QStringLiteral("Drag and drop your photos and videos here"),
                    ArtFont(18, true), palette::kSoftWhite);
    DrawCentredText(p, QRectF(20, 296, 600, 22), QStringLiteral("to upload them to your Glimmerly account"),
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

    DrawFrameEdge(p, all, 5);
}

} // namespace quaylet::skingen
