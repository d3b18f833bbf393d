// The review window's arithmetic without a window: zooming to a dragged box,
// a locked magnification, an image shown beside the frame, measured lengths
// and selected regions.
#include <cmath>

#include <gtest/gtest.h>

#include "app/review_geometry.h"

namespace {

// A 160 x 120 frame of pixels twice as tall as wide in a 400 x 300 window.
review_view_t sample_view(bool invert)
{
    review_view_t v;
    v.window_w = 400;
    v.window_h = 300;
    v.frame_w = 160;
    v.frame_h = 120;
    v.aspect = 2.0;
    v.invert = invert;
    v.centre_frame();
    return v;
}

// A dragged box fills the window after the zoom: its centre at the window
// centre, its tighter side edge to edge, rows up or down.
TEST(ReviewGeometry, DragZoomShowsTheBox)
{
    for (bool invert : {false, true}) {
        const review_view_t v = sample_view(invert);
        const double bx0 = 150, by0 = 60, bx1 = 250, by1 = 110;  // 100 x 50: the width is tighter
        double cu, cv, lu, lv;
        v.to_frame(200, 85, &cu, &cv);
        v.to_frame(bx0, 85, &lu, &lv);
        const auto z = zoomed_to_box(v, bx1, by1, bx0, by0);  // dragged either way
        ASSERT_TRUE(z);
        double x, y;
        z->to_window(cu, cv, &x, &y);
        EXPECT_NEAR(x, 200.0, 1e-6);
        EXPECT_NEAR(y, 150.0, 1e-6);
        z->to_window(lu, lv, &x, &y);
        EXPECT_NEAR(x, 0.0, 1e-6) << "the box's left edge reaches the window's";
        EXPECT_NEAR(z->zoom, 4.0, 1e-9);
    }
    EXPECT_FALSE(zoomed_to_box(sample_view(false), 10, 10, 12, 40)) << "a click is no box";
    EXPECT_DOUBLE_EQ(zoomed_to_box(sample_view(false), 0, 0, 4.5, 4.5)->zoom, max_review_zoom) << "clamped";
}

// With an image beside the frame (RF dual display) the pair fits the window and sits in its middle,
// the two a gap apart; the frame keeps its place in frame coordinates, so tools still work on it.
TEST(ReviewGeometry, ImageBesideTheFrameFitsWithIt)
{
    review_view_t v = sample_view(false);
    v.aspect = 1.0;
    const double start = review_view_t::beside_start(v.frame_w);
    EXPECT_EQ(start, 165.0) << "a gap of a thirty-second of the frame";
    EXPECT_EQ(review_view_t::beside_start(10.0), 11.0) << "at least one pixel";
    v.beside_w = start;  // the gap, and an image as wide as the frame
    v.centre_frame();
    double x0, y0, x1, y1, gap_from, gap_to;
    v.to_window(0, 0, &x0, &y0);
    v.to_window(start + v.frame_w, v.frame_h, &x1, &y1);
    v.to_window(v.frame_w, 0, &gap_from, &y0);
    v.to_window(start, 0, &gap_to, &y0);
    EXPECT_NEAR(x0, 0.0, 1e-9) << "the pair is as wide as the window";
    EXPECT_NEAR(x1, 400.0, 1e-9);
    EXPECT_NEAR(y1 - y0, 120.0 * 400.0 / 325.0, 1e-9) << "pixels stay square";
    EXPECT_NEAR(0.5 * (y0 + y1), 150.0, 1e-9);
    EXPECT_GT(gap_to - gap_from, 5.0) << "the two images do not touch";
    double u, w;
    v.to_frame(x0 + 1, y0 + 1, &u, &w);
    EXPECT_LT(u, 1.0) << "the frame's own pixels are where they were";
}

// Locked zoom keeps window pixels per frame pixel when the window is resized.
TEST(ReviewGeometry, LockedZoomKeepsTheMagnification)
{
    review_view_t v = sample_view(false);
    v.zoom = 2.0;
    const double before = v.scale_x();
    v.zoom = zoom_keeping_scale(v, 200, 100);
    v.window_w = 200;
    v.window_h = 100;
    EXPECT_NEAR(v.scale_x(), before, 1e-9);
    EXPECT_NEAR(v.zoom, 6.0, 1e-9) << "a third of the height needs three times the zoom";
}

// Lengths use both pixel scales (cm per pixel) and come out in millimetres.
TEST(ReviewGeometry, MeasuredLengths)
{
    EXPECT_NEAR(measured_length_mm(0, 0, 30, 40, 0.01, 0.01), 5.0, 1e-12);
    EXPECT_NEAR(measured_length_mm(10, 10, 10, 30, 0.01, 0.02), 4.0, 1e-12) << "rows use the y scale";
    EXPECT_NEAR(measured_length_mm(30, 0, 0, 0, 0.05, 0.02), 15.0, 1e-12) << "columns use the x scale";
    EXPECT_EQ(measurement_text(12.345), "12.35 mm");
}

// A region holds the pixels the rectangle touches, corners included, never beyond the frame.
TEST(ReviewGeometry, SelectedRegions)
{
    const struct {
        double u0, v0, u1, v1;
        long x, y, w, h;
    } cases[] = {
        {10.2, 5.7, 20.6, 8.4, 10, 5, 11, 4},  // pixels 10 .. 20, 5 .. 8
        {20.6, 8.4, 10.2, 5.7, 10, 5, 11, 4},  // dragged the other way
        {10.2, 5.2, 10.8, 5.9, 10, 5, 1, 1},   // within one pixel
        {-50, -50, 5.0, 500, 0, 0, 6, 120},    // clipped
        {170, 10, 200, 20, 0, 0, 0, 0},        // beside the frame
    };
    for (const auto& c : cases) {
        const pixel_region_t r = selected_region(c.u0, c.v0, c.u1, c.v1, 160, 120);
        EXPECT_EQ(r.x, c.x);
        EXPECT_EQ(r.y, c.y);
        EXPECT_EQ(r.width, c.w);
        EXPECT_EQ(r.height, c.h);
    }
}

}  // namespace
