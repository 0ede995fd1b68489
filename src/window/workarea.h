#pragma once

// Keeping the window on the screen: a window whose right or bottom edge lies
// beyond the work area is moved back inside by that much. Its size stays, and
// the left and top edges are left to the user.

#include <QRect>

namespace quaylet {

QRect KeptInsideWorkArea(const QRect& window, const QRect& workArea);

} // namespace quaylet
