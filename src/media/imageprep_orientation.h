#pragma once

// What an EXIF orientation value (2 to 8) does to a picture, for every turn
// of this library: of pixels, of a component's samples and of its blocks.

namespace quaylet::imageprep {

// Orientations 5 to 8 swap width and height.
inline bool IsTransposing(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

struct SourcePoint {
    int x = 0;
    int y = 0;
};

// Where point (x, y) of the turned picture comes from in a source of
// width x height points (pixels, samples or blocks).
inline SourcePoint SourceOf(int orientation, int x, int y, int width, int height)
{
    switch (orientation) {
    case 2: return {width - 1 - x, y};
    case 3: return {width - 1 - x, height - 1 - y};
    case 4: return {x, height - 1 - y};
    case 5: return {y, x};
    case 6: return {y, height - 1 - x};
    case 7: return {width - 1 - y, height - 1 - x};
    default: return {width - 1 - y, x}; // 8
    }
}

} // namespace quaylet::imageprep
