#pragma once

// A JPEG turned in its coefficients: they are decoded once, kept packed, and
// fed turned to the encoder block row by block row, which writes the copy
// straight to its file.

#include "media/imageprep_codec.h"

#include <string>
#include <vector>

namespace quaylet::imageprep {

// Turns `jpeg` for an orientation of 2 to 8 and writes it, markers kept, to
// `turned`, an open file that the caller finishes. Each component keeps its
// coefficients, turned, when its blocks line up after the turn; one with
// partial blocks at an edge that moves is turned through its samples and
// quantised again with steps of 1. False, and the file is to be discarded,
// when a subsampled picture has an odd side that moves (its colours would
// shift by a pixel), the JPEG uses a colour space that is not turned into RGB
// here (CMYK), the data is damaged (including data that ends early) or the
// file cannot be written. `otherLayout` tells the refusals of a layout not
// handled here (CMYK) apart, for which TurnJpegPerfectOnly is worth a try.
//
// `replacements` swaps markers: a source APPn marker whose data starts with a
// replacement's prefix is written with the replacement's data instead (a
// replacement that finds no such marker is added after the others).
struct MarkerReplacement {
    int marker = 0;      // e.g. JPEG APP1 = 0xE1
    std::string prefix;  // bytes the marker's data starts with
    Bytes data;
};
bool TurnJpegToFile(const Bytes& jpeg, int orientation, OutputFile& turned, std::string& error,
                    bool* otherLayout = nullptr, const std::vector<MarkerReplacement>& replacements = {});

} // namespace quaylet::imageprep
