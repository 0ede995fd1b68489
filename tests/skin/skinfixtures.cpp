#include "skinfixtures.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace quaylet::test {

QImage BodyMask(int width, int height)
{
    QImage mask(width, height, QImage::Format_RGB32);
    mask.fill(kBody);
    return mask;
}

void FillBox(QImage& mask, int left, int top, int right, int bottom, QRgb colour)
{
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            mask.setPixel(x, y, colour);
}

void CutCurvedCorners(QImage& mask)
{
    const int w = mask.width();
    const int h = mask.height();
    constexpr int kRun[4] = {4, 2, 1, 1};
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < kRun[row]; ++col) {
            mask.setPixel(col, row, kTransparent);
            mask.setPixel(w - 1 - col, row, kTransparent);
            mask.setPixel(col, h - 1 - row, kTransparent);
            mask.setPixel(w - 1 - col, h - 1 - row, kTransparent);
        }
    }
}

QImage PatternPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 64 + (y / 256) * 16));
    return picture;
}

void DragWindow(QWidget& window, QPoint pressAt, QPoint to)
{
    const QPoint origin = window.pos();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pressAt), QPointF(origin + pressAt), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    QMouseEvent moveTo(QEvent::MouseMove, QPointF(pressAt), QPointF(to + pressAt), Qt::NoButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &moveTo);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pressAt), QPointF(to + pressAt), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &release);
}

} // namespace quaylet::test
