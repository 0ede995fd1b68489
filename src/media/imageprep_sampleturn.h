#pragma once

// The turn of one JPEG component whose blocks do not line up after the turn:
// a 4000 x 3000 photo with 4:2:0 sampling has 1500 chroma rows, so turned by a
// quarter its chroma columns start half a block into the source's blocks.
// Such a component is taken back to samples (inverse DCT of the dequantised
// coefficients), turned there, and transformed and quantised again; the other
// components keep their coefficients.

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

#include <vector>

namespace quaylet::imageprep {

struct SampleTurnSource {
    const std::vector<JBLOCKROW>* rows = nullptr; // the component's block rows
    int sampleWidth = 0;                          // samples that belong to the picture
    int sampleHeight = 0;
    const UINT16* quantisation = nullptr; // the source's table, natural order
};

// The turned component's blocks, row after row, quantised with `quantisation`
// (natural order). `rowCount` rows are written, at least the blocks that cover
// the turned samples; the samples past the picture's edge repeat the edge.
struct SampleTurnTarget {
    int widthInBlocks = 0;
    int rowCount = 0;
    const UINT16* quantisation = nullptr;
    std::vector<JCOEF> coefficients;
};

// orientation 2 to 8, as EXIF defines them.
void TurnComponentThroughSamples(const SampleTurnSource& source, int orientation, SampleTurnTarget& target);

} // namespace quaylet::imageprep
