#pragma once

// The pixel side of photo preparation: opening a source image within the
// limits, decoding (JPEG on libjpeg with DCT scaling, every other format
// through QImageReader) and turning decoded pixels. Turning a JPEG in its
// coefficients is in imageprep_jpegturn.h and imageprep_perfectturn.h,
// encoding in imageprep_jpegencode.h, the files in imageprep_files.h.

#include "media/imageprep.h"
#include "media/imageprep_files.h"

#include <QImage>

#include <string>

namespace quaylet::imageprep {

// A source opened for preparation: its kind and its size from the header, and
// for a JPEG the whole file, which is decoded or turned from memory.
struct SourceImage {
    std::string path;
    bool jpeg = false;
    bool cmyk = false; // a CMYK or YCCK JPEG, which Qt's reader turns into RGB
    Bytes bytes; // JPEG only
    ImageSize size;
};

// Reads what the file is and how large it is. Refuses files that no decoder
// recognises, images larger than kMaxImagePixels or of unknown size, and JPEG
// files larger than kMaxImageFileBytes.
bool OpenSourceImage(const std::string& path, SourceImage& source, std::string& error);

// Decodes to an opaque Format_RGB32 image; transparent parts are put on white.
// A JPEG is decoded at the smallest DCT scale (1/2, 1/4, 1/8) that still gives
// at least `atLeast` in both directions; an empty `atLeast` means full size.
// A JPEG whose data ends early is a failure.
QImage DecodeImage(const SourceImage& source, ImageSize atLeast, std::string& error);

// The image scaled to exactly `target`, as DecodeImage at twice the target
// followed by ResampleImage would give it; a JPEG is scaled as it is decoded,
// without its full-size pixels in memory (other formats are decoded whole).
QImage DecodeImageScaled(const SourceImage& source, ImageSize target, std::string& error);

// The DCT scale (1, 2, 4 or 8) at which a JPEG of `size` is decoded so that the
// result is still at least `atLeast` in both directions (1 for an empty atLeast).
int JpegScaleDenominator(ImageSize size, ImageSize atLeast);

// The same turn on decoded pixels, as EXIF defines the orientation values
// (5 transpose, 7 transverse).
QImage TurnUpright(const QImage& image, int orientation);

} // namespace quaylet::imageprep
