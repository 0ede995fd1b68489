#pragma once

// Writing decoded pixels as JPEG, with the choices that trade bytes against
// picture and time.

#include "media/imageprep_codec.h"

#include <QImage>

#include <string>

namespace quaylet::imageprep {

struct JpegEncoding {
    int quality = 90;
    // 4:2:0: one chroma sample per 2 x 2 pixels; otherwise one per pixel.
    bool subsampledChroma = false;
    // Huffman tables fitted to this picture, at the cost of a second pass over
    // its coefficients; the pixels are the same either way.
    bool optimisedTables = false;
    bool progressive = false; // implies fitted tables
};

// Encodes an opaque Format_RGB32 image. Sides that are not whole blocks (of
// 16 pixels with 4:2:0) are completed by repeating the edge, as decoders expect.
bool EncodeJpeg(const QImage& image, const JpegEncoding& encoding, Bytes& out, std::string& error);

} // namespace quaylet::imageprep
