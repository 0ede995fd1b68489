#pragma once

// The metadata of an upright copy as the markers that the coefficient turn
// writes while it encodes, rather than by rewriting the whole file afterwards.

#include "media/imageprep_codec.h"
#include "media/imageprep_jpegturn.h"

#include <vector>

namespace quaylet::imageprep {

// The EXIF marker (and the XMP one where the source has one) of the copy of a
// JPEG source, its orientation set to 1; none when they cannot be made.
std::vector<MarkerReplacement> UprightMarkerReplacements(const SourceImage& source, bool transposing);

} // namespace quaylet::imageprep
