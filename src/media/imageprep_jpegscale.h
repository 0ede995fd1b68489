#pragma once

// A JPEG decoded a few rows at a time straight into the scaler: a photo is
// prepared without ever holding its full-size pixels, which for a
// twelve-megapixel photo are 48 MB.

#include "media/imageprep_codec.h"

#include <QImage>

#include <string>

namespace quaylet::imageprep {

// `jpeg` (YCbCr or greyscale) scaled to exactly `target` (Format_RGB32). The
// decoder reduces by the largest DCT scale that keeps at least twice the
// target, the rest is ResampleImage's filter; the result equals DecodeImage
// at that scale followed by ResampleImage. Data that ends early is a failure,
// as in DecodeImage.
QImage DecodeJpegScaled(const Bytes& jpeg, ImageSize target, std::string& error);

} // namespace quaylet::imageprep
