// The scaler on small drawn pictures: what a flat area, a hard edge and a
// pattern finer than the result can hold become.

#include "media/imageprep_resample.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <functional>

namespace quaylet::imageprep {
namespace {

QImage drawn(int width, int height, const std::function<int(int, int)>& grey)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int g = grey(x, y);
            image.setPixel(x, y, qRgb(g, g, g));
        }
    return image;
}

struct Sizes {
    int fromWidth, fromHeight, toWidth, toHeight;
};

// Sizes that reach both the plain filter and the block average, single
// pixels, odd sizes and an enlargement.
constexpr Sizes kSizes[] = {
    {97, 61, 1, 1}, {97, 61, 7, 5}, {64, 48, 32, 24}, {640, 31, 13, 30}, {1000, 9, 3, 1},
    {1, 1, 5, 3},   {3, 3, 7, 5},   {2, 9, 1, 2},     {301, 203, 100, 67},
};

TEST(ResampleImage, FlatColourStaysExactlyFlatAtEverySize)
{
    const QRgb colour = qRgb(200, 31, 255);
    for (const Sizes& s : kSizes) {
        QImage source(s.fromWidth, s.fromHeight, QImage::Format_ARGB32);
        source.fill(colour);
        const QImage result = ResampleImage(source, s.toWidth, s.toHeight);
        SCOPED_TRACE(testing::Message() << s.fromWidth << "x" << s.fromHeight << " to " << s.toWidth << "x"
                                        << s.toHeight);
        ASSERT_EQ(result.format(), QImage::Format_RGB32);
        ASSERT_EQ(result.size(), QSize(s.toWidth, s.toHeight));
        for (int y = 0; y < result.height(); ++y)
            for (int x = 0; x < result.width(); ++x)
                ASSERT_EQ(result.pixel(x, y), colour) << "at " << x << "," << y;
    }
}

TEST(ResampleImage, RefusesEmptySourceOrSize)
{
    EXPECT_TRUE(ResampleImage(QImage(), 4, 4).isNull());
    EXPECT_TRUE(ResampleImage(drawn(4, 4, [](int, int) { return 0; }), 0, 4).isNull());
    EXPECT_TRUE(ResampleImage(drawn(4, 4, [](int, int) { return 0; }), 4, -1).isNull());
}

// A black to white edge that falls between two result pixels: both sides are
// equally far from it, so they must be mirror images (a shift of half a pixel
// shows as one darker or brighter than the other), and pixels well away from
// it keep the pure values.
TEST(ResampleImage, HardEdgeStaysWhereItWas)
{
    struct Case {
        int from, edge, to; // result pixel `to * edge / from` is the first past the edge
    };
    for (const Case c : {Case{400, 200, 100}, Case{400, 200, 50}, Case{300, 120, 75}, Case{99, 33, 30},
                         Case{1600, 800, 200}}) {
        SCOPED_TRACE(testing::Message() << c.from << " with the edge at " << c.edge << " to " << c.to);
        const int boundary = c.to * c.edge / c.from;
        for (const bool across : {true, false}) {
            const auto edge = [&](int x, int y) { return (across ? x : y) < c.edge ? 0 : 255; };
            const QImage result = across ? ResampleImage(drawn(c.from, 3, edge), c.to, 3)
                                         : ResampleImage(drawn(3, c.from, edge), 3, c.to);
            const auto grey = [&](int i) { return qGreen(across ? result.pixel(i, 1) : result.pixel(1, i)); };
            for (int k = 1; k <= 4 && boundary - k >= 0 && boundary + k - 1 < c.to; ++k)
                EXPECT_NEAR(grey(boundary - k) + grey(boundary + k - 1), 255, 1) << "pair " << k;
            EXPECT_LT(grey(boundary - 1), 128);
            EXPECT_GT(grey(boundary), 127);
            EXPECT_EQ(grey(0), 0);
            EXPECT_EQ(grey(c.to - 1), 255);
        }
    }
}

// Stripes finer than the result's pixels cannot be shown; they must come out
// as their mean grey rather than as coarser false stripes.
TEST(ResampleImage, PatternFinerThanTheResultAveragesOut)
{
    struct Case {
        int period, from, to;
    };
    for (const Case c : {Case{2, 300, 100}, Case{2, 301, 97}, Case{3, 300, 150}, Case{2, 900, 200}, Case{2, 1000, 99}, Case{3, 1000, 99}}) {
        SCOPED_TRACE(testing::Message() << "period " << c.period << ", " << c.from << " to " << c.to);
        const auto stripes = [&](int x, int) { return x % c.period < c.period / 2.0 ? 255 : 0; };
        const double mean = 255.0 * ((c.period + 1) / 2) / c.period;
        const QImage result = ResampleImage(drawn(c.from, 2, stripes), c.to, 2);
        // The ends see the pattern cut off by the picture's edge.
        for (int x = 3; x < c.to - 3; ++x)
            EXPECT_NEAR(qGreen(result.pixel(x, 0)), mean, 8) << "at " << x;
    }
}

} // namespace
} // namespace quaylet::imageprep
