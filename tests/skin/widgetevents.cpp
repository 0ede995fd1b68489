#include "widgetevents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <QWidget>

namespace quaylet::test {

bool SendMouse(QWidget& widget, int type, QPoint pos, Qt::MouseButton button)
{
    const auto eventType = static_cast<QEvent::Type>(type);
    const Qt::MouseButtons held = eventType == QEvent::MouseButtonPress ? Qt::MouseButtons(button)
                                                                        : Qt::MouseButtons(Qt::NoButton);
    QMouseEvent event(eventType, QPointF(pos), QPointF(widget.mapToGlobal(pos)),
                      eventType == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &event);
    return event.isAccepted();
}

bool Press(QWidget& widget, QPoint pos)
{
    return SendMouse(widget, QEvent::MouseButtonPress, pos);
}

void Release(QWidget& widget, QPoint pos)
{
    SendMouse(widget, QEvent::MouseButtonRelease, pos);
}

void Click(QWidget& widget, QPoint pos)
{
    Press(widget, pos);
    Release(widget, pos);
}

void Move(QWidget& widget, QPoint pos)
{
    SendMouse(widget, QEvent::MouseMove, pos, Qt::NoButton);
}

void Leave(QWidget& widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&widget, &event);
}

void Key(QWidget& widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &release);
}

void FocusByTab(QWidget& widget)
{
    widget.setFocus(Qt::TabFocusReason);
    QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&widget, &event);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

QImage Rendered(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

Backdrop::Backdrop()
{
    resize(200, 100);
    show();
    activateWindow();
    WaitUntil([this] { return isActiveWindow(); }, 2000);
}

void Backdrop::paintEvent(QPaintEvent* event)
{
    ++paints;
    painted += event->region();
    QPainter(this).fillRect(rect(), Qt::white);
}

} // namespace quaylet::test
