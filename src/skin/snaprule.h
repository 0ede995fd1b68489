#pragma once

// Where a window being moved lands: within 15 pixels of an edge of the
// screen's work area it jumps to that edge. A pure function, so that every
// case can be checked without a window or a screen.
//
// The work area is the screen less its panels (task bars); the insets are the
// difference between the screen's geometry and its available geometry. On X11
// with more than one screen Qt reports the available geometry equal to the
// geometry (no insets), so there the window snaps to the screen's own edges.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace quaylet {

constexpr int kSnapDistance = 15;

// proposed: the window's new top-left corner; window: its current size (not a
// proposed one); screen and available: the screen's geometry and work area.
QPoint SnapPosition(QPoint proposed, QSize window, const QRect& screen, const QRect& available);

} // namespace quaylet
