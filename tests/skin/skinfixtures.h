#pragma once

// Small masks drawn the way the skins' masks are (a body colour, flat element
// rectangles and single transparent pixels), pictures, and a mouse drag.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

class QWidget;

namespace quaylet::test {

constexpr QRgb kBody = 0xFF800000;        // RGB(128,0,0)
constexpr QRgb kTransparent = 0xFFFF0000; // RGB(255,0,0)

QImage BodyMask(int width, int height);
// Fills (left, top)-(right, bottom), right and bottom exclusive.
void FillBox(QImage& mask, int left, int top, int right, int bottom, QRgb colour);
// The 8 transparent pixels of each curved corner (rows of 4, 2, 1 and 1).
void CutCurvedCorners(QImage& mask);
// A picture whose every pixel differs from its neighbours, so a crop shows
// where it was taken.
QImage PatternPicture(int width, int height);

// Presses the left button at pressAt (in the window), moves the mouse so that
// the window's corner would land at `to`, and releases it there.
void DragWindow(QWidget& window, QPoint pressAt, QPoint to);

} // namespace quaylet::test
