// Threshold segmentation of one frame on shapes whose answers are known:
// discs and rings (binary and with a grey ramp edge), gaps and barriers,
// separate blobs, and clicks that must give nothing.
#include <climits>
#include <numbers>

#include <gtest/gtest.h>

#include "grassfire_support.h"
#include "support/log_capture.h"

namespace {

using namespace grass_test;

constexpr long lo = 128, hi = 255;

struct shape_case {
    double radius;
    double slope;  // grey levels per pixel across the edge; 0 binary
};

std::vector<shape_case> shape_cases()
{
    std::vector<shape_case> cases;
    for (double r : {20.0, 35.0, 60.0, 100.0, 150.0})
        for (double slope : {0.0, 16.0, 6.0})
            cases.push_back({r, slope});
    return cases;
}

double disc(double r)
{
    return std::numbers::pi * r * r;
}

// The outlines must enclose exactly the pixel centres that were burnt:
// every vertex lies strictly between two pixel centres. Every third row
// keeps the large cases quick.
void expect_encloses(const contour_set& s, long w, long h, const std::function<bool(long, long)>& in)
{
    long wrong = 0;
    for (long y = 0; y < h; y += 3)
        for (long x = 0; x < w; ++x)
            wrong += inside(s, static_cast<double>(x), static_cast<double>(y)) != in(x, y);
    EXPECT_EQ(wrong, 0);
}

// A disc's outline encloses its analytic area to 1%, the sub-pixel crossing
// putting the ramp-edged ones on their 127.5 level; connected or not.
TEST(GrassfireShapes, DiscAreaMatchesAnalytic)
{
    const grassfire_classes classes = classes_for(lo, hi);
    for (const shape_case& k : shape_cases()) {
        SCOPED_TRACE(testing::Message() << "radius " << k.radius << " slope " << k.slope);
        const long side = 2 * static_cast<long>(k.radius) + 24;
        const image_t im = radial_image(
            side, [&](double d) { return k.radius - d; }, k.slope);
        const long c = side / 2;
        for (bool connected : {true, false}) {
            const contour_set s = grassfire::segment(im.view(), connected ? c : grassfire::no_seed, c, 10,
                                                     settings_for(lo, hi, 2, connected), classes);
            ASSERT_EQ(s.contours.size(), 1u);
            EXPECT_TRUE(s.contours[0].closed);
            EXPECT_NEAR(enclosed_area(s), disc(k.radius), 0.01 * disc(k.radius));
            expect_encloses(s, side, side, [&](long x, long y) { return im.at(x, y) >= lo; });
        }
    }
}

// A ring by hole type: 0 gives both boundaries (the area of the ring), 2
// fills the hole (the outer disc), 1 gives the hole alone. No gap jumps:
// chords across the hole's concave edge would be bridged and eat into it.
TEST(GrassfireShapes, RingByHoleType)
{
    const grassfire_classes classes = classes_for(lo, hi);
    for (const shape_case& k : shape_cases()) {
        SCOPED_TRACE(testing::Message() << "radius " << k.radius << " slope " << k.slope);
        // The hole has the case's radius, the ring is 15 pixels wide.
        const double inner = k.radius, outer = k.radius + 15.0;
        const long side = 2 * static_cast<long>(outer) + 24;
        const image_t im = radial_image(
            side, [&](double d) { return std::min(outer - d, d - inner); }, k.slope);
        const long c = side / 2, on_ring = c + static_cast<long>(inner + 7.5);
        ASSERT_GE(im.at(on_ring, c), lo);
        for (bool connected : {true, false}) {
            const long sx = connected ? on_ring : grassfire::no_seed;
            const contour_set all =
                grassfire::segment(im.view(), sx, c, 0, settings_for(lo, hi, 0, connected), classes);
            ASSERT_EQ(all.contours.size(), 2u);
            const double ring = disc(outer) - disc(inner);
            EXPECT_NEAR(enclosed_area(all), ring, 0.01 * ring);
            // The hole is traced the other way round from the outer boundary.
            EXPECT_LT(shoelace(all.contours[0]) * shoelace(all.contours[1]), 0.0);
            expect_encloses(all, side, side, [&](long x, long y) { return im.at(x, y) >= lo; });

            const contour_set body =
                grassfire::segment(im.view(), sx, c, 0, settings_for(lo, hi, 2, connected), classes);
            ASSERT_EQ(body.contours.size(), 1u);
            EXPECT_NEAR(enclosed_area(body), disc(outer), 0.01 * disc(outer));

            const contour_set hole =
                grassfire::segment(im.view(), sx, c, 0, settings_for(lo, hi, 1, connected), classes);
            ASSERT_EQ(hole.contours.size(), 1u);
            EXPECT_NEAR(enclosed_area(hole), disc(inner), 0.01 * disc(inner));
            EXPECT_TRUE(inside(hole, c, c));
            EXPECT_FALSE(inside(hole, on_ring, c));
        }
    }
}

// Every hole type other than 0 and 2 takes the holes, as 1 does.
TEST(GrassfireShapes, AnyOtherHoleTypeKeepsTheHoles)
{
    const image_t im = radial_image(
        60, [](double d) { return std::min(20.0 - d, d - 10.0); }, 0.0);
    const grassfire_classes classes = classes_for(lo, hi);
    const contour_set one = grassfire::segment(im.view(), grassfire::no_seed, 0, 3, settings_for(lo, hi, 1), classes);
    for (long type : {-1L, 3L, LONG_MIN, LONG_MAX}) {
        const contour_set s =
            grassfire::segment(im.view(), grassfire::no_seed, 0, 3, settings_for(lo, hi, type), classes);
        ASSERT_EQ(s.contours.size(), 1u) << type;
        EXPECT_EQ(s.contours[0].points, one.contours[0].points) << type;
    }
}

// A line of selected pixels, background 64 and a barrier grey of 5 (the
// map's half magenta below 20).
struct gap_line {
    image_t im{48, 9, 64};
    explicit gap_line(long gap_width, bool barrier = false)
    {
        for (long x = 4; x < 44; ++x)
            im.at(x, 4) = 200;
        for (long x = 20; x < 20 + gap_width; ++x)
            im.at(x, 4) = barrier && x == 20 ? 5 : 64;
    }
    std::size_t contours(long jump, bool connected) const
    {
        return grassfire::segment(im.view(), connected ? 6 : grassfire::no_seed, 4, jump,
                                  settings_for(lo, hi, 2, connected), classes_for(lo, hi, 20))
            .contours.size();
    }
};

// A one-pixel gap is crossed with J >= 1 but not with J = 0, wider gaps
// need J as wide; a barrier pixel in the gap stops the crossing.
TEST(GrassfireShapes, GapsAreCrossedWithinTheJumpDistanceAndStoppedByBarriers)
{
    const gap_line one(1);
    for (bool connected : {false, true}) {
        SCOPED_TRACE(connected ? "connected" : "all regions");
        EXPECT_EQ(one.contours(0, connected), connected ? 1u : 2u);
        EXPECT_EQ(one.contours(1, connected), 1u);
        EXPECT_EQ(one.contours(10, connected), 1u);
        EXPECT_EQ(one.contours(-5, connected), connected ? 1u : 2u);
        const gap_line five(5);
        EXPECT_EQ(five.contours(4, connected), connected ? 1u : 2u);
        EXPECT_EQ(five.contours(5, connected), 1u);
        EXPECT_EQ(five.contours(LONG_MAX, connected), 1u);
        const gap_line barred(1, true);
        EXPECT_EQ(barred.contours(10, connected), connected ? 1u : 2u);
        const gap_line barred_wide(4, true);
        EXPECT_EQ(barred_wide.contours(LONG_MAX, connected), connected ? 1u : 2u);
    }
    // The connected part reaches across the crossed gap to the far end.
    const contour_set s =
        grassfire::segment(one.im.view(), 6, 4, 1, settings_for(lo, hi, 2, true), classes_for(lo, hi, 20));
    ASSERT_EQ(s.contours.size(), 1u);
    EXPECT_TRUE(inside(s, 42, 4));
    EXPECT_TRUE(inside(s, 20, 4));
}

// Two separate blobs: both with connected off, only the clicked one with it on.
TEST(GrassfireShapes, ConnectedKeepsOnlyTheClickedBlob)
{
    image_t im(60, 30, 0);
    for (long y = 5; y < 25; ++y)
        for (long x = 5; x < 25; ++x) {
            im.at(x, y) = 255;
            im.at(x + 30, y) = 255;
        }
    const grassfire_classes classes = classes_for(lo, hi);
    const contour_set both = grassfire::segment(im.view(), 40, 10, 0, settings_for(lo, hi, 2, false), classes);
    EXPECT_EQ(both.contours.size(), 2u);
    EXPECT_NEAR(enclosed_area(both), 2 * (400.0 - 0.5), 1e-9);
    const contour_set one = grassfire::segment(im.view(), 40, 10, 0, settings_for(lo, hi, 2, true), classes);
    ASSERT_EQ(one.contours.size(), 1u);
    EXPECT_TRUE(inside(one, 40, 10));
    EXPECT_FALSE(inside(one, 10, 10));
    // A jump as wide as the 10 pixels between them joins them; one less does not.
    const contour_set joined = grassfire::segment(im.view(), 40, 10, 10, settings_for(lo, hi, 2, true), classes);
    ASSERT_EQ(joined.contours.size(), 1u);
    EXPECT_TRUE(inside(joined, 10, 10));
    EXPECT_TRUE(inside(joined, 30, 15));
    const contour_set apart = grassfire::segment(im.view(), 40, 10, 9, settings_for(lo, hi, 2, true), classes);
    ASSERT_EQ(apart.contours.size(), 1u);
    EXPECT_FALSE(inside(apart, 10, 10));
}

// Clicks that must give nothing: an unselected pixel, a seed outside the
// image anywhere, "no seed" with connected on, and a map with lo = hi = 0,
// which selects nothing whatever is clicked.
TEST(GrassfireShapes, ClicksThatGiveNothing)
{
    const image_t im = radial_image(
        50, [](double d) { return 15.0 - d; }, 0.0);
    const grassfire_classes classes = classes_for(lo, hi);
    const grassfire_settings on = settings_for(lo, hi, 2, true), off = settings_for(lo, hi, 2, false);
    EXPECT_TRUE(grassfire::segment(im.view(), 2, 2, 10, on, classes).contours.empty());
    EXPECT_TRUE(grassfire::segment(im.view(), 2, 2, 10, off, classes).contours.empty());
    for (const auto& [x, y] : std::vector<std::pair<long, long>>{
             {-1, 25}, {25, -1}, {50, 25}, {25, 50}, {LONG_MIN, 25}, {25, LONG_MAX}, {65534, 25}})
        for (const grassfire_settings& s : {on, off})
            EXPECT_TRUE(grassfire::segment(im.view(), x, y, 10, s, classes).contours.empty()) << x << "," << y;
    // No seed: every region when not connected, nothing when connected
    // (rather than reading pixel 65535 of a small frame).
    for (long x : {65535L, 65536L, 1000000L, LONG_MAX}) {
        EXPECT_TRUE(grassfire::segment(im.view(), x, 25, 10, on, classes).contours.empty());
        EXPECT_EQ(grassfire::segment(im.view(), x, -7, 10, off, classes).contours.size(), 1u);
    }
    const grassfire_classes none = classes_for(0, 0);
    for (std::size_t code = 0; code < 256; ++code)
        EXPECT_FALSE(none.thresholded(static_cast<std::uint8_t>(code)));
    for (long x : {25L, 0L, grassfire::no_seed})
        for (const grassfire_settings& s : {settings_for(0, 0, 2, true), settings_for(0, 0, 0, false)})
            EXPECT_TRUE(grassfire::segment(im.view(), x, 25, 10, s, none).contours.empty());
    EXPECT_TRUE(grassfire::segment(image_view(), grassfire::no_seed, 0, 10, off, classes).contours.empty());
}

// A frame whose state would pass the memory limit gives nothing, with the
// warning, rather than risk the machine; at the limit it is segmented.
TEST(GrassfireShapes, StateBeyondTheMemoryLimit)
{
    const image_t im = radial_image(
        20, [](double d) { return 6.0 - d; }, 0.0);
    grassfire_settings s = settings_for(lo, hi, 2, true);
    s.state_limit = 20 * 20 - 1;
    log_capture log;
    EXPECT_TRUE(grassfire::segment(im.view(), 10, 10, 5, s, classes_for(lo, hi)).contours.empty());
    EXPECT_TRUE(log.contains("Unable to allocate state image for grassfire algorithm", wxLOG_Warning));
    s.state_limit = 20 * 20;
    EXPECT_EQ(grassfire::segment(im.view(), 10, 10, 5, s, classes_for(lo, hi)).contours.size(), 1u);
}

// Images from 1x1 up: a single selected pixel is a diamond through its four
// edge midpoints; an unselected one gives nothing.
TEST(GrassfireShapes, SmallestImages)
{
    const grassfire_classes classes = classes_for(lo, hi);
    for (bool connected : {true, false})
        for (long type : {0L, 1L, 2L}) {
            const image_t one(1, 1, 255);
            const contour_set s =
                grassfire::segment(one.view(), 0, 0, 10, settings_for(lo, hi, type, connected), classes);
            if (type == 1) {
                EXPECT_TRUE(s.contours.empty());
                continue;
            }
            ASSERT_EQ(s.contours.size(), 1u);
            EXPECT_EQ(s.contours[0].points.size(), 4u);
            EXPECT_DOUBLE_EQ(enclosed_area(s), 0.5);
            const image_t dark(1, 1, 0);
            EXPECT_TRUE(grassfire::segment(dark.view(), 0, 0, 10, settings_for(lo, hi, type, connected), classes)
                            .contours.empty());
        }
    // A row and a column: the outline runs along the image edge.
    for (const auto& [w, h] : std::vector<std::pair<long, long>>{{7, 1}, {1, 7}}) {
        const image_t line(w, h, 255);
        const contour_set s = grassfire::segment(line.view(), 0, 0, 3, settings_for(lo, hi, 2, true), classes);
        ASSERT_EQ(s.contours.size(), 1u);
        EXPECT_DOUBLE_EQ(enclosed_area(s), 7.0 - 0.5);
    }
}

// Frames wider than 32767 pixels, which 16-bit fronts would wrap: the
// outline reaches the far end and the click there works.
TEST(GrassfireShapes, FramesWiderThanSixteenBits)
{
    const long w = 40000;
    image_t im(w, 3, 0);
    for (long x = 0; x < w; ++x)
        im.at(x, 1) = 255;
    im.at(39000, 0) = 255;
    const contour_set s =
        grassfire::segment(im.view(), 39000, 0, 2, settings_for(lo, hi, 2, true), classes_for(lo, hi));
    ASSERT_EQ(s.contours.size(), 1u);
    double max_x = 0.0;
    for (const vertex2d& p : s.contours[0].points)
        max_x = std::max(max_x, p.x);
    EXPECT_DOUBLE_EQ(max_x, w - 0.5);
    EXPECT_TRUE(inside(s, 39000, 0));
    EXPECT_TRUE(inside(s, 10, 1));
    EXPECT_NEAR(enclosed_area(s), w - 0.5 + 1.0, 1e-6);
}

// Settings at their extremes change answers but never crash or hang.
TEST(GrassfireShapes, AnySettingValue)
{
    const image_t im = radial_image(
        40, [](double d) { return std::min(12.0 - d, d - 5.0); }, 20.0);
    for (long jump : {LONG_MIN, -1L, 0L, 1L, 1000L, LONG_MAX})
        for (long w_lo : {LONG_MIN, -1L, 0L, 100L, 255L, 256L, LONG_MAX})
            for (long w_hi : {LONG_MIN, 0L, 200L, LONG_MAX}) {
                grassfire_settings s = settings_for(w_lo, w_hi, 2, false);
                s.ridges = (jump & 1) != 0;
                s.window.doppler = w_lo == 255;
                // The classes stay those of a sane map: only the placement uses the window.
                const contour_set r =
                    grassfire::segment(im.view(), grassfire::no_seed, 0, jump, s, classes_for(lo, hi));
                EXPECT_FALSE(r.contours.empty());
                for (const contour& c : r.contours)
                    for (const vertex2d& p : c.points) {
                        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
                        ASSERT_TRUE(p.x > -1.0 && p.x < 40.0 && p.y > -1.0 && p.y < 40.0);
                    }
            }
}

}  // namespace
