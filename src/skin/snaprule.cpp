#include "skin/snaprule.h"

namespace quaylet {

QPoint SnapPosition(QPoint proposed, QSize window, const QRect& screen, const QRect& available)
{
    // Work in the screen's own coordinates, as if it were the only one.
    const int cx = screen.width();
    const int cy = screen.height();
    const int left = available.left() - screen.left();
    const int top = available.top() - screen.top();
    const int right = screen.right() - available.right();
    const int bottom = screen.bottom() - available.bottom();
    int x = proposed.x() - screen.left();
    int y = proposed.y() - screen.top();

    if (x >= left - kSnapDistance && x <= left + kSnapDistance)
        x = left;
    // The lower bound is the screen's top, not the inset's: a window pulled
    // anywhere over a top panel lands just below it.
    if (y >= -kSnapDistance && y <= top + kSnapDistance)
        y = top;
    // The right and bottom edges are tested after and win over the left and
    // top ones (a window about as large as the work area).
    const int rightEdge = x + window.width();
    if (rightEdge >= cx - kSnapDistance - right && rightEdge <= cx + kSnapDistance - right)
        x = cx - window.width() - right;
    const int bottomEdge = y + window.height();
    if (bottomEdge >= cy - kSnapDistance - bottom && bottomEdge <= cy + kSnapDistance - bottom)
        y = cy - window.height() - bottom;

    return {x + screen.left(), y + screen.top()};
}

} // namespace quaylet
