#include "window/workarea.h"

#include <gtest/gtest.h>

namespace quaylet {
namespace {

TEST(KeptInsideWorkArea, PullsTheRightAndBottomEdgesBackAndLeavesTheRest)
{
    const QRect work(0, 0, 1280, 984); // a task bar of 40 pixels below
    struct Case {
        QRect window;
        QPoint expected;
    };
    const Case cases[] = {
        {{100, 200, 640, 480}, {100, 200}},   // inside: stays
        {{900, 200, 640, 480}, {640, 200}},   // beyond the right edge
        {{100, 700, 640, 480}, {100, 504}},   // beyond the bottom (into the task bar)
        {{2000, 1500, 640, 480}, {640, 504}}, // placed on a larger screen
        {{-50, -20, 640, 480}, {-50, -20}},   // left and top are the user's
    };
    for (const Case& c : cases) {
        const QRect kept = KeptInsideWorkArea(c.window, work);
        EXPECT_EQ(kept.topLeft(), c.expected) << c.window.x() << "," << c.window.y();
        EXPECT_EQ(kept.size(), c.window.size());
    }
}

} // namespace
} // namespace quaylet
