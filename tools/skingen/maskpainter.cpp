#include "maskpainter.h"

#include "skin/skintables.h"

#include <array>
#include <vector>

namespace quaylet::skingen {

namespace {

// Right and bottom exclusive, as the skin engine reports boxes.
struct Box {
    int left, top, right, bottom;
};

// An element area: the box its control's colour fills, painted in list order
// (a later area covers an earlier one).
struct Area {
    int controlId;
    Box box;
};

struct MaskLayout {
    int maskId;
    const SkinTable& (*table)();
    std::vector<Area> areas;
};

// Both sign-in masks share this geometry.
std::vector<Area> SignInAreas()
{
    return {{1012, {144, 102, 296, 124}}, {1013, {144, 130, 296, 152}}, {1038, {96, 162, 275, 180}},
            {1042, {74, 79, 296, 100}},   {1, {130, 202, 238, 237}},    {2, {345, 9, 359, 24}}};
}

const std::array<MaskLayout, 5>& Layouts()
{
    static const std::array<MaskLayout, 5> layouts{{
        {187,
         MainWindowSkin,
         {{1017, {524, 438, 613, 470}},
          {1016, {595, 10, 624, 42}},
          {1015, {563, 11, 592, 41}},
          {1018, {84, 11, 148, 42}},
          {1034, {19, 12, 72, 40}},
          {1019, {16, 436, 127, 467}},
          {1021, {162, 439, 496, 468}},
          // The account line sits inside the preview and is cut out of it.
          {1000, {2, 53, 637, 420}},
          {1026, {61, 63, 605, 89}},
          {1023, {2, 420, 637, 427}}}},
        {189, SignInSkin, SignInAreas()},
        {226, SignedInSkin, SignInAreas()},
        {191, AboutSkin, {{1041, {87, 148, 272, 176}}, {1043, {328, 3, 359, 32}}}},
        {193,
         UploadCompletedSkin,
         {{1044, {186, 257, 456, 306}}, {1045, {220, 445, 421, 463}}, {1015, {598, 10, 628, 41}}}},
    }};
    return layouts;
}

QRgb MaskColourOf(const SkinTable& table, int controlId)
{
    for (const SkinElementRow& row : table.elements) {
        if (row.controlId == controlId) {
            return row.maskColour;
        }
    }
    return kMaskBody;
}

void Fill(QImage& image, const Box& box, QRgb colour)
{
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            image.setPixel(x, y, colour);
        }
    }
}

// Eight pixels per corner (rows of 4, 2, 1 and 1), mirrored to all four corners,
// so the window's outline is gently rounded.
void CutCorners(QImage& image, QRgb transparent)
{
    constexpr std::array<int, 4> kRun{4, 2, 1, 1};
    const int w = image.width();
    const int h = image.height();
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < kRun[row]; ++i) {
            image.setPixel(i, row, transparent);
            image.setPixel(w - 1 - i, row, transparent);
            image.setPixel(i, h - 1 - row, transparent);
            image.setPixel(w - 1 - i, h - 1 - row, transparent);
        }
    }
}

// The about mask carries what a smoothed drawing leaves behind: a frame of near
// colours round the label's rectangle, a few on the label's own edge and some
// along the window's edges. The skin engine counts them all as body; keeping
// them here keeps that rule in use.
void AddNearColours(QImage& image, const Box& label)
{
    constexpr std::array<QRgb, 4> kNearLabel{qRgb(15, 127, 17), qRgb(17, 129, 15), qRgb(16, 127, 16),
                                             qRgb(15, 128, 16)};
    int n = 0;
    for (int x = label.left - 1; x <= label.right; ++x) {
        image.setPixel(x, label.top - 1, kNearLabel[n++ % kNearLabel.size()]);
        image.setPixel(x, label.bottom, kNearLabel[n++ % kNearLabel.size()]);
    }
    for (int y = label.top; y < label.bottom; ++y) {
        image.setPixel(label.left - 1, y, kNearLabel[n++ % kNearLabel.size()]);
        image.setPixel(label.right, y, kNearLabel[n++ % kNearLabel.size()]);
    }
    // On the label's edge, away from its extremes, so its box stays whole.
    for (int x : {120, 180, 240}) {
        image.setPixel(x, label.top, kNearLabel[0]);
    }
    for (int x : {110, 200}) {
        image.setPixel(x, label.bottom - 1, kNearLabel[1]);
    }
    image.setPixel(label.left, 160, kNearLabel[2]);
    image.setPixel(label.right - 1, 165, kNearLabel[3]);

    constexpr std::array<QRgb, 4> kNearBody{qRgb(127, 0, 0), qRgb(128, 1, 0), qRgb(129, 0, 1),
                                            qRgb(128, 0, 1)};
    const int last = image.height() - 1;
    const std::array<std::pair<int, int>, 9> kSpots{
        {{40, 0}, {41, 0}, {150, 0}, {300, 0}, {60, last}, {200, last}, {201, last}, {0, 100}, {359, 120}}};
    for (std::size_t i = 0; i < kSpots.size(); ++i) {
        image.setPixel(kSpots[i].first, kSpots[i].second, kNearBody[i % kNearBody.size()]);
    }
}

} // namespace

std::span<const int> MaskIds()
{
    static constexpr std::array<int, 5> kIds{187, 189, 226, 191, 193};
    return kIds;
}

QImage PaintMask(int maskId)
{
    for (const MaskLayout& layout : Layouts()) {
        if (layout.maskId != maskId) {
            continue;
        }
        const SkinTable& table = layout.table();
        QImage image(table.width, table.height, QImage::Format_RGB32);
        image.fill(kMaskBody);
        for (const Area& area : layout.areas) {
            Fill(image, area.box, MaskColourOf(table, area.controlId));
        }
        if (maskId == 191) {
            AddNearColours(image, layout.areas.front().box);
        }
        if (maskId == 193) {
            // The link's leftmost column is coloured only beside the text's middle line.
            const Box& link = layout.areas.front().box;
            for (int y = link.top; y < link.bottom; ++y) {
                if (y < 285 || y > 296) {
                    image.setPixel(link.left, y, kMaskBody);
                }
            }
        }
        if (maskId == 187 || maskId == 193) {
            CutCorners(image, table.transparent);
        }
        return image;
    }
    return {};
}

} // namespace quaylet::skingen
