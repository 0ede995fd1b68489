#pragma once

// The client's icon, for the window and the tray: drawn rather than loaded,
// so it is sharp at every size the desktop asks for.

#include <QIcon>

namespace quaylet {

QIcon AppIcon();

} // namespace quaylet
