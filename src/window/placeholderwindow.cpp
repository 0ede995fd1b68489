#include "window/placeholderwindow.h"

#include "core/stringtable.h"

#include <QApplication>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace quaylet {

PlaceholderWindow::PlaceholderWindow(bool visible) : m_visible(visible)
{
    setWindowTitle(QString::fromUtf8(LoadString(str::AppTitle)));
    auto* layout = new QVBoxLayout(this); // owned by this widget
    layout->addWidget(new QLabel(QString::fromUtf8(LoadString(str::Ready)), this));
    resize(240, 120);
}

PlaceholderWindow::~PlaceholderWindow() = default;

void PlaceholderWindow::activate()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void PlaceholderWindow::requestClose()
{
    close();
    // A hidden window's close does not end the run by itself.
    QCoreApplication::quit();
}

int PlaceholderWindow::run()
{
    QApplication::setQuitOnLastWindowClosed(true);
    if (m_visible)
        show();
    else if (!QSystemTrayIcon::isSystemTrayAvailable())
        showMinimized();
    return QApplication::exec();
}

} // namespace quaylet
