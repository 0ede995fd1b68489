#pragma once

// The client's icon, for the window and the tray: the desktop's icon theme
// when the client is installed, else the same pictures built into the program.

#include <QIcon>

namespace quaylet {

QIcon AppIcon();

} // namespace quaylet
