#pragma once

// The pieces every skin picture is made of, so the four dialogs share one look:
// the palette, the type, the logo, the round icons and the buttons.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace quaylet::skingen {

namespace palette {
inline const QColor kNavyDeep{9, 27, 66};
// The colour of the main window's bars; the Cancel button fills its box with
// it while hidden, so the bars stay flat in this colour around the button.
inline const QColor kBar{15, 48, 113};
inline const QColor kNavyLight{34, 80, 158};
inline const QColor kAccent{31, 92, 207};
inline const QColor kYellow{247, 198, 66};
inline const QColor kYellowDeep{226, 160, 28};
inline const QColor kPanelTop{66, 69, 75};
inline const QColor kPanelBottom{44, 46, 51};
inline const QColor kOrangeTop{250, 160, 62};
inline const QColor kOrangeBottom{228, 108, 24};
inline const QColor kOrangeBar{168, 70, 10};
inline const QColor kInk{12, 30, 70};
inline const QColor kSoftWhite{232, 238, 248};
} // namespace palette

// The type of every text in the pictures, at a size in logical pixels: DejaVu
// Sans, which comes with Qt on Debian and has a true bold (the bold Tahoma of
// fonts-wine is barely heavier than its regular face).
QFont ArtFont(qreal pixelSize, bool bold);

// Text centred in a box.
void DrawCentredText(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
                     const QColor& colour);

// The service's logo: a four-pointed sparkle and the word "glimmerly", centred
// on the point, the word's letters 'height' pixels tall.
void DrawLogo(QPainter& p, QPointF centre, qreal height);

// A four-pointed star, as in the logo.
void DrawSparkle(QPainter& p, QPointF centre, qreal radius, const QColor& colour);

enum class Glyph { Question, Cross };

// A round icon button filling the largest circle in the box, a little inset.
void DrawRoundIcon(QPainter& p, const QRectF& box, Glyph glyph);

// A rounded button face with a centred label.
void DrawPillButton(QPainter& p, const QRectF& box, const QString& text, const QColor& top,
                    const QColor& bottom, const QColor& textColour, qreal textSize);

// A quiet rounded chip behind a bar label (Logout, Menu).
void DrawBarChip(QPainter& p, const QRectF& box);

// A white, slightly sunken field where an edit control sits.
void DrawField(QPainter& p, const QRectF& box);

// The outer edge of a dialog: a fine light line inside a dark one. The 640 x 480
// windows lose rows of 4, 2, 1 and 1 pixels at each corner, which a radius of 5 follows.
void DrawFrameEdge(QPainter& p, const QRectF& bounds, qreal radius, const QColor& dark = QColor(4, 14, 36),
                   const QColor& light = QColor(110, 150, 220, 150));

} // namespace quaylet::skingen
