#pragma once

// The skin masks: flat colours, drawn pixel by pixel (no smoothing), because the
// skin engine compares colours byte for byte and a blended edge pixel would
// silently leave an element's area.

#include <QImage>

#include <span>

namespace quaylet::skingen {

// The body colour of every mask: neither transparent nor any element's colour.
inline constexpr QRgb kMaskBody = qRgb(128, 0, 0);

// 187, 189, 226, 191, 193.
std::span<const int> MaskIds();

// The mask with the given id, as a 24-bit image; a null image for an unknown id.
QImage PaintMask(int maskId);

} // namespace quaylet::skingen
