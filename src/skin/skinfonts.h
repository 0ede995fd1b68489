#pragma once

// The skins' labels are set in "Tahoma". Linux desktops rarely have it, so
// the copies that Debian ships in fonts-wine are registered with the
// application when the system has none. Dialogs call this before building
// their labels.

#include <QString>

namespace quaylet {

inline constexpr const char* kSkinFontFace = "Tahoma";

// Window thread, after the application object exists. True when the skin's
// face is available afterwards. Calling it again does no further work.
bool EnsureSkinFonts();

} // namespace quaylet
