#pragma once

// JPEG decoding on libjpeg, which reads every layout the format allows. A
// photo to be scaled is decoded a few rows at a time straight into the
// scaler: it is prepared without ever holding its full-size pixels, which for
// a twelve-megapixel photo are 48 MB. Decoding stops ("stopped") once the
// thread's work-stop check asks for it.

#include "media/imageprep_codec.h"

#include <QImage>

#include <string>

namespace quaylet::imageprep {

struct JpegHeader {
    ImageSize size;
    bool cmyk = false; // CMYK or YCCK, which is not turned into RGB here
};

// The frame's size and colour space, as the decoder reads them.
bool ReadJpegHeader(const Bytes& jpeg, JpegHeader& header, std::string& error);

// `jpeg` (YCbCr or greyscale) at the smallest DCT scale (1/2, 1/4, 1/8) that
// still gives at least `atLeast` in both directions (empty: full size), as
// Format_RGB32. Data that ends early is a failure.
QImage DecodeJpeg(const Bytes& jpeg, ImageSize atLeast, std::string& error);

// `jpeg` (YCbCr or greyscale) scaled to exactly `target` (Format_RGB32). The
// decoder reduces by the largest DCT scale that keeps at least twice the
// target, the rest is ResampleImage's filter; the result equals DecodeImage
// at that scale followed by ResampleImage. Data that ends early is a failure,
// as in DecodeImage.
QImage DecodeJpegScaled(const Bytes& jpeg, ImageSize target, std::string& error);

} // namespace quaylet::imageprep
