#pragma once

// Pictures for the drop window's preview: decoded at the size of the box they
// are shown in, never at full size.
//
// Threads: any; nothing is shared between calls. Meant for a thread other
// than the window's, where a large photo's decoding cannot stall drawing.

#include <QImage>

#include <string>

namespace quaylet {

// The photo (or still frame) at `path` scaled into boxWidth x boxHeight pixels
// as it is decoded; a picture that fits already is decoded as it is (the
// preview enlarges it when drawing). Null when the file is no image that photo
// preparation reads, or lies beyond its limits.
QImage DecodePreviewPicture(const std::string& path, int boxWidth, int boxHeight);

} // namespace quaylet
