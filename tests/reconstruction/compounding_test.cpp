// Thick reslices: several parallel planes combined by maximum, minimum or average.
#include <gtest/gtest.h>

#include "reconstruction/reslice_compound.h"
#include "synthetic_sweep.h"

namespace {

using rc = reslice_compounding_t;
using depth_values = std::vector<std::pair<double, std::uint8_t>>;

// Frames lying parallel to the reslice at the given depths, each a flat value.
reslice_source frames_at(const depth_values& frames)
{
    reslice_source src = source_of(0.01);
    for (const auto& [z, v] : frames)
        src.frames.push_back(flat_frame(filled_image(100, 100, v), 0.0, 0.0, z));
    return src;
}

// The value of a 30 x 30 slab about z = 0 of half thickness `half`, which must be uniform.
std::uint8_t slab_value(const reslice_source& src, double half, rc how)
{
    reslice_settings s = plane_at({0.0, 0.0, 1.0}, {0.5, 0.5, 0.0}, 30, false, 0.001);  // a frame reaches one plane
    s.slice_half_thickness = half;
    s.compounding = how;
    const reslice_internals r = built(src, s);
    for (const std::uint8_t v : r.image())
        EXPECT_EQ(v, r.image().front());
    return r.image().front();
}

// With t = 0.015 there are five planes (k = 2); with t = 0.004 < s still three, at -t, 0, +t.
TEST(Compounding, SlabValuesFollowTheRule)
{
    const struct {
        depth_values frames;
        double half;
        rc how;
        int expected, tolerance;
    } cases[] = {
        // Average counting empty planes: a frame seen by one plane keeps its value.
        {{{0.0, 80}}, 0.015, rc::average, 80, 0},
        {{{0.015, 80}}, 0.015, rc::average, 80, 0},  // the last plane, after four empty ones
        // Outer planes short of +-t miss frames at the slab faces.
        {{{-0.015, 60}, {0.015, 180}}, 0.015, rc::maximum, 180, 0},
        {{{-0.015, 60}, {0.015, 180}}, 0.015, rc::minimum, 60, 0},
        // A wrong plane count below one pixel.
        {{{-0.004, 60}, {0.004, 180}}, 0.004, rc::maximum, 180, 0},
        {{{-0.004, 60}, {0.004, 180}}, 0.004, rc::minimum, 60, 0},
        // Unequal weights in the running average.
        {{{-0.015, 60}, {0.0, 90}, {0.015, 180}}, 0.015, rc::average, 110, 1},
        {{{-0.015, 60}, {0.015, 180}}, 0.015, rc::average, 120, 1},
        // Compounding writing into pixels no plane saw.
        {{{0.5, 90}}, 0.015, rc::maximum, 0, 0},
        {{{0.5, 90}}, 0.015, rc::minimum, 0, 0},
        {{{0.5, 90}}, 0.015, rc::average, 0, 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_NEAR(slab_value(frames_at(cases[i].frames), cases[i].half, cases[i].how), cases[i].expected,
                    cases[i].tolerance)
            << "case " << i;
}

// Colour codes must not rank as plain numbers (against grey a code counts 64
// less), and averages work in velocities: 128 is -1, 200 is +8, grey is 0.
TEST(DopplerCompounding, CodesRankAndAverageByTheirOwnRules)
{
    const struct {
        rc how;
        std::uint8_t a, b;
        unsigned seen;
        int expected;
    } cases[] = {
        {rc::maximum, 150, 200, 1, 150},  // 200 ranks 136
        {rc::maximum, 150, 220, 1, 220},  // 220 ranks 156
        {rc::minimum, 150, 200, 1, 200},
        {rc::minimum, 0, 200, 0, 200},
        {rc::maximum, 200, 0, 1, 200},
        {rc::average, 128, 200, 1, 196},  // mean 3.5 rounds to 4
        {rc::average, 100, 210, 1, 201},  // (0 + 18) / 2
        {rc::average, 140, 130, 1, 135},  // -13 and -3 average to -8
        {rc::average, 100, 120, 1, 110},  // two greys stay grey
    };
    for (const auto& c : cases)
        EXPECT_EQ(compound_doppler(c.how, c.a, c.b, c.seen), c.expected) << int(c.a) << " " << int(c.b);

    // The build must use these rules on colour-flow data: plain maximum would keep the 200.
    reslice_source src = frames_at({{-0.015, 150}, {0.015, 200}});
    src.doppler = true;
    src.bilinear = false;
    EXPECT_EQ(slab_value(src, 0.015, rc::maximum), 150);
}

// Catches the running grey average drifting: 60, 90, 180 give 110 in any order.
TEST(GreyCompounding, RunningAverageIsOrderFree)
{
    EXPECT_NEAR(compound_grey(rc::average, compound_grey(rc::average, 60, 90, 1), 180, 2), 110, 1);
    EXPECT_NEAR(compound_grey(rc::average, compound_grey(rc::average, 180, 60, 1), 90, 2), 110, 1);
    EXPECT_EQ(compound_grey(rc::average, 1, 1, 200), 1);  // never falls to 0
}

}  // namespace
