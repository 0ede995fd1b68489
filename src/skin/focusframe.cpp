#include "skin/focusframe.h"

#include <QPainter>
#include <QPen>
#include <QRect>

namespace quaylet {

void FocusFrame::focusIn(Qt::FocusReason reason)
{
    m_keyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                 reason == Qt::ShortcutFocusReason;
}

void FocusFrame::paint(QPainter& painter, const QRect& rect, bool hasFocus) const
{
    if (!shown(hasFocus)) {
        return;
    }
    painter.save();
    // Drawn twice, light over dark, so it shows on any artwork.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter.drawRect(rect.adjusted(1, 1, -2, -2));
    painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
    painter.drawRect(rect.adjusted(1, 1, -2, -2));
    painter.restore();
}

} // namespace quaylet
