#pragma once

// JPEG files of every layout libjpeg writes, made from a picture with libjpeg
// itself: sampling factors the usual encoders never choose, grey and CMYK,
// restart intervals, progressive and arithmetic coding.

#include <QImage>

#include <string>
#include <vector>

namespace quaylet::test {

struct JpegTestLayout {
    std::string name;
    int components = 3;          // 1 grey, 3 YCbCr, 4 CMYK
    int lumaH = 1, lumaV = 1;    // the first component's sampling; the others take 1 x 1
    int restartRows = 0;         // a restart marker every this many MCU rows
    bool progressive = false;
    bool arithmetic = false;
};

// 4:2:0, 4:2:2, 4:4:0, 4:1:1, 3 x 1, 1 x 4, grey, CMYK, restart intervals,
// progressive, arithmetic and progressive arithmetic.
std::vector<JpegTestLayout> EveryJpegLayout();

// `picture` (Format_RGB32) in the layout, at the quality; CMYK as a photo
// editor writes it (inverted, with an Adobe marker). Empty on failure.
std::string EncodeJpegLayout(const QImage& picture, const JpegTestLayout& layout, int quality = 90);

} // namespace quaylet::test
