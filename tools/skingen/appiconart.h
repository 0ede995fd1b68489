#pragma once

// The client's icon, for the window, the tray and the desktop's menus: a
// rounded tile in the skin's blue with a white arrow rising out of a tray,
// "upload", readable down to 16 pixels. The pictures and the scalable drawing
// come from one set of shapes, so every size shows the same icon.

#include <QByteArray>
#include <QImage>

#include <span>

namespace quaylet::skingen {

// The sizes of the hicolor theme's picture folders that get a picture.
std::span<const int> AppIconSizes();

// The icon as a size x size picture with alpha.
QImage PaintAppIcon(int size);

// The icon as an SVG document, in a 256 x 256 view box.
QByteArray AppIconSvg();

} // namespace quaylet::skingen
