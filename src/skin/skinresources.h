#pragma once

namespace quaylet {

// Registers the skin pictures and masks (":/skins/...") with Qt's resource
// system. They are compiled into the static skin library, whose resource
// object no linker pulls in by itself, so whatever loads a skin calls this
// first. Safe to call from any thread, any number of times.
void RegisterSkinResources();

} // namespace quaylet
