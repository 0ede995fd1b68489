#pragma once

// Input as the window system delivers it, sent straight to one widget, and a
// bounded wait for what the event loop does next.

#include <QPoint>
#include <QRegion>
#include <QWidget>
#include <Qt>

#include <functional>

class QImage;

namespace quaylet::test {

// True when the widget kept the event (an ignored press goes on to the
// dialog, which would start dragging itself).
bool SendMouse(QWidget& widget, int type, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
bool Press(QWidget& widget, QPoint pos = {2, 2});
void Release(QWidget& widget, QPoint pos = {2, 2});
void Click(QWidget& widget, QPoint pos = {2, 2});
void Move(QWidget& widget, QPoint pos = {2, 2});
void Leave(QWidget& widget);
void Key(QWidget& widget, int key);
void FocusByTab(QWidget& widget);

// Runs the event loop until done() holds or timeoutMs passes; the last
// answer of done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// The widget as it paints itself now.
QImage Rendered(QWidget& widget);

// A white, active window that records what it is asked to repaint.
class Backdrop final : public QWidget {
public:
    Backdrop();
    int paints = 0;
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quaylet::test
