#include "screencapture/screencapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace quaylet {

namespace {

bool ScreenReadable(const QWidget& window)
{
    return QGuiApplication::platformName() == QLatin1String("xcb") && window.screen() != nullptr;
}

} // namespace

void Settle(int milliseconds)
{
    const QDeadlineTimer settle(milliseconds);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool WaitUntilOnScreen(QWidget& window)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (window.windowHandle() != nullptr && window.windowHandle()->isExposed())
            break;
        QThread::msleep(10);
    }
    if (window.windowHandle() == nullptr || !window.windowHandle()->isExposed())
        return false;
    // The first paint and the server's copy of it follow the exposure.
    Settle(300);
    return true;
}

QPixmap Capture(QWidget& window)
{
    if (ScreenReadable(window))
        return CaptureArea(window, window.frameGeometry());
    return window.grab();
}

QPixmap CaptureArea(QWidget& onScreen, const QRect& area)
{
    if (!ScreenReadable(onScreen))
        return onScreen.grab();
    return onScreen.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

} // namespace quaylet
