#include "skin/fitpicture.h"

#include <gtest/gtest.h>

namespace quaylet {
namespace {

struct FitCase {
    int w, h, iw, ih;
    PictureRect expected;
};

TEST(FitPictureRectTest, FitsCentresAndShrinksTheFreeSideInStepsOfFour)
{
    const FitCase cases[] = {
        // wide picture: full width, centred vertically
        {400, 300, 1000, 500, {0, 50, 400, 250}},
        // tall picture: full height, centred horizontally
        {400, 300, 500, 1000, {125, 0, 275, 300}},
        // one row too many: the width steps down by 4 until the height fits
        {400, 300, 400, 301, {2, 2, 398, 298}},
        // square picture in a wide box takes the height
        {400, 300, 100, 100, {50, 0, 350, 300}},
        // small pictures are scaled up
        {400, 300, 40, 20, {0, 50, 400, 250}},
        // a picture without size fills the box
        {400, 300, 0, 0, {0, 0, 400, 300}},
        {400, 300, 640, 0, {0, 0, 400, 300}},
        // odd box sides lose the halves the integer centring cannot place
        {101, 51, 200, 100, {0, 0, 100, 50}},
        // a strip too thin to show keeps no width
        {10, 1, 2, 100000, {5, 0, 5, 0}},
        // a box without width ends the shrinking instead of looping
        {0, 10, 10, 10, {1, 6, -1, 4}},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " box, " << c.iw << "x" << c.ih << " image");
        const PictureRect r = FitPictureRect(c.w, c.h, c.iw, c.ih);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

} // namespace
} // namespace quaylet
