// Zooming coded images: the cubic kernels, staying inside the source for any
// origin and zoom, keeping Doppler and strain codes in their groups, and
// saturating (not wrapping) where the cubic overshoots.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "display/code_space.h"
#include "display/resample.h"

namespace {

// Catmull-Rom at zoom 2 interpolates, B = C = 1/3 from zoom 4, the B-spline
// for no-data images never rings, and fixed-point weights always sum to 256.
TEST(CubicKernel, FamilyProperties)
{
    const mitchell_netravali_t cr = choose_cubic_kernel(2.0, false);
    EXPECT_DOUBLE_EQ(mitchell_netravali(0.0, cr), 1.0);
    EXPECT_DOUBLE_EQ(mitchell_netravali(1.0, cr), 0.0);
    EXPECT_NEAR(choose_cubic_kernel(4.0, false).b, 1.0 / 3.0, 1e-15);
    EXPECT_NEAR(choose_cubic_kernel(4.0, false).c, 1.0 / 3.0, 1e-15);
    const mitchell_netravali_t spline = choose_cubic_kernel(3.0, true);
    EXPECT_NEAR(mitchell_netravali(0.0, spline), 2.0 / 3.0, 1e-15);
    for (int k : cubic_weights_256(0.3, spline))
        EXPECT_GE(k, 0);
    for (double zoom : {2.0, 2.5, 3.7, 9.0})
        for (double frac = 0.0; frac < 1.0; frac += 0.0625) {
            const auto w = cubic_weights_256(frac, choose_cubic_kernel(zoom, false));
            EXPECT_EQ(w[0] + w[1] + w[2] + w[3], 256);
        }
}

class Resample : public ::testing::Test {
protected:
    static constexpr int w = 7, h = 5;
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(w * h);
    resample_setup_t setup;
    void SetUp() override { setup.background = {1, 2, 3}; }

    // Output codes (grey only), or the background's 1.
    std::vector<std::uint8_t> run(const std::uint8_t* src, int dw, int dh, double x0, double y0, double zx,
                                  double zy, bool zero_bg, bool* drawn = nullptr)
    {
        std::vector<std::uint8_t> dst(static_cast<std::size_t>(dw * dh * 3), 0xEE);
        const bool ok = interp_to_rgb(setup, src, w, h, dst.data(), dw, dh, x0, y0, zx, zy, zero_bg, true);
        if (drawn)
            *drawn = ok;
        std::vector<std::uint8_t> codes;
        for (std::size_t p = 0; p < dst.size(); p += 3)
            codes.push_back(dst[p]);
        return codes;
    }
};

// A constant image inside guard bytes of another code: on every path, for
// random and extreme origins and zooms, each output pixel is the image's
// value or background, never the guard's (the sanitizer build checks the same).
TEST_F(Resample, NeverReadsOutsideTheSource)
{
    std::vector<std::uint8_t> guarded(64, 250);
    guarded.insert(guarded.end(), w * h, 77);
    guarded.insert(guarded.end(), 64, 250);
    const std::uint8_t* src = guarded.data() + 64;
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> origin(-20.0, 8.0), zoom(0.05, 9.0);
    const double huge = 1e300, inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    for (int mode = 0; mode < 5; ++mode) {
        setup.doppler = mode == 1;
        setup.strain = mode == 2;
        setup.display_pixels = mode == 3;
        for (int trial = 0; trial < 336; ++trial) {
            double x0 = origin(rng), y0 = origin(rng), zx = zoom(rng), zy = (trial % 2 ? -1 : 1) * zoom(rng);
            if (trial >= 300) {  // the extremes, in every combination
                const double values[6] = {-huge, huge, 1 / huge, inf, nan, 0.0};
                x0 = y0 = -values[trial % 6];
                zx = std::fabs(values[(trial / 6) % 6]);
                zy = values[(trial / 6) % 6];
            }
            for (std::uint8_t c : run(src, 23, 17, x0, y0, zx, zy, mode == 4))
                ASSERT_TRUE(c == 77 || c == 1 || c == 0xEE) << "mode " << mode << " trial " << trial;
        }
    }
}

// Drawing starts at the last pixel centre at most; columns left of the image are background.
TEST_F(Resample, OriginPlacesTheImage)
{
    image.assign(image.size(), 77);
    bool drawn = false;
    run(image.data(), 4, 4, w - 0.5, 0.0, 1.0, 1.0, false, &drawn);
    EXPECT_TRUE(drawn);
    const auto none = run(image.data(), 4, 4, w - 0.49, 0.0, 1.0, 1.0, false, &drawn);
    EXPECT_FALSE(drawn);
    EXPECT_EQ(none, std::vector<std::uint8_t>(16, 0xEE));
    run(image.data(), 4, 4, 0.0, h - 0.49, 1.0, 1.0, false, &drawn);
    EXPECT_FALSE(drawn);
    const auto row = run(image.data(), 12, 1, -3.0, 0.0, 1.0, 1.0, false);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(row[static_cast<std::size_t>(i)], i < 3 || i >= 3 + w ? 1 : 77) << i;
}

// A negative vertical zoom mirrors the output rows.
TEST_F(Resample, NegativeZoomFlipsVertically)
{
    for (int i = 0; i < w * h; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(10 + 30 * (i / w) + i % w);
    const auto up = run(image.data(), 14, 10, 0.0, 0.0, 2.0, 2.0, false);
    const auto down = run(image.data(), 14, 10, 0.0, 0.0, 2.0, -2.0, false);
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 14; ++i)
            ASSERT_EQ(down[static_cast<std::size_t>(j * 14 + i)], up[static_cast<std::size_t>((9 - j) * 14 + i)]);
}

// A sharp edge through a ringing kernel clips at 0 and 255 instead of
// wrapping round: the output across the edge never decreases.
TEST_F(Resample, CubicOvershootSaturates)
{
    for (int i = 0; i < w * h; ++i)
        image[static_cast<std::size_t>(i)] = i % w < 3 ? 0 : 255;
    for (double zoom : {2.0, 3.0, 5.0}) {
        const int dw = static_cast<int>(w * zoom);
        const auto row = run(image.data(), dw, 1, 0.0, 2.0, zoom, zoom, false);
        for (int i = 1; i < dw; ++i)
            ASSERT_GE(row[static_cast<std::size_t>(i)], row[static_cast<std::size_t>(i - 1)]) << zoom << " " << i;
        EXPECT_EQ(row.front(), 0);
        EXPECT_EQ(row.back(), 255);
    }
}

// Doppler images blend within a band but never mix grey with flow.
TEST_F(Resample, DopplerCodesStayInTheirBands)
{
    setup.doppler = true;
    for (int i = 0; i < w * h; ++i)
        image[static_cast<std::size_t>(i)] = i % w < 3 ? static_cast<std::uint8_t>(20 + 20 * (i % w)) : 200;
    bool blended = false;
    for (int c : run(image.data(), 21, 15, 0.0, 0.0, 3.0, 3.0, false)) {
        EXPECT_TRUE(c == 200 || (c >= 20 && c <= 60)) << c;
        blended = blended || (c % 20 != 0);
    }
    EXPECT_TRUE(blended);  // interpolated, not just copied
}

// Strain images interpolate only into the groups between their codes', never to "no data".
TEST_F(Resample, StrainCodesStayBetweenTheirGroups)
{
    setup.strain = true;
    for (int i = 0; i < w * h; ++i)
        image[static_cast<std::size_t>(i)] = (i % w + i / w) % 2 ? 40 : 225;  // groups 0 and 5
    for (std::uint8_t c : run(image.data(), 10, 7, 0.0, 0.0, 1.5, 1.5, false)) {
        EXPECT_GE(strain_group[c], 0);
        EXPECT_LE(strain_group[c], 5);
    }
}

// With zero as background, no-data pixels show the background and do not darken their neighbours.
TEST_F(Resample, ZeroIsBackground)
{
    setup.doppler = true;
    for (int i = 0; i < w * h; ++i)
        image[static_cast<std::size_t>(i)] = i % w < 4 ? 0 : 100;
    const auto codes = run(image.data(), 14, 10, 0.0, 0.0, 2.0, 2.0, true);
    for (std::uint8_t c : codes)
        EXPECT_TRUE(c == 1 || c == 100) << int{c};
    EXPECT_EQ(codes.front(), 1);
}

}  // namespace
