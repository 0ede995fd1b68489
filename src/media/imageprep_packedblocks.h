#pragma once

// A JPEG component's quantised DCT blocks, kept packed while a photo is turned.
// Turning by a quarter needs every block before the first turned row can be
// written, and libjpeg keeps them at 128 bytes each: 36 MB for a
// twelve-megapixel photo. Most coefficients of a photo are zero and most of
// the rest are small, so a block is kept as a mask of its non-zero
// coefficients and their values, a byte each where they fit; a photo's
// blocks take about a quarter of the room.

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace quaylet::imageprep {

class PackedBlocks final {
public:
    // Throws std::bad_alloc when memory runs out.
    PackedBlocks(int widthInBlocks, int heightInBlocks);
    PackedBlocks(const PackedBlocks&) = delete;
    PackedBlocks& operator=(const PackedBlocks&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }

    // Keeps the blocks of one row (width() of them). A row is kept once; a
    // later call for the same row replaces it, but the room it took is not
    // given back. Throws std::bad_alloc when memory runs out.
    void keepRow(int row, const JBLOCK* blocks);

    // The block at (row, col), in natural order; all zeros for a row never
    // kept.
    void read(int row, int col, JCOEF* out) const;

private:
    std::uint8_t* room(std::size_t bytes);

    int m_width = 0;
    int m_height = 0;
    // Blocks are packed into chunks that never move, so that growing never
    // copies what is kept. Each block's place is chunk << kChunkBits | offset.
    std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
    std::size_t m_used = 0; // bytes used in the last chunk
    std::vector<std::uint32_t> m_places; // per block; kNowhere for a zero block
};

} // namespace quaylet::imageprep
