#pragma once

// The pixel side of photo preparation: opening a source image within the
// limits, decoding (JPEG on libjpeg-turbo with DCT scaling, every other format
// through QImageReader), the lossless JPEG turn and writing files; encoding is
// in imageprep_jpegencode.h.

#include "media/imageprep.h"

#include <QImage>

#include <cstddef>
#include <string>
#include <vector>

namespace quaylet::imageprep {

using Bytes = std::vector<unsigned char>;

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

// Turns a JPEG for an orientation of 2 to 8 without decoding its pixels,
// keeping its markers. False when its block structure does not allow a perfect
// result (partial blocks at an edge that moves) or the data is damaged.
bool TransformJpegLosslessly(const Bytes& jpeg, int orientation, Bytes& out, std::string& error);

// The same turn on decoded pixels, as EXIF defines the orientation values
// (5 transpose, 7 transverse).
QImage TurnUpright(const QImage& image, int orientation);

// A file being written: created or replaced with mode 0600, never through a
// link, and removed again unless finish() succeeds, so that no partly written
// file is left behind.
class OutputFile final {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(std::string& error);
    bool write(const unsigned char* data, std::size_t size, std::string& error);
    // Closes the file; false, with the file removed, when its data did not
    // reach the disk.
    bool finish(std::string& error);
    // Whether a write() failed: the disk, not the data, is at fault.
    bool writeFailed() const { return m_writeFailed; }

private:
    std::string m_path;
    int m_fd = -1; // open from open() until finish()
    bool m_writeFailed = false;
};

// Creates or replaces the file (mode 0600); a partly written file is removed.
bool WriteWholeFile(const std::string& path, const Bytes& bytes, std::string& error);

// The whole of a regular file.
bool ReadWholeFile(const std::string& path, Bytes& bytes, std::string& error);

} // namespace quaylet::imageprep
