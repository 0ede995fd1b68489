#include "window/workarea.h"

namespace quaylet {

QRect KeptInsideWorkArea(const QRect& window, const QRect& workArea)
{
    QRect kept = window;
    if (kept.right() > workArea.right())
        kept.moveRight(workArea.right());
    if (kept.bottom() > workArea.bottom())
        kept.moveBottom(workArea.bottom());
    return kept;
}

} // namespace quaylet
