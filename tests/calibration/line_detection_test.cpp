// Finding the water bath's floor: on rendered frames with speckle the line
// through the floor's top edge, either way up, within a region; refusals of
// bad settings and frames; noise alone is not accepted.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "calibration/line_detection.h"
#include "support/log_capture.h"

namespace {

constexpr long W = 640, H = 480;

// Water (dark) above a bright floor 8 rows deep whose top edge is at buffer
// row top(x), darker tissue below; speckle over everything.
cip_t floor_frame(double row0, double slope, std::uint32_t seed, bool upside_down = false)
{
    cip_t img = cip_t::make_8bit(W, H);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> speckle(-15, 15);
    for (long i = 0; i < H; ++i)
        for (long x = 0; x < W; ++x) {
            const double top = row0 + slope * double(x);
            const int base = double(i) < top ? 20 : double(i) < top + 8.0 ? 200 : 70;
            const long row = upside_down ? H - 1 - i : i;
            img.pixels()[row * W + x] = std::uint8_t(std::clamp(base + speckle(rng), 0, 255));
        }
    return img;
}

TEST(LineDetection, FindsTheFloorsTopEdge)
{
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        line_detector_t d(W, H, {});
        ASSERT_TRUE(d.usable());
        const detected_line_t line = d.detect(floor_frame(200.0, 0.1, seed));
        ASSERT_TRUE(line.found) << line.message;
        EXPECT_TRUE(line.accepted) << line.message;
        EXPECT_EQ(line.x1, 0);
        EXPECT_EQ(line.x2, W);
        // The edge filter answers alike on the two rows either side of the
        // step and the first wins: the last water row, 199 at x = 0. End
        // points are truncated, so they may lie a row off the line.
        EXPECT_NEAR(double(line.y1), 199.0 + 0.1 * line.x1, 1.0);
        EXPECT_NEAR(double(line.y2), 199.0 + 0.1 * line.x2, 1.0);
        EXPECT_GE(line.inliers, 18);
        EXPECT_EQ(line.message, wxString::Format("Consensus %d/%d: accept", line.inliers, line.eligible));
        ASSERT_EQ(line.stripe_columns.size(), 20u);
    }
}

TEST(LineDetection, UpsideDownImagesNeedTheInvertedSearch)
{
    line_detection_settings_t s;
    s.invert = true;
    line_detector_t d(W, H, s);
    const detected_line_t line = d.detect(floor_frame(200.0, 0.1, 4, true));
    ASSERT_TRUE(line.accepted) << line.message;
    // The same edge turned over: the last water row is 479 - 199 = 280 at x = 0.
    EXPECT_NEAR(double(line.y1), 280.0 - 0.1 * line.x1, 1.0);
    EXPECT_NEAR(double(line.y2), 280.0 - 0.1 * line.x2, 1.0);
}

TEST(LineDetection, TheRegionLimitsTheStripes)
{
    line_detector_t d(W, H, {});
    // The left half, in canvas coordinates (y up from the bottom row).
    ASSERT_TRUE(d.set_region({{10, 20}, {10, 400}, {300, 400}, {300, 20}}));
    const detected_line_t line = d.detect(floor_frame(150.0, -0.05, 5));
    ASSERT_TRUE(line.accepted) << line.message;
    EXPECT_EQ(line.x1, 10);
    EXPECT_EQ(line.x2, W - (W - 1 - 300));
    for (long x : line.stripe_columns) {
        EXPECT_GE(x, 10);
        EXPECT_LE(x, 300);
    }
    EXPECT_NEAR(double(line.y1), 149.0 - 0.05 * line.x1, 1.0);
    // Too few or too many vertices leave the region as it was.
    EXPECT_FALSE(d.set_region({{0, 0}, {5, 5}}));
    EXPECT_FALSE(d.set_region(std::vector<std::pair<long, long>>(21, {3, 3})));
    EXPECT_EQ(d.detect(floor_frame(150.0, -0.05, 5)).x1, 10);
    // Vertices beyond the image are held to it.
    EXPECT_TRUE(d.set_region({{-50, -50}, {-50, 9000}, {9000, 9000}, {9000, -50}}));
    EXPECT_EQ(d.detect(floor_frame(150.0, -0.05, 5)).x2, W);
}

TEST(LineDetection, NoiseAndBlanksAreNotAccepted)
{
    line_detector_t d(W, H, {});
    cip_t noise = cip_t::make_8bit(W, H);
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> grey(0, 255);
    for (long i = 0; i < W * H; ++i)
        noise.pixels()[i] = std::uint8_t(grey(rng));
    EXPECT_FALSE(d.detect(noise).accepted);
    const detected_line_t blank = d.detect(cip_t::make_8bit(W, H));
    EXPECT_FALSE(blank.accepted);
    // A frame of another size gives nothing.
    const detected_line_t other = d.detect(cip_t::make_8bit(W / 2, H));
    EXPECT_FALSE(other.found);
    EXPECT_EQ(other.message, "Invalid best fit line");
}

TEST(LineDetection, SettingsAndSizesOutOfRange)
{
    log_capture log;
    for (double sigma : {0.0, -1.0, 1e9, double(NAN)}) {
        line_detection_settings_t s;
        s.sigma = sigma;
        EXPECT_FALSE(line_detector_t(W, H, s).usable()) << sigma;
    }
    for (long stripes : {0L, 1L, 10000000L}) {
        line_detection_settings_t s;
        s.stripes = stripes;
        EXPECT_FALSE(line_detector_t(W, H, s).usable()) << stripes;
    }
    line_detection_settings_t ratio;
    ratio.accept_ratio = 2.0;
    EXPECT_FALSE(line_detector_t(W, H, ratio).usable());
    EXPECT_FALSE(log.records().empty());
    // Tiny frames and frames smaller than the kernel: no line, no crash.
    for (long size : {1L, 2L, 5L, 30L}) {
        line_detector_t d(size, size, {});
        cip_t img = cip_t::make_8bit(size, size);
        for (long i = 0; i < size * size; ++i)
            img.pixels()[i] = std::uint8_t(i * 37);
        EXPECT_FALSE(d.detect(img).accepted) << size;
    }
    EXPECT_FALSE(line_detector_t(0, 10, {}).usable());
    EXPECT_FALSE(line_detector_t(100000, 10, {}).usable());
}

}  // namespace
