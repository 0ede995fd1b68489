#pragma once

// A JPEG turned losslessly by libjpeg-turbo's transformer.

#include "media/imageprep_files.h"

#include <string>

namespace quaylet::imageprep {

// Turns a JPEG for an orientation of 2 to 8 in memory through libjpeg-turbo's
// own transformer, keeping its markers: for the layouts TurnJpegToFile does
// not handle (CMYK). Only a perfect turn is made: false when the block
// structure does not allow one (partial blocks at an edge that moves) or the
// data is damaged. Cannot be stopped half way.
bool TurnJpegPerfectOnly(const Bytes& jpeg, int orientation, Bytes& out, std::string& error);

} // namespace quaylet::imageprep
