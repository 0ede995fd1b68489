#pragma once

// The frame header of a JPEG file, read from its bytes without a decoder: how
// the picture is coded and how many 8 x 8 blocks its components hold. A JPEG
// header costs a few bytes whatever size it claims, while the decoder sets
// aside memory for every block it claims before reading any of them; this lets
// a file that is far too short for its claimed size be refused first.

#include <cstdint>
#include <optional>
#include <vector>

namespace quaylet::imageprep {

struct JpegFrame {
    bool arithmetic = false; // arithmetic-coded (SOF9 to SOF15) rather than Huffman-coded
    int width = 0;
    int height = 0;
    // The 8 x 8 blocks of all components together, partial blocks at the edges
    // counted whole.
    int64_t blocks = 0;
};

// The first frame header before the first scan; nothing when there is none
// or it is malformed.
std::optional<JpegFrame> ReadJpegFrame(const std::vector<unsigned char>& bytes);

// The fewest bytes the coded data of a frame may take before it counts as
// too short for its size. Huffman coding: every block's DC difference costs a
// code of at least one bit, in the first scan that holds it (sequential or
// progressive). Arithmetic coding has no such floor, as a run of blocks that
// are all alike costs almost nothing; yet a photo's blocks cost bits each,
// and only a picture that is flat nearly throughout comes close. An eighth of
// a bit per block refuses a file that claims many times what it holds (a few
// hundred bytes claiming 16384 x 8192, which the decoder would fill with
// zeros at the cost of most of a gigabyte and seconds), at the price of such
// a flat picture's file, which is then sent as it is.
int64_t MinimumJpegBytes(const JpegFrame& frame);

} // namespace quaylet::imageprep
