#include "window/appicon.h"

#include <QString>

#include <array>
#include <mutex>

// The resource initialiser is declared at global scope, so it must be named
// from there; without the call the linker drops the pictures from the library.
static void RegisterAppIconResourcesOnce()
{
    Q_INIT_RESOURCE(appicon);
}

namespace quaylet {

namespace {

QIcon BundledIcon()
{
    static std::once_flag once;
    std::call_once(once, RegisterAppIconResourcesOnce);
    QIcon icon;
    for (const int size : std::array{16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/appicon/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

QIcon AppIcon()
{
    // The theme's name is the application id, as the desktop entry names it, so
    // the window, the tray and the menu show one icon even if a theme redraws it.
    return QIcon::fromTheme(QStringLiteral("example.glimmerly.Quaylet"), BundledIcon());
}

} // namespace quaylet
