// The stylus tip detector on rendered frames: a bright tip echo with the
// streak the stylus leaves below it, at angles either side of vertical.
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "calibration/point_detection.h"

namespace {

constexpr long W = 640, H = 480;

cip_t stylus_frame(double x0, double y0, double degrees, std::uint32_t seed)
{
    cip_t img = cip_t::make_8bit(W, H);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> speckle(10, 30);
    const double t = std::tan(degrees * std::numbers::pi / 180.0);
    const long r = W / 20;
    for (long y = 0; y < H; ++y)
        for (long x = 0; x < W; ++x) {
            double v = speckle(rng);
            if (y >= y0 && y <= y0 + 3 * r) {
                const double d = double(x) - (x0 - (double(y) - y0) * t);
                v += 140.0 * std::exp(-d * d / (2.0 * 1.5 * 1.5));
            }
            const double tip2 = (x - x0) * (x - x0) + (y - y0) * (y - y0);
            v += 120.0 * std::exp(-tip2 / (2.0 * 2.0 * 2.0));
            img.pixels()[y * W + x] = std::uint8_t(std::clamp(v, 0.0, 255.0));
        }
    return img;
}

TEST(StylusTip, FoundWithinTwoPixelsAndTwoDegrees)
{
    std::uint32_t seed = 1;
    for (double angle : {-30.0, -12.0, 0.0, 15.0, 38.0})
        for (const auto& [x0, y0] : {std::pair{320.0, 150.0}, std::pair{200.0, 300.0}}) {
            const auto found = detect_stylus_tip(stylus_frame(x0, y0, angle, seed++));
            ASSERT_TRUE(found);
            EXPECT_NEAR(found->tip.x, x0, 2.0) << angle;
            EXPECT_NEAR(found->tip.y, y0, 2.0) << angle;
            EXPECT_NEAR(found->angle, angle, 2.0);
        }
}

TEST(StylusTip, RegionsNarrowFramesAndBlanks)
{
    const cip_t frame = stylus_frame(320.0, 150.0, 10.0, 3);
    // A region that leaves the tip out finds the brightest pixel inside it instead.
    std::vector<std::pair<long, long>> left_half(W, {1, 0});
    for (long x = 0; x < 250; ++x)
        left_half[std::size_t(x)] = {0, H - 1};
    const auto elsewhere = detect_stylus_tip(frame, left_half);
    ASSERT_TRUE(elsewhere);
    EXPECT_GT(std::fabs(elsewhere->tip.x - 320.0) + std::fabs(elsewhere->tip.y - 150.0), 20.0);
    // A region with no pixel: nothing.
    EXPECT_FALSE(detect_stylus_tip(frame, std::vector<std::pair<long, long>>(W, {5, 4})));
    // Too narrow for the search windows, or empty: nothing.
    for (long w : {1L, 20L, 39L})
        EXPECT_FALSE(detect_stylus_tip(cip_t::make_8bit(w, 100))) << w;
    EXPECT_FALSE(detect_stylus_tip(cip_t{}));
    // Tiny heights and a blank frame: an answer of finite numbers inside the frame.
    for (long h : {1L, 3L, 480L}) {
        const auto blank = detect_stylus_tip(cip_t::make_8bit(64, h));
        ASSERT_TRUE(blank) << h;
        EXPECT_TRUE(std::isfinite(blank->tip.x + blank->tip.y + blank->angle));
        EXPECT_GE(blank->tip.y, 0.0);
        EXPECT_LT(blank->tip.y, double(h));
    }
}

}  // namespace
