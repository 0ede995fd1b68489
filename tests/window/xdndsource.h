#pragma once

// The dragging side of the X drag-and-drop protocol, as a file manager plays
// it: it offers "text/uri-list" to another client's window, moves over it,
// drops, and hands over the list when the window asks for it.

#include <string>

namespace quaylet::test {

// The top-level window of process pid that takes drops and shows at least
// minWidth pixels across; 0 when there is none (yet).
unsigned long FindDropWindow(long pid, int minWidth);

// Drops uriList on the middle of window; true once the window has accepted
// it and said it is finished. why: what went wrong otherwise.
bool DropUriList(unsigned long window, const std::string& uriList, std::string& why);

} // namespace quaylet::test
