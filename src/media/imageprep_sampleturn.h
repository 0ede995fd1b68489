#pragma once

// The turn of one JPEG component whose blocks do not line up after the turn:
// a 4000 x 3000 photo with 4:2:0 sampling has 1500 chroma rows, so turned by a
// quarter its chroma columns start half a block into the source's blocks.
// Such a component is taken back to samples (inverse DCT of the dequantised
// coefficients), turned there, and transformed and quantised again; the other
// components keep their coefficients. The turned rows are made a band at a
// time, as the encoder asks for them, from the strip of source blocks they
// come from: neither the component's samples nor its turned blocks are ever
// held whole.

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

#include <functional>
#include <vector>

namespace quaylet::imageprep {

// Reads the source block at (row, col), quantised, in natural order.
using BlockReader = std::function<void(int row, int col, JCOEF* out)>;

struct SampleTurnSource {
    BlockReader read;
    int sampleWidth = 0; // samples that belong to the picture
    int sampleHeight = 0;
    const UINT16* quantisation = nullptr; // the source's table, natural order
};

class SampleTurner final {
public:
    // orientation 2 to 8, as EXIF defines them; the turned component is
    // `widthInBlocks` wide and quantised with `quantisation` (natural order).
    SampleTurner(SampleTurnSource source, int orientation, const UINT16* quantisation, int widthInBlocks);
    SampleTurner(const SampleTurner&) = delete;
    SampleTurner& operator=(const SampleTurner&) = delete;

    // The turned block rows [first, first + count) into rows[0 .. count), each
    // widthInBlocks blocks. Samples past the picture's edge repeat the edge,
    // so rows below the picture may be asked for too. Throws std::bad_alloc
    // when memory runs out.
    void turnRows(int first, int count, JBLOCKROW* rows);

private:
    SampleTurnSource m_source;
    int m_orientation = 1;
    const UINT16* m_quantisation = nullptr;
    int m_widthInBlocks = 0;
    int m_turnedWidth = 0; // samples
    int m_turnedHeight = 0;
    std::vector<float> m_strip; // the source samples of one band, level-shifted around 0
    std::vector<std::ptrdiff_t> m_columnTerm;
    std::vector<std::ptrdiff_t> m_rowTerm;
};

} // namespace quaylet::imageprep
