// The small dialogs: sign-in (in its two modes, where only the button's word differs) and about.

#include "artkit.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPen>

#include <algorithm>

namespace quaylet::skingen {

namespace {

// Dark blue panel with the logo: the ground of the small dialogs.
void DrawSmallPanel(QPainter& p, const QRectF& all)
{
    QLinearGradient fill(all.topLeft(), all.bottomLeft());
    fill.setColorAt(0, palette::kNavyLight);
    fill.setColorAt(0.45, palette::kBar);
    fill.setColorAt(1, palette::kNavyDeep);
    p.fillRect(all, fill);
}

void DrawSmallCross(QPainter& p, const QRectF& box)
{
    p.save();
    const QPointF c = box.center();
    const qreal arm = std::min(box.width(), box.height()) * 0.3;
    p.setPen(QPen(palette::kSoftWhite, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
    p.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
    p.restore();
}

} // namespace

void PaintSignIn(QPainter& p, bool signedIn)
{
    // Drawn over the full 369 pixels; the window shows 368 of them.
    const QRectF all(0, 0, 369, 260);
    DrawSmallPanel(p, all);
    DrawLogo(p, QPointF(184, 42), 20);

    const QFont labelFont = ArtFont(12, true);
    p.save();
    p.setFont(labelFont);
    p.setPen(Qt::white);
    p.drawText(QRectF(40, 102, 96, 22), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Username:"));
    p.drawText(QRectF(40, 130, 96, 22), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Password:"));
    p.restore();
    DrawField(p, QRectF(144, 102, 152, 22));
    DrawField(p, QRectF(144, 130, 152, 22));

    DrawPillButton(p, QRectF(130, 202, 108, 35),
                   signedIn ? QStringLiteral("Logout") : QStringLiteral("Login"),
                   palette::kYellow.lighter(112), palette::kYellowDeep, palette::kInk, 15);
    DrawSmallCross(p, QRectF(345, 9, 14, 15));

    DrawFrameEdge(p, QRectF(0, 0, 368, 260), 2);
}

void PaintAbout(QPainter& p)
{
    // Drawn over the full 362 pixels; the window shows 360 of them.
    const QRectF all(0, 0, 362, 219);
    DrawSmallPanel(p, all);
    DrawLogo(p, QPointF(180, 84), 30);
    p.fillRect(QRectF(60, 134, 240, 1), QColor(255, 255, 255, 60));
    DrawRoundIcon(p, QRectF(328, 3, 31, 29), Glyph::Cross);
    DrawFrameEdge(p, QRectF(0, 0, 360, 219), 2);
}

} // namespace quaylet::skingen
