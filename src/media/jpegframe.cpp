#include "media/jpegframe.h"

#include <algorithm>

namespace quaylet::imageprep {

namespace {

constexpr unsigned char kStartOfScan = 0xDA;

bool isFrameMarker(unsigned char marker)
{
    // SOF0..SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int64_t ceilDiv(int64_t a, int64_t b)
{
    return (a + b - 1) / b;
}

// SOFn payload: precision, height, width, component count, then per
// component its id, sampling factors (h << 4 | v) and table.
std::optional<JpegFrame> parseFrame(unsigned char marker, const unsigned char* p, std::size_t size)
{
    if (size < 6)
        return std::nullopt;
    JpegFrame frame;
    frame.arithmetic = marker >= 0xC9;
    frame.height = p[1] << 8 | p[2];
    frame.width = p[3] << 8 | p[4];
    const int components = p[5];
    if (components == 0 || size < 6 + 3 * static_cast<std::size_t>(components))
        return std::nullopt;
    int hMax = 1, vMax = 1;
    for (int i = 0; i < components; ++i) {
        const int h = p[7 + 3 * i] >> 4, v = p[7 + 3 * i] & 0x0F;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            return std::nullopt;
        hMax = std::max(hMax, h);
        vMax = std::max(vMax, v);
    }
    for (int i = 0; i < components; ++i) {
        const int h = p[7 + 3 * i] >> 4, v = p[7 + 3 * i] & 0x0F;
        const int64_t columns = ceilDiv(ceilDiv(int64_t{frame.width} * h, hMax), 8);
        const int64_t rows = ceilDiv(ceilDiv(int64_t{frame.height} * v, vMax), 8);
        frame.blocks += columns * rows;
    }
    return frame;
}

} // namespace

std::optional<JpegFrame> ReadJpegFrame(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return std::nullopt;
    std::size_t pos = 2;
    while (pos < bytes.size()) {
        if (bytes[pos] != 0xFF)
            return std::nullopt;
        while (pos < bytes.size() && bytes[pos] == 0xFF)
            ++pos; // fill bytes
        if (pos + 2 >= bytes.size())
            return std::nullopt;
        const unsigned char marker = bytes[pos];
        const std::size_t length = std::size_t{bytes[pos + 1]} << 8 | bytes[pos + 2];
        if (marker == kStartOfScan || length < 2 || pos + 1 + length > bytes.size())
            return std::nullopt;
        if (isFrameMarker(marker))
            return parseFrame(marker, bytes.data() + pos + 3, length - 2);
        pos += 1 + length;
    }
    return std::nullopt;
}

int64_t MinimumJpegBytes(const JpegFrame& frame)
{
    constexpr int64_t kHuffmanBlocksPerByte = 8;
    constexpr int64_t kArithmeticBlocksPerByte = 64;
    return ceilDiv(frame.blocks, frame.arithmetic ? kArithmeticBlocksPerByte : kHuffmanBlocksPerByte);
}

} // namespace quaylet::imageprep
