// The display window against an independent evaluation of its formula with
// wider arithmetic, for every 16-bit value and widths from 1 to 65536, and
// its fixed points: padding and zero show as 1, a width of 256 at slope 1
// gives one grey level per stored unit.
#include <cmath>

#include <gtest/gtest.h>

#include "volumes/dicom_window.h"

namespace {

std::uint8_t independent(std::uint16_t v, const dicom_window_t& w)
{
    const long double width = w.width < 1 ? 1.0L : (long double)w.width;
    const __int128 g = (__int128)std::llround((long double)16777216.0L * (long double)w.slope / width);
    const __int128 o = (__int128)std::floor(((long double)w.offset - (long double)w.centre) * 256.0L / width + 127.5L);
    const __int128 level = (__int128)v * g / 65536 + o;
    if (w.padding && v == *w.padding)
        return 1;
    return level <= 0 ? 1 : level > 255 ? 255 : std::uint8_t(level);
}

TEST(DicomWindow, MatchesTheFormulaForEveryValue)
{
    std::vector<std::uint16_t> all(65536);
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = std::uint16_t(i);
    std::vector<std::uint8_t> out(all.size());
    for (double width : {1.0, 2.0, 255.0, 256.0, 257.0, 400.0, 2048.0, 4095.0, 65535.0, 65536.0, 0.5})
        for (double slope : {1.0, 0.5, -1.0, 2.5})
            for (double offset : {0.0, -32768.0})
                for (double centre : {40.0, 1024.0}) {
                    const dicom_window_t w{centre, width, slope, offset, std::uint16_t(31000)};
                    window_dicom(all, out, w);
                    for (std::size_t v = 0; v < all.size(); ++v)
                        ASSERT_EQ(out[v], independent(std::uint16_t(v), w))
                            << "v " << v << " width " << width << " slope " << slope << " offset " << offset;
                }
}

TEST(DicomWindow, FixedPoints)
{
    // Width 256, slope 1: consecutive stored values a grey level apart.
    const window_terms_t t = window_terms({128.0, 256.0, 1.0, 0.0, {}});
    for (std::uint16_t v = 10; v < 240; ++v)
        EXPECT_EQ(windowed(std::uint16_t(v + 1), t, {}) - windowed(v, t, {}), 1) << v;
    EXPECT_EQ(windowed(0, window_terms({5000.0, 100.0, 1.0, 0.0, {}}), {}), 1);  // never 0
    EXPECT_EQ(windowed(7, t, std::uint16_t(7)), 1);                              // padding
    // Settings that are not numbers fall back to the default window, not to noise.
    const window_terms_t nan = window_terms({NAN, 400.0, 1.0, 0.0, {}});
    const window_terms_t def = window_terms({});
    EXPECT_EQ(nan.gain, def.gain);
    EXPECT_EQ(nan.offset, def.offset);
}

}  // namespace
