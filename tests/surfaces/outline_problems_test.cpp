// Finding the crossings left in outlines, which surface building marks.
#include <gtest/gtest.h>

#include "surfaces/outline_problems.h"

namespace {

contour polygon(std::initializer_list<vertex2d> points, bool closed = true)
{
    contour c;
    c.points = points;
    c.closed = closed;
    return c;
}

// A crossing is found where it is; shared corners and the closing segment
// meeting the first are not crossings.
TEST(OutlineProblems, SelfCrossings)
{
    vertex2d at;
    EXPECT_TRUE(first_self_crossing(polygon({{0, 0}, {10, 10}, {10, 0}, {0, 10}}), &at));
    EXPECT_DOUBLE_EQ(at.x, 5.0);
    EXPECT_DOUBLE_EQ(at.y, 5.0);
    EXPECT_FALSE(first_self_crossing(polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), &at));
    // Open, the bow tie's closing edge is not there, and nothing crosses.
    EXPECT_FALSE(first_self_crossing(polygon({{0, 0}, {10, 0}, {0, 10}, {10, 10}}, false), &at));
    EXPECT_FALSE(first_self_crossing(polygon({}), &at));
    EXPECT_FALSE(first_self_crossing(polygon({{1, 1}}), &at));
}

TEST(OutlineProblems, CrossingsBetweenContours)
{
    vertex2d at;
    const contour a = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    EXPECT_TRUE(first_crossing(a, polygon({{5, 5}, {15, 5}, {15, 15}, {5, 15}}), &at));
    EXPECT_FALSE(first_crossing(a, polygon({{2, 2}, {8, 2}, {8, 8}, {2, 8}}), &at));  // nested
    EXPECT_FALSE(first_crossing(a, polygon({{20, 0}, {30, 0}, {30, 10}}), &at));
    EXPECT_FALSE(first_crossing(a, polygon({}), &at));
}

}  // namespace
