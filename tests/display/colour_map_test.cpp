// The colour tables and the maps built from them: their ranges, the
// highlighting rules and the byte tables drawing relies on.
#include <cstdlib>

#include <gtest/gtest.h>

#include "display/cmap_fill.h"
#include "display/code_space.h"
#include "display/colour_tables.h"

namespace {

using rgb16 = cmap16_entry_t;

// Less precise groups look less vivid: each group's end-to-end colour
// difference shrinks, in every table but grey.
TEST(ColourTables, LaterStrainGroupsSpanLess)
{
    for (long m = 0; m < 8; ++m) {
        const cmap16_t& t = strain_cmap_for(m);
        long previous = 3 * 65536;
        for (int g = 0; g < strain_groups; ++g) {
            const rgb16 &a = t[strain_start[g]], &b = t[strain_start[g] + strain_range[g] - 1];
            const long span = std::labs(a[0] - b[0]) + std::labs(a[1] - b[1]) + std::labs(a[2] - b[2]);
            EXPECT_LT(span, previous) << "map " << m << " group " << g;
            previous = span;
        }
    }
}

// Every strain map either way round is a valid map with black for "no data",
// also where a component does not change within a group (pink-green's green).
TEST(StrainMap, EveryMapIsFiniteAndInRange)
{
    float_cmap_t map;
    for (long m = -1; m < 10; ++m)
        for (bool invert : {false, true}) {
            fill_strain_cmap(map, m, invert);
            EXPECT_EQ(map.red[0] + map.green[0] + map.blue[0], 0.0f);
            for (int i = 0; i < 256; ++i)
                for (float v : {map.red[i], map.green[i], map.blue[i]})
                    ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << "map " << m << " entry " << i;
        }
}

// Grey stops short of white (byte 254), and brighter codes never draw darker,
// in the grey map and in the Doppler map's grey band.
TEST(ByteMaps, GreyIsMonotoneAndNeutral)
{
    float_cmap_t grey, doppler;
    fill_grey_cmap(grey);
    fill_doppler_cmap(doppler);
    EXPECT_FLOAT_EQ(grey.red[255], 255.0f / 256.0f);
    const byte_cmap_t g = make_byte_cmap(grey), d = make_byte_cmap(doppler);
    EXPECT_EQ(g.red8[255], 254);
    for (int i = 1; i < 256; ++i) {
        EXPECT_GE(g.red8[i], g.red8[i - 1]);
        EXPECT_TRUE(g.red8[i] == g.green8[i] && g.red8[i] == g.blue8[i]);
        EXPECT_TRUE(i >= 128 || d.red8[i] > d.red8[i - 1]) << i;
    }
}

bool is_magenta(const float_cmap_t& m, int i, float level)
{
    return m.red[i] == level && m.green[i] == 0.0f && m.blue[i] == level;
}
bool is_grey(const float_cmap_t& m, int i)
{
    return m.red[i] == i / 256.0f && m.green[i] == m.red[i] && m.blue[i] == m.red[i];
}

// Thresholds 0 and 0 mean no highlighting; a band is magenta, and beyond
// the barrier on its far side half magenta. lo > hi highlights both tails; a
// barrier then applies only when a tail is empty.
TEST(BinaryMaps, GreyBandsTailsAndBarriers)
{
    float_cmap_t m, grey;
    fill_grey_cmap(grey);
    fill_grey_binary_cmap(m, 0, 0, 77);
    EXPECT_EQ(m.red, grey.red);
    fill_grey_binary_cmap(m, 100, 150, 200);
    EXPECT_TRUE(is_grey(m, 99) && is_magenta(m, 100, 1.0f) && is_magenta(m, 150, 1.0f));
    EXPECT_TRUE(is_grey(m, 200) && is_magenta(m, 201, 0.5f));
    fill_grey_binary_cmap(m, 100, 150, 50);
    EXPECT_TRUE(is_magenta(m, 49, 0.5f) && is_grey(m, 50));
    fill_grey_binary_cmap(m, 200, 50, 120);
    EXPECT_TRUE(is_magenta(m, 49, 1.0f) && is_grey(m, 50) && is_grey(m, 110) && is_magenta(m, 201, 1.0f));
    fill_grey_binary_cmap(m, 200, 0, 120);
    EXPECT_TRUE(is_magenta(m, 119, 0.5f) && is_grey(m, 120) && is_magenta(m, 201, 1.0f));
}

// Each Doppler band has its own thresholds; other codes keep the Doppler colours.
TEST(BinaryMaps, DopplerBandsUseTheirOwnThresholds)
{
    float_cmap_t m;
    fill_doppler_binary_cmap(m, 10, 20, 210, 200, 130, 140);
    EXPECT_TRUE(is_magenta(m, 10, 1.0f) && is_magenta(m, 20, 1.0f) && is_magenta(m, 135, 1.0f));
    EXPECT_FALSE(is_magenta(m, 141, 1.0f));
    EXPECT_FLOAT_EQ(m.blue[141], doppler_cmap[141][2] / 65535.0f);
    EXPECT_TRUE(is_magenta(m, 199, 1.0f) && is_magenta(m, 211, 1.0f));  // red band, lo > hi: the tails
    EXPECT_FALSE(is_magenta(m, 205, 1.0f));
}

}  // namespace
