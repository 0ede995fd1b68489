#pragma once

// Reading a skin's layout from its mask: which pixels the window keeps and
// where each element's control goes. A pure function of the mask, so that the
// outline and the boxes can be checked without any window.

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QRgb>

#include <optional>
#include <vector>

namespace quaylet {

// A colour as red, green and blue only; alpha never takes part in a match.
constexpr QRgb MaskRgb(QRgb colour)
{
    return colour & 0x00FFFFFFu;
}

struct SkinLayout {
    // Width read from the mask: the largest multiple of 4 not above its width
    // (columns at and beyond it are not part of the window), and its height.
    int width = 0;
    int height = 0;
    // Every pixel of the width x height area whose colour is not the
    // transparent one.
    QRegion window;
    // Per registered element, in registration order: the bounding box of the
    // pixels of exactly its colour, or none when it got no pixel (its colour
    // does not occur, or an earlier element has the same colour).
    std::vector<std::optional<QRect>> boxes;
};

// The mask's usable width (369 gives 368, 362 gives 360).
constexpr int MaskWidthUsed(int width)
{
    return width - width % 4;
}

// Returns no layout when the mask is null. Colours are compared exactly,
// byte for byte.
std::optional<SkinLayout> BuildSkinLayout(const QImage& mask, QRgb transparent,
                                          const std::vector<QRgb>& elementColours);

} // namespace quaylet
