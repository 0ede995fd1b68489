// The committed masks hold exactly the designed geometry, and the generator
// still draws them the same way.

#include "maskfacts.h"

#include "maskpainter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace quaylet::test {
namespace {

constexpr QRgb kBody = qRgb(128, 0, 0);
constexpr QRgb kTransparent = qRgb(255, 0, 0);

struct Area {
    QRgb colour;
    Box box;
    int pixels; // the box's area less what another element or the body covers inside it
};

struct ExpectedMask {
    int id;
    int width, height;
    bool curvedCorners;
    std::vector<Area> areas;
};

int Solid(const Box& b)
{
    return (b.right - b.left) * (b.bottom - b.top);
}

Area SolidArea(QRgb colour, Box box)
{
    return {colour, box, Solid(box)};
}

std::vector<ExpectedMask> Designed()
{
    const std::vector<Area> signIn{SolidArea(qRgb(16, 255, 16), {144, 102, 296, 124}),
                                   SolidArea(qRgb(124, 230, 124), {144, 130, 296, 152}),
                                   SolidArea(qRgb(16, 128, 16), {96, 162, 275, 180}),
                                   SolidArea(qRgb(0, 204, 255), {74, 79, 296, 100}),
                                   SolidArea(qRgb(255, 0, 255), {130, 202, 238, 237}),
                                   SolidArea(qRgb(12, 41, 96), {345, 9, 359, 24})};
    const Box userName{61, 63, 605, 89};
    const Box preview{2, 53, 637, 420};
    const Box link{186, 257, 456, 306};
    return {
        {187,
         640,
         480,
         true,
         {SolidArea(qRgb(128, 0, 128), {524, 438, 613, 470}),
          SolidArea(qRgb(0, 255, 128), {595, 10, 624, 42}),
          SolidArea(qRgb(0, 255, 255), {563, 11, 592, 41}),
          SolidArea(qRgb(255, 255, 0), {84, 11, 148, 42}),
          SolidArea(qRgb(255, 128, 64), {19, 12, 72, 40}),
          SolidArea(qRgb(255, 0, 255), {16, 436, 127, 467}),
          SolidArea(qRgb(255, 255, 128), {162, 439, 496, 468}),
          SolidArea(qRgb(128, 128, 64), userName),
          {qRgb(128, 128, 255), preview, Solid(preview) - Solid(userName)},
          SolidArea(qRgb(64, 64, 64), {2, 420, 637, 427})}},
        {189, 369, 260, false, signIn},
        {226, 369, 260, false, signIn},
        {191,
         362,
         219,
         false,
         {SolidArea(qRgb(16, 128, 16), {87, 148, 272, 176}),
          SolidArea(qRgb(188, 190, 192), {328, 3, 359, 32})}},
        // The link's leftmost column carries the colour in rows 285 to 296 only.
        {193,
         640,
         480,
         true,
         {{qRgb(0, 255, 0), link, Solid(link) - (link.bottom - link.top) + (296 - 285 + 1)},
          SolidArea(qRgb(0, 255, 255), {220, 445, 421, 463}),
          SolidArea(qRgb(255, 255, 0), {598, 10, 628, 41})}},
    };
}

// Rows of 4, 2, 1 and 1 pixels in each corner, mirrored.
std::set<std::pair<int, int>> CornerPixels(int w, int h)
{
    std::set<std::pair<int, int>> pixels;
    const int run[4] = {4, 2, 1, 1};
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < run[row]; ++i) {
            pixels.insert({i, row});
            pixels.insert({w - 1 - i, row});
            pixels.insert({i, h - 1 - row});
            pixels.insert({w - 1 - i, h - 1 - row});
        }
    }
    return pixels;
}

// Within a few units of the colour on every channel, without being it.
bool IsNear(QRgb colour, QRgb to)
{
    return colour != to && std::abs(qRed(colour) - qRed(to)) <= 2 &&
           std::abs(qGreen(colour) - qGreen(to)) <= 2 && std::abs(qBlue(colour) - qBlue(to)) <= 2;
}

// Pixels of the box that carry a near colour of the area's own (edge smoothing in
// the about mask): they count as body but take no part of the area's design.
int NearInside(const QImage& mask, const Box& box, QRgb colour)
{
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            n += IsNear(mask.pixel(x, y) | 0xff000000u, colour) ? 1 : 0;
        }
    }
    return n;
}

TEST(SkinMasks, HoldExactlyTheDesignedColoursBoxesAndCorners)
{
    for (const ExpectedMask& want : Designed()) {
        SCOPED_TRACE("mask " + std::to_string(want.id));
        const QImage mask = LoadSkinResource(want.id);
        ASSERT_FALSE(mask.isNull());
        ASSERT_EQ(mask.size(), QSize(want.width, want.height));
        std::map<QRgb, ColourFacts> facts = SurveyColours(mask);

        for (const Area& area : want.areas) {
            SCOPED_TRACE(RgbText(area.colour));
            ASSERT_EQ(facts.count(area.colour), 1u);
            EXPECT_EQ(facts[area.colour].box, area.box);
            EXPECT_EQ(facts[area.colour].pixels + NearInside(mask, area.box, area.colour), area.pixels);
            facts.erase(area.colour);
        }

        const std::set<std::pair<int, int>> corners =
            want.curvedCorners ? CornerPixels(want.width, want.height) : std::set<std::pair<int, int>>{};
        EXPECT_EQ(PixelsOf(mask, kTransparent), corners);
        facts.erase(kTransparent);

        // Whatever is left is body: the body colour, and near colours only in the about mask.
        ASSERT_EQ(facts.count(kBody), 1u);
        facts.erase(kBody);
        for (const auto& [colour, f] : facts) {
            SCOPED_TRACE(RgbText(colour));
            EXPECT_EQ(want.id, 191);
            EXPECT_TRUE(IsNear(colour, kBody) || IsNear(colour, qRgb(16, 128, 16)));
        }
    }
}

TEST(SkinMasks, AboutLabelIsFramedByNearColoursThatCountAsBody)
{
    const QImage mask = LoadSkinResource(191);
    ASSERT_FALSE(mask.isNull());
    const QRgb label = qRgb(16, 128, 16);
    // All round the label's exact box, one pixel out, and at points on its own edge.
    for (const auto& [x, y] :
         {std::pair{86, 147}, {150, 147}, {272, 176}, {86, 160}, {272, 150}, {150, 176}}) {
        SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
        EXPECT_TRUE(IsNear(mask.pixel(x, y) | 0xff000000u, label));
    }
    int nearOnEdge = 0;
    for (int x = 87; x < 272; ++x) {
        nearOnEdge += IsNear(mask.pixel(x, 148) | 0xff000000u, label) ? 1 : 0;
    }
    EXPECT_GT(nearOnEdge, 0);
    int nearOnBorder = 0;
    for (int x = 0; x < mask.width(); ++x) {
        nearOnBorder += IsNear(mask.pixel(x, 0) | 0xff000000u, kBody) ? 1 : 0;
    }
    EXPECT_GT(nearOnBorder, 0);
}

TEST(SkinMasks, SignInMasksOfBothModesAreIdentical)
{
    const QImage signIn = LoadSkinResource(189);
    ASSERT_FALSE(signIn.isNull());
    EXPECT_EQ(signIn, LoadSkinResource(226));
}

TEST(SkinMasks, RedrawnMasksEqualTheCommittedOnes)
{
    for (int id : skingen::MaskIds()) {
        SCOPED_TRACE("mask " + std::to_string(id));
        const QImage committed = LoadSkinResource(id);
        const QImage redrawn = skingen::PaintMask(id).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(committed.isNull());
        ASSERT_EQ(redrawn.size(), committed.size());
        int differing = 0;
        for (int y = 0; y < committed.height(); ++y) {
            for (int x = 0; x < committed.width(); ++x) {
                if (committed.pixel(x, y) != redrawn.pixel(x, y) && differing++ == 0) {
                    ADD_FAILURE() << "first difference at (" << x << "," << y << "): committed "
                                  << RgbText(committed.pixel(x, y)) << ", redrawn "
                                  << RgbText(redrawn.pixel(x, y));
                }
            }
        }
        EXPECT_EQ(differing, 0);
    }
}

} // namespace
} // namespace quaylet::test
