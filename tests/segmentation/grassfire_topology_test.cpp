// The outlines of random blob images against an independent labelling by
// plain flood fills: how many outlines, and which pixels they enclose. Also
// ridge mode, where gaps are crossed along a ridge rather than straight.
#include <random>

#include <gtest/gtest.h>

#include "grassfire_support.h"

namespace {

using namespace grass_test;

constexpr long lo = 128, hi = 255;

// Blobs: random seeds grown a few steps at random, so that shapes have
// holes, bays, diagonal contacts and pixels on the border.
image_t random_blobs(std::mt19937& rng, long w, long h)
{
    image_t im(w, h, 0);
    std::uniform_int_distribution<long> px(0, w - 1), py(0, h - 1);
    std::uniform_int_distribution<int> dir(0, 3), count(3, 12), len(5, 40);
    const int blobs = count(rng);
    for (int b = 0; b < blobs; ++b) {
        long x = px(rng), y = py(rng);
        for (int k = len(rng) * 3; k > 0; --k) {
            im.at(x, y) = 255;
            switch (dir(rng)) {
            case 0:
                x = std::min(w - 1, x + 1);
                break;
            case 1:
                x = std::max(0L, x - 1);
                break;
            case 2:
                y = std::min(h - 1, y + 1);
                break;
            default:
                y = std::max(0L, y - 1);
                break;
            }
        }
    }
    return im;
}

struct expected_t {
    long contours = 0;
    std::function<bool(long, long)> in;
};

// What each hole type should give, by flood fills: the selected pixels are
// 4-connected (8 in ridge mode); holes are the unselected pixels no 4-path
// leads out of, as hole filling finds them; outlines of type 0 also go
// round the background pockets that the 8-connected (4 in ridge mode)
// background leaves enclosed.
expected_t expect(const image_t& im, long type, bool ridges)
{
    const long w = im.w, h = im.h;
    auto sel = [&](long x, long y) { return im.at(x, y) >= lo; };
    int n = 0;
    // Unselected pixels reached from the border by 4-steps.
    const auto bg4 = label_components(
        w, h, [&](long x, long y) { return !sel(x, y); }, false, &n);
    std::vector<char> open(static_cast<std::size_t>(n + 1), 0);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x)
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                open[static_cast<std::size_t>(bg4[static_cast<std::size_t>(y * w + x)])] = 1;
    auto hole = [=](long x, long y) {
        const int l = bg4[static_cast<std::size_t>(y * w + x)];
        return l != 0 && !open[static_cast<std::size_t>(l)];
    };
    expected_t e;
    if (type == 2) {
        auto filled = [=](long x, long y) { return sel(x, y) || hole(x, y); };
        int k = 0;
        label_components(w, h, filled, ridges, &k);
        e.contours = k;
        e.in = filled;
    } else if (type == 1) {
        int k = 0;
        label_components(w, h, hole, false, &k);
        e.contours = k;
        e.in = hole;
    } else {
        int k = 0, pockets = 0;
        label_components(w, h, sel, ridges, &k);
        const auto bg = label_components(
            w, h, [&](long x, long y) { return !sel(x, y); }, !ridges, &pockets);
        std::vector<char> out(static_cast<std::size_t>(pockets + 1), 0);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x)
                if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                    out[static_cast<std::size_t>(bg[static_cast<std::size_t>(y * w + x)])] = 1;
        long enclosed = 0;
        for (int p = 1; p <= pockets; ++p)
            enclosed += !out[static_cast<std::size_t>(p)];
        e.contours = k + enclosed;
        e.in = sel;
    }
    return e;
}

// With no gap jumping every selected pixel belongs to some region: the
// outline count and the enclosed pixels must match the flood fills for all
// three hole types, with 4- and 8-neighbour burning.
TEST(GrassfireTopology, RandomBlobsMatchFloodFillLabelling)
{
    std::mt19937 rng(20240311);
    const grassfire_classes classes = classes_for(lo, hi);
    for (int trial = 0; trial < 60; ++trial) {
        const long w = 8 + static_cast<long>(rng() % 50), h = 8 + static_cast<long>(rng() % 40);
        const image_t im = random_blobs(rng, w, h);
        for (long type : {0L, 1L, 2L})
            for (bool ridges : {false, true}) {
                SCOPED_TRACE(testing::Message() << "trial " << trial << " type " << type << " ridges " << ridges);
                grassfire_settings s = settings_for(lo, hi, type, false);
                s.ridges = ridges;
                const contour_set got = grassfire::segment(im.view(), grassfire::no_seed, 0, 0, s, classes);
                const expected_t want = expect(im, type, ridges);
                ASSERT_EQ(static_cast<long>(got.contours.size()), want.contours);
                long wrong = 0;
                for (long y = 0; y < h; ++y)
                    for (long x = 0; x < w; ++x)
                        wrong += inside(got, static_cast<double>(x), static_cast<double>(y)) != want.in(x, y);
                ASSERT_EQ(wrong, 0);
            }
    }
}

// Connected: the clicked blob alone, as a flood fill from the click finds it.
TEST(GrassfireTopology, ConnectedRegionIsTheFloodFillOfTheSeed)
{
    std::mt19937 rng(77);
    const grassfire_classes classes = classes_for(lo, hi);
    for (int trial = 0; trial < 40; ++trial) {
        const image_t im = random_blobs(rng, 40, 30);
        long sx = -1, sy = -1;
        for (long i = 0; i < 40 * 30 && sx < 0; ++i) {
            const long x = static_cast<long>(rng() % 40), y = static_cast<long>(rng() % 30);
            if (im.at(x, y) >= lo) {
                sx = x;
                sy = y;
            }
        }
        if (sx < 0)
            continue;
        int n = 0;
        const auto labels = label_components(
            40, 30, [&](long x, long y) { return im.at(x, y) >= lo; }, false, &n);
        const int mine = labels[static_cast<std::size_t>(sy * 40 + sx)];
        const contour_set got = grassfire::segment(im.view(), sx, sy, 0, settings_for(lo, hi, 0, true), classes);
        long wrong = 0;
        for (long y = 0; y < 30; ++y)
            for (long x = 0; x < 40; ++x)
                wrong += inside(got, x, y) != (labels[static_cast<std::size_t>(y * 40 + x)] == mine);
        EXPECT_EQ(wrong, 0) << "trial " << trial;
    }
}

// Two thick bars meeting at a right angle, their corner replaced by a
// faint curved ridge. Straight gap jumps also fill the plain background in
// the inside of the bend; following ridges crosses along the ridge alone.
TEST(GrassfireTopology, RidgeModeCrossesAlongTheRidgeOnly)
{
    image_t im(60, 60, 40);
    const double cx = 20.0, cy = 40.0, radius = 14.0;
    for (long y = 0; y < 60; ++y)
        for (long x = 0; x < 60; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const bool band = std::fabs(d - radius) <= 1.0;
            if (!band || x < cx || y > cy)
                continue;
            // On the arc: the selected bars at its two ends, a ridge of 90
            // (below the window) over the middle of the bend.
            const double angle = std::atan2(cy - y, x - cx);  // 0 at the right end, pi/2 at the top
            im.at(x, y) = (angle < 0.35 || angle > 1.22) ? 200 : 90;
        }
    const grassfire_classes classes = classes_for(lo, hi);
    const long seed_x = static_cast<long>(cx + radius), seed_y = static_cast<long>(cy);
    ASSERT_GE(im.at(seed_x, seed_y), lo);
    grassfire_settings s = settings_for(lo, hi, 0, true);
    const contour_set none = grassfire::segment(im.view(), seed_x, seed_y, 0, s, classes);
    ASSERT_EQ(none.contours.size(), 1u);
    EXPECT_FALSE(inside(none, 20, 26)) << "J = 0 crosses nothing";

    s.ridges = true;
    const contour_set ridge = grassfire::segment(im.view(), seed_x, seed_y, 16, s, classes);
    ASSERT_EQ(ridge.contours.size(), 1u);
    EXPECT_TRUE(inside(ridge, 20, 26)) << "the far bar is reached";
    // The middle of the arc is in; a background pixel just inside the bend is not.
    const long mx = static_cast<long>(std::lround(cx + radius * std::cos(0.785)));
    const long my = static_cast<long>(std::lround(cy - radius * std::sin(0.785)));
    EXPECT_TRUE(inside(ridge, mx, my));
    EXPECT_FALSE(inside(ridge, mx - 3, my + 3));
    // Only arc pixels were added: everything enclosed lies on the band.
    for (long y = 0; y < 60; ++y)
        for (long x = 0; x < 60; ++x)
            if (inside(ridge, x, y)) {
                EXPECT_NE(im.at(x, y), 40) << x << "," << y;
            }

    s.ridges = false;
    const contour_set straight = grassfire::segment(im.view(), seed_x, seed_y, 16, s, classes);
    ASSERT_EQ(straight.contours.size(), 1u);
    EXPECT_TRUE(inside(straight, 20, 26));
    EXPECT_TRUE(inside(straight, mx - 3, my + 3)) << "straight jumps fill the bend";
}

}  // namespace
