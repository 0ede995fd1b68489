#include "skin/focusframe.h"

#include <QPainter>
#include <QPen>
#include <QRect>

namespace quaylet {

void FocusFrame::focusIn(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        m_keyboard = true;
        break;
    case Qt::MouseFocusReason:
        m_keyboard = false;
        break;
    default:
        // Focus coming back with the window or from a closed menu keeps
        // whatever the user was doing.
        break;
    }
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
