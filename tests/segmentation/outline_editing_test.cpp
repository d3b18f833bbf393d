// The Draw tool's operations on outlines: strokes, picking, split, merge and
// the group operations.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "segmentation/outline_editing.h"
#include "support/outline_shapes.h"

namespace {

contour stroke_circle(double cx, double cy, double r, int n, double overshoot)
{
    contour c;
    c.closed = false;
    for (int i = 0; i <= n * (1.0 + overshoot); ++i) {
        const double a = 2.0 * std::numbers::pi * i / n;
        c.points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return c;
}

TEST(OutlineEditing, StrokesBecomeClosedOutlinesOrNothing)
{
    const draw_tolerances t = draw_tolerances_for(5, 3, false, 1.0, false);
    EXPECT_DOUBLE_EQ(t.pick, 5.0);
    EXPECT_DOUBLE_EQ(t.simplify, 0.3);
    const draw_tolerances zoomed = draw_tolerances_for(5, 3, true, 2.0, true);
    EXPECT_DOUBLE_EQ(zoomed.pick, 2.5);
    EXPECT_DOUBLE_EQ(zoomed.simplify, 0.25);
    EXPECT_DOUBLE_EQ(draw_tolerances_for(5, 3, true, 0.0, false).simplify, 1.0);  // a bad zoom counts as 1

    // Round a circle and a little past the start: one closed outline.
    const auto outline = finish_stroke(stroke_circle(100, 100, 40, 200, 0.05), t, 640, 480);
    ASSERT_TRUE(outline);
    EXPECT_TRUE(outline->closed);
    EXPECT_NEAR(std::fabs(outline->area()), std::numbers::pi * 1600.0, 0.01 * std::numbers::pi * 1600.0);
    EXPECT_EQ(outline->concavity.size(), outline->points.size());

    // A click, a dab and a straight line leave nothing.
    contour click;
    click.points = {{5, 5}};
    EXPECT_FALSE(finish_stroke(click, t, 640, 480));
    contour dab;
    dab.points = {{5, 5}, {5, 5}, {5, 5}, {5, 5}};
    EXPECT_FALSE(finish_stroke(dab, t, 640, 480));
    contour line;
    for (int i = 0; i < 50; ++i)
        line.points.push_back({10.0 + i, 20.0});
    EXPECT_FALSE(finish_stroke(line, t, 640, 480));
    contour bad = stroke_circle(100, 100, 40, 200, 0.05);
    bad.points[7].x = std::nan("");
    EXPECT_FALSE(finish_stroke(bad, t, 640, 480));

    // Partly off the frame: clipped to it; wholly off: nothing.
    const auto clipped = finish_stroke(stroke_circle(0, 0, 40, 200, 0.05), t, 640, 480);
    ASSERT_TRUE(clipped);
    for (const vertex2d& p : clipped->points) {
        EXPECT_GE(p.x, -0.5);
        EXPECT_GE(p.y, -0.5);
    }
    EXPECT_NEAR(std::fabs(clipped->area()), std::numbers::pi * 1600.0 / 4.0, 0.03 * std::numbers::pi * 400.0);
    EXPECT_FALSE(finish_stroke(stroke_circle(-100, -100, 40, 200, 0.05), t, 640, 480));
    EXPECT_FALSE(finish_stroke(stroke_circle(100, 100, 40, 200, 0.05), t, 0, 480));
    // A one-pixel frame keeps what lies on it.
    const auto tiny = tidy_outline(rectangle(-3, -3, 10, 10), 0.0, 1, 1);
    ASSERT_TRUE(tiny);
    EXPECT_DOUBLE_EQ(std::fabs(tiny->area()), 1.0);
}

TEST(OutlineEditing, PickMoveSplitAndMerge)
{
    contour_set set;
    set.contours = {rectangle(0, 0, 10, 10), rectangle(50, 50, 10, 10)};
    const auto pick = pick_contour(set, {60.5, 55}, 1.0);
    ASSERT_TRUE(pick);
    EXPECT_EQ(pick->contour, 1u);
    EXPECT_FALSE(pick_contour(set, {30, 30}, 1.0));
    move_contour(set.contours[1], -35.0, -50.0);  // now 15..25 by 0..10
    EXPECT_EQ(set.contours[1].points[0], (vertex2d{15, 0}));

    // Two squares bridged at the gap between them: one outline, both areas.
    set.area = 200.0;
    EXPECT_TRUE(merge_contours(set, {12.5, 5}, 3.0));
    ASSERT_EQ(set.contours.size(), 1u);
    EXPECT_EQ(set.area, -1.0);
    EXPECT_DOUBLE_EQ(std::fabs(set.contours[0].area()), 200.0);
    EXPECT_FALSE(merge_contours(set, {12.5, 5}, 3.0));  // only one contour left there

    // A dumbbell pinched to a waist of 1 pixel splits there into its two ends.
    contour dumbbell;
    dumbbell.points = {{0, 0},   {10, 0},  {10, 4.5}, {30, 4.5}, {30, 0},  {40, 0},
                       {40, 10}, {30, 10}, {30, 5.5}, {10, 5.5}, {10, 10}, {0, 10}};
    // Pull the bar's upper and lower edges together where it is picked.
    contour_set bell;
    bell.contours = {dumbbell};
    contour_pick at_waist{0, 2, 2};
    EXPECT_TRUE(split_contour(bell, at_waist, 1.5));
    ASSERT_EQ(bell.contours.size(), 2u);
    const double total = std::fabs(bell.contours[0].area()) + std::fabs(bell.contours[1].area());
    EXPECT_NEAR(total, std::fabs(dumbbell.area()), 10.0);  // the thin bar's share may go either way
    contour_set square;
    square.contours = {rectangle(0, 0, 10, 10)};
    EXPECT_FALSE(split_contour(square, contour_pick{0, 0, 0}, 1.0));
    EXPECT_FALSE(split_contour(square, contour_pick{3, 0, 0}, 1.0));
}

TEST(OutlineEditing, GroupOperations)
{
    contour_set set;
    set.contours = {rectangle(0, 0, 100, 100), rectangle(10, 10, 5, 5), rectangle(20, 20, 5, 5),
                    rectangle(90, 90, 20, 20)};
    const auto boxed = contours_in_box(set, {30, 30}, {5, 5});
    EXPECT_EQ(boxed, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(delete_contours_inside(set, 0), 2u);  // the one crossing the edge stays
    ASSERT_EQ(set.contours.size(), 2u);
    delete_contours(set, {1, 1, 7});
    EXPECT_EQ(set.contours.size(), 1u);
    EXPECT_EQ(delete_contours_inside(set, 5), 0u);

    // A U loses its pocket: the mouth's chord replaces it.
    contour u;
    u.points = {{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}};
    EXPECT_TRUE(remove_highlighted_concavities(u));
    EXPECT_GT(std::fabs(u.area()), 700.0);
    contour square = rectangle(0, 0, 10, 10);
    EXPECT_FALSE(remove_highlighted_concavities(square));
    EXPECT_EQ(square.points.size(), 4u);
}

}  // namespace
