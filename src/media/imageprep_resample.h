#pragma once

// Scaling of the photo's pixels to the size that is uploaded. Qt's smooth
// scaling averages areas, which blurs the detail a viewer looks for and lets
// fine patterns alias; a windowed-sinc filter keeps what the smaller size can
// show and drops what it cannot.

#include <QImage>

namespace quaylet::imageprep {

// `image` scaled to exactly width x height (both at least 1) with a separable
// Lanczos filter of three lobes, in Format_RGB32 (any alpha is dropped). A
// large reduction first averages whole blocks of pixels, down to two to four
// times the target, which costs little and changes the result less than the
// JPEG format's own reduced decoding does. A null image for an empty source or
// size, or when memory runs out.
QImage ResampleImage(const QImage& image, int width, int height);

} // namespace quaylet::imageprep
