#pragma once

// Pictures of windows as the screen shows them, for the screenshot tools.

#include <QPixmap>
#include <QRect>

class QWidget;

namespace quaylet {

// Lets the window reach the screen: mapped, exposed and painted. Bounded, so
// a display that never exposes it cannot stall the run.
bool WaitUntilOnScreen(QWidget& window);

// Lets queued work (fades, repaints) run for a while.
void Settle(int milliseconds);

// What the screen shows where the window is: on a display that can be read
// back, the cut corners show what lies behind. Elsewhere the window's own
// drawing is the best there is.
QPixmap Capture(QWidget& window);
// A screen area (a window with its open menu); only on a display that can be read back.
QPixmap CaptureArea(QWidget& onScreen, const QRect& area);

} // namespace quaylet
