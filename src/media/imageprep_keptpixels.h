#pragma once

// When RotateToUpright turns a large JPEG for a known box, it also scales the
// photo's pixels, unturned, to that box as it decodes them beside the turn.
// The MakeUploadImage of the upright copy for the same box then only turns
// these few pixels: the photo is decoded once, and its full-size pixels are
// never held. One entry, for the last copy, process-wide.
//
// Threads: guarded by a mutex of its own, although the two operations that
// use it run on one thread at a time.

#include "media/imageprep.h"

#include <QImage>

#include <string>

namespace quaylet::imageprep {

// Keeps `unturned`, the copy's source scaled for a box, for the copy at
// `copyPath` as it stands now (its size `copySize`, turned for `orientation`),
// in place of whatever was kept before.
void KeepUprightPixels(const std::string& copyPath, ImageSize copySize, QImage unturned, int orientation);

// Lets go of whatever is kept.
void DropUprightPixels();

// The pixels kept for this very file, unchanged since, turned upright, when
// the box gives the copy exactly their size; null otherwise. Whatever was kept
// goes either way.
QImage TakeUprightPixels(const std::string& path, int boxWidth, int boxHeight);

} // namespace quaylet::imageprep
