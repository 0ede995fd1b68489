// Where a dragged window lands near the edges of its screen's work area.

#include "skin/snaprule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaylet {
namespace {

struct SnapCase {
    std::string name;
    QRect available;
    QSize window;
    QPoint proposed;
    QPoint expected;
};

TEST(SnapPosition, EdgesOfTheWorkArea)
{
    const QRect screen(0, 0, 1280, 1024);
    const QRect whole = screen;
    const QRect barBottom(0, 0, 1280, 984);
    const QRect barTop(0, 30, 1280, 994);
    const QRect barLeft(60, 0, 1220, 1024);
    const QRect barRight(0, 0, 1220, 1024);
    const QSize w(640, 480);
    const std::vector<SnapCase> cases = {
        {"bottom bar: just above its snap range", barBottom, w, {300, 488}, {300, 488}},
        {"bottom bar: lowest point of its snap range", barBottom, w, {300, 489}, {300, 504}},
        {"bottom bar: near the bar", barBottom, w, {300, 495}, {300, 504}},
        {"bottom bar: highest point of its snap range", barBottom, w, {300, 519}, {300, 504}},
        {"bottom bar: just below its snap range", barBottom, w, {300, 520}, {300, 520}},
        {"bottom bar: already at the edge", barBottom, w, {300, 504}, {300, 504}},
        {"left screen edge from outside", whole, w, {-10, 300}, {0, 300}},
        {"left screen edge: one past the range", whole, w, {16, 300}, {16, 300}},
        {"left screen edge: far outside", whole, w, {-16, 300}, {-16, 300}},
        {"top bar: below it", barTop, w, {300, 40}, {300, 30}},
        {"top bar: above the screen's top", barTop, w, {300, -12}, {300, 30}},
        {"top bar: lower bound is the screen's top", barTop, w, {300, -16}, {300, -16}},
        {"top bar: one past the range", barTop, w, {300, 46}, {300, 46}},
        {"left bar", barLeft, w, {50, 300}, {60, 300}},
        {"left bar: one past the range", barLeft, w, {76, 300}, {76, 300}},
        {"left bar: one before the range", barLeft, w, {44, 300}, {44, 300}},
        {"right bar", barRight, w, {570, 300}, {580, 300}},
        {"right bar: one before the range", barRight, w, {564, 300}, {564, 300}},
        {"right bar: one past the range", barRight, w, {596, 300}, {596, 300}},
        {"right edge wins over left for a window nearly as wide", whole, {1270, 200}, {5, 300}, {10, 300}},
        {"bottom edge wins over top for a window nearly as high", whole, {200, 1014}, {300, 5}, {300, 10}},
        {"corner: left and bottom together", barBottom, w, {8, 500}, {0, 504}},
    };
    for (const SnapCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SnapPosition(c.proposed, c.window, screen, c.available), c.expected);
    }
}

TEST(SnapPosition, AScreenBesideThePrimaryUsesItsOwnEdges)
{
    const QRect screen(1280, 0, 1920, 1080);
    const QRect available(1280, 0, 1920, 1040);
    EXPECT_EQ(SnapPosition({1290, 565}, {640, 480}, screen, available), QPoint(1280, 560));
    EXPECT_EQ(SnapPosition({3200 - 650, 300}, {640, 480}, screen, available), QPoint(3200 - 640, 300));
    EXPECT_EQ(SnapPosition({1300, 300}, {640, 480}, screen, available), QPoint(1300, 300));
}

} // namespace
} // namespace quaylet
