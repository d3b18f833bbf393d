// Overlapping outlines of one set are joined into the outlines of their union.
#include <cmath>

#include <gtest/gtest.h>

#include "segmentation/overlap.h"
#include "support/outline_shapes.h"

namespace {

double total_area(contour_set s)
{
    s.region(1, true);
    return s.measured() ? s.area : 0.0;
}

TEST(Overlap, CrossingOutlinesBecomeTheirUnion)
{
    contour_set s;
    s.contours = {rectangle(0, 0, 20, 10), rectangle(10, 5, 20, 10), rectangle(100, 100, 5, 5)};
    EXPECT_EQ(make_non_overlapping(s, 0, 2), 1u);
    ASSERT_EQ(s.contours.size(), 2u);
    EXPECT_EQ(s.area, -1.0);
    EXPECT_EQ(s.contours[0].points, rectangle(100, 100, 5, 5).points);  // crossing nothing: kept as drawn
    // 200 + 200 - 50 square pixels, to the quarter-pixel tracing.
    EXPECT_NEAR(std::fabs(s.contours[1].area()), 350.0, 0.5);
    EXPECT_EQ(make_non_overlapping(s, 0, 1), 0u);

    // A chain of three, each crossing the next, becomes one; an O-shaped union keeps its hole.
    contour_set ring;
    ring.contours = {rectangle(0, 0, 30, 5), rectangle(0, 25, 30, 5), rectangle(-1, -1, 5, 32),
                     rectangle(26, -1, 5, 32)};
    EXPECT_EQ(make_non_overlapping(ring, 0, 3), 1u);
    ASSERT_EQ(ring.contours.size(), 2u);  // outer edge and hole
    // (-1..31)^2, less the notches above and below the bars (22 x 1 each) and
    // the (4..26) x (5..25) hole.
    const double expected = 32.0 * 32.0 - 2 * 22.0 - 22.0 * 20.0;
    EXPECT_NEAR(total_area(ring), expected, 2.0);
}

TEST(Overlap, NestedOrSeparateOutlinesAndBadRangesAreLeftAlone)
{
    contour_set s;
    s.contours = {rectangle(0, 0, 50, 50), rectangle(10, 10, 5, 5), rectangle(60, 0, 5, 5)};
    const auto before = s.contours;
    EXPECT_EQ(make_non_overlapping(s, 0, 2), 0u);
    EXPECT_EQ(s.contours.size(), before.size());
    EXPECT_EQ(make_non_overlapping(s, 2, 1), 0u);
    EXPECT_EQ(make_non_overlapping(s, 7, 9), 0u);
    contour_set empty;
    EXPECT_EQ(make_non_overlapping(empty, 0, 0), 0u);
    // Only the range given is looked at.
    contour_set partly;
    partly.contours = {rectangle(0, 0, 20, 10), rectangle(10, 5, 20, 10)};
    EXPECT_EQ(make_non_overlapping(partly, 1, 1), 0u);
    EXPECT_EQ(partly.contours.size(), 2u);
    // Huge overlapping outlines are refused rather than scan-converted.
    contour_set huge;
    huge.contours = {rectangle(0, 0, 1e6, 10), rectangle(10, 5, 1e6, 10)};
    EXPECT_EQ(make_non_overlapping(huge, 0, 1), 0u);
    EXPECT_EQ(huge.contours.size(), 2u);
}

}  // namespace
