// The mask decides the window's outline and every control's box.

#include "skin/skinlayout.h"

#include "skinfixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quaylet {
namespace {

using test::BodyMask;
using test::CutCurvedCorners;
using test::FillBox;
using test::kTransparent;

// (left, top)-(right, bottom), right and bottom exclusive, as the masks are described.
QRect Box(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

struct LayoutCase {
    std::string name;
    int width;
    int height;
    std::function<void(QImage&)> draw;
    std::vector<QRgb> elements;
    std::vector<std::optional<QRect>> boxes;
    int windowWidth;
};

TEST(BuildSkinLayout, ElementBoxes)
{
    const QRgb green = qRgb(16, 128, 16);
    const QRgb preview = qRgb(128, 128, 255);
    const QRgb userName = qRgb(128, 128, 64);
    const QRgb link = qRgb(0, 255, 0);
    const std::vector<LayoutCase> cases = {
        {"solid rectangle",
         640,
         480,
         [&](QImage& m) { FillBox(m, 524, 438, 613, 470, qRgb(128, 0, 128)); },
         {qRgb(128, 0, 128)},
         {Box(524, 438, 613, 470)},
         640},
        {"near colours around an area count as body",
         362,
         219,
         [&](QImage& m) {
             FillBox(m, 86, 147, 273, 177, qRgb(15, 127, 17));
             FillBox(m, 87, 148, 272, 176, green);
             m.setPixel(272, 160, qRgb(16, 128, 17));
             m.setPixel(100, 147, qRgb(17, 128, 16));
         },
         {green},
         {Box(87, 148, 272, 176)},
         360},
        {"a hole does not shrink the box around it",
         640,
         480,
         [&](QImage& m) {
             FillBox(m, 2, 53, 637, 420, preview);
             FillBox(m, 61, 63, 605, 89, userName);
         },
         {userName, preview},
         {Box(61, 63, 605, 89), Box(2, 53, 637, 420)},
         640},
        {"the first element of a colour takes every pixel",
         640,
         480,
         [&](QImage& m) { FillBox(m, 2, 53, 637, 420, preview); },
         {preview, preview},
         {Box(2, 53, 637, 420), std::nullopt},
         640},
        {"an absent colour gives no box", 640, 480, [](QImage&) {}, {qRgb(255, 255, 0)}, {std::nullopt}, 640},
        {"a short first column still sets the left edge",
         640,
         480,
         [&](QImage& m) {
             FillBox(m, 187, 257, 456, 306, link);
             FillBox(m, 186, 285, 187, 297, link);
         },
         {link},
         {Box(186, 257, 456, 306)},
         640},
        {"columns past the width rule are not read",
         369,
         260,
         [&](QImage& m) {
             FillBox(m, 368, 0, 369, 260, qRgb(0, 204, 255));
             FillBox(m, 360, 10, 369, 20, qRgb(12, 41, 96));
         },
         {qRgb(0, 204, 255), qRgb(12, 41, 96)},
         {std::nullopt, Box(360, 10, 368, 20)},
         368},
        {"the transparent colour is never an element",
         100,
         40,
         [&](QImage& m) { FillBox(m, 10, 10, 20, 20, kTransparent); },
         {kTransparent},
         {std::nullopt},
         100},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        QImage mask = BodyMask(c.width, c.height);
        c.draw(mask);
        const std::optional<SkinLayout> layout = BuildSkinLayout(mask, kTransparent, c.elements);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(layout->width, c.windowWidth);
        EXPECT_EQ(layout->height, c.height);
        EXPECT_EQ(layout->boxes, c.boxes);
    }
}

TEST(BuildSkinLayout, CurvedCornersAreCutFromTheWindow)
{
    QImage mask = BodyMask(640, 480);
    CutCurvedCorners(mask);
    const std::optional<SkinLayout> layout = BuildSkinLayout(mask, kTransparent, {});
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->window.boundingRect(), QRect(0, 0, 640, 480));

    struct Probe {
        int x, y;
        bool inside;
    };
    const std::vector<Probe> topLeft = {{0, 0, false}, {3, 0, false}, {4, 0, true}, {1, 1, false},
                                        {2, 1, true},  {0, 2, false}, {1, 2, true}, {0, 3, false},
                                        {0, 4, true},  {5, 5, true}};
    for (const Probe& p : topLeft) {
        // The same probe mirrored into each corner.
        for (const auto& [x, y] : {std::pair{p.x, p.y}, std::pair{639 - p.x, p.y}, std::pair{p.x, 479 - p.y},
                                   std::pair{639 - p.x, 479 - p.y}}) {
            EXPECT_EQ(layout->window.contains(QPoint(x, y)), p.inside) << x << "," << y;
        }
    }
    // Row runs with equal rows joined, not one square per pixel: rows 0, 1, 2-3,
    // 4-475, 476-477, 478 and 479.
    EXPECT_EQ(layout->window.rectCount(), 7);
}

TEST(BuildSkinLayout, RegionMatchesThePixelsOfAnIrregularMask)
{
    // Transparent pixels scattered so that rows have several runs, some equal, some not.
    QImage mask = BodyMask(24, 9);
    const std::vector<QPoint> cut = {{0, 0},  {5, 0},  {6, 0},  {23, 0}, {5, 1}, {6, 1},  {0, 3},
                                     {11, 3}, {12, 4}, {13, 4}, {20, 8}, {0, 8}, {22, 5}, {23, 5}};
    for (const QPoint& p : cut)
        mask.setPixel(p, kTransparent);
    FillBox(mask, 3, 2, 9, 7, qRgb(1, 2, 3)); // an element's pixels stay in the window
    const std::optional<SkinLayout> layout = BuildSkinLayout(mask, kTransparent, {qRgb(1, 2, 3)});
    ASSERT_TRUE(layout.has_value());
    QRegion expected;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 24; ++x)
            if (mask.pixel(x, y) != kTransparent)
                expected += QRect(x, y, 1, 1);
    EXPECT_EQ(layout->window, expected);
    EXPECT_EQ(layout->boxes, (std::vector<std::optional<QRect>>{Box(3, 2, 9, 7)}));
}

TEST(BuildSkinLayout, NoMaskGivesNoLayout)
{
    EXPECT_FALSE(BuildSkinLayout(QImage(), kTransparent, {qRgb(1, 2, 3)}).has_value());
}

TEST(MaskWidthUsed, CutsToAMultipleOfFour)
{
    EXPECT_EQ(MaskWidthUsed(369), 368);
    EXPECT_EQ(MaskWidthUsed(362), 360);
    EXPECT_EQ(MaskWidthUsed(640), 640);
    EXPECT_EQ(MaskWidthUsed(3), 0);
}

} // namespace
} // namespace quaylet
