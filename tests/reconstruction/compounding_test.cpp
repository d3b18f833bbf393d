// Thick reslices: several parallel planes combined by maximum, minimum or average.
#include <gtest/gtest.h>

#include "reconstruction/reslice_compound.h"
#include "reconstruction/reslice_internals.h"
#include "synthetic_sweep.h"

namespace {

// Frames lying parallel to the reslice at the given depths, each a flat value.
reslice_source frames_at(std::initializer_list<std::pair<double, std::uint8_t>> depth_values)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    for (const auto& [z, v] : depth_values)
        src.frames.push_back(flat_frame(filled_image(100, 100, v), 0.0, 0.0, z));
    return src;
}

reslice_settings thick(double half, reslice_compounding_t how)
{
    reslice_settings s;
    s.normal = {0.0, 0.0, 1.0};
    s.centre = {0.5, 0.5, 0.0};
    s.up = {0.5, 1.5, 0.0};
    s.width = s.height = 30;
    s.linear = false;
    s.bscan_half_thickness = 0.001;  // each frame reaches one sampling plane only
    s.slice_half_thickness = half;
    s.compounding = how;
    return s;
}

std::uint8_t built_value(const reslice_source& src, const reslice_settings& s)
{
    reslice_internals r;
    r.set_settings(s);
    EXPECT_TRUE(r.build_reslice(src));
    const std::uint8_t first = r.image().front();
    for (const std::uint8_t v : r.image())
        EXPECT_EQ(v, first);
    return first;
}

// Catches average compounding that counts empty planes: with k = 2 (five
// planes, t = 1.5 pixels) a frame seen by the middle plane alone keeps its value.
TEST(Compounding, AverageOfOnePlaneWithDataKeepsItsValue)
{
    EXPECT_EQ(built_value(frames_at({{0.0, 80}}), thick(0.015, reslice_compounding_t::average)), 80);
    // Seen by the last plane only, after four empty ones.
    EXPECT_EQ(built_value(frames_at({{0.015, 80}}), thick(0.015, reslice_compounding_t::average)), 80);
}

// Catches outer planes placed short of +-t: the outermost planes must reach
// frames lying exactly at the slab faces.
TEST(Compounding, MaximumAndMinimumReachTheSlabFaces)
{
    const reslice_source src = frames_at({{-0.015, 60}, {0.015, 180}});
    EXPECT_EQ(built_value(src, thick(0.015, reslice_compounding_t::maximum)), 180);
    EXPECT_EQ(built_value(src, thick(0.015, reslice_compounding_t::minimum)), 60);
}

// Catches a wrong plane count below one pixel: t < s still gives k = 1, planes at -t, 0, +t.
TEST(Compounding, ThinSlabStillSamplesThreePlanes)
{
    const reslice_source src = frames_at({{-0.004, 60}, {0.004, 180}});
    EXPECT_EQ(built_value(src, thick(0.004, reslice_compounding_t::maximum)), 180);
    EXPECT_EQ(built_value(src, thick(0.004, reslice_compounding_t::minimum)), 60);
}

// Catches unequal weights in the running average: three planes with data average evenly.
TEST(Compounding, AverageWeighsEveryPlaneWithDataEqually)
{
    const reslice_source src = frames_at({{-0.015, 60}, {0.0, 90}, {0.015, 180}});
    EXPECT_NEAR(built_value(src, thick(0.015, reslice_compounding_t::average)), 110, 1);
    const reslice_source two = frames_at({{-0.015, 60}, {0.015, 180}});
    EXPECT_NEAR(built_value(two, thick(0.015, reslice_compounding_t::average)), 120, 1);
}

// Catches compounding writing into pixels no plane saw.
TEST(Compounding, PixelsNoPlaneSeesStayEmpty)
{
    for (const auto how : {reslice_compounding_t::maximum, reslice_compounding_t::minimum, reslice_compounding_t::average})
        EXPECT_EQ(built_value(frames_at({{0.5, 90}}), thick(0.015, how)), 0);
}

}  // namespace

namespace {

using rc = reslice_compounding_t;

// Catches colour codes ranked as plain numbers: against grey a code counts 64 less.
TEST(DopplerCompounding, ColourCodesRankAsTheirValueLessSixtyFour)
{
    EXPECT_EQ(compound_doppler(rc::maximum, 150, 200, 1), 150);  // 200 ranks 136
    EXPECT_EQ(compound_doppler(rc::maximum, 150, 220, 1), 220);  // 220 ranks 156
    EXPECT_EQ(compound_doppler(rc::minimum, 150, 200, 1), 200);
    EXPECT_EQ(compound_doppler(rc::minimum, 0, 200, 0), 200);
    EXPECT_EQ(compound_doppler(rc::maximum, 200, 0, 1), 200);
}

// Catches velocities averaged as grey codes: 128 is -1 and 200 is +8, mean 3.5 rounds to 4 (code 196).
TEST(DopplerCompounding, AverageWorksInVelocities)
{
    EXPECT_EQ(compound_doppler(rc::average, 128, 200, 1), 196);
    EXPECT_EQ(compound_doppler(rc::average, 100, 210, 1), 201);  // grey is velocity 0; (0 + 18) / 2
    EXPECT_EQ(compound_doppler(rc::average, 140, 130, 1), 135);  // -13 and -3 average to -8, code 135
    EXPECT_EQ(compound_doppler(rc::average, 100, 120, 1), 110);  // two greys stay grey
}

// Catches the build ignoring the colour-flow flag: plain maximum would keep the 200.
TEST(DopplerCompounding, ThickBuildUsesColourRules)
{
    reslice_source src = frames_at({{-0.015, 150}, {0.015, 200}});
    src.doppler = true;
    src.bilinear = false;
    EXPECT_EQ(built_value(src, thick(0.015, rc::maximum)), 150);
}

// Catches the running grey average drifting: 60, 90, 180 give 110 in any order.
TEST(GreyCompounding, RunningAverageIsOrderFree)
{
    const std::uint8_t a = compound_grey(rc::average, compound_grey(rc::average, 60, 90, 1), 180, 2);
    const std::uint8_t b = compound_grey(rc::average, compound_grey(rc::average, 180, 60, 1), 90, 2);
    EXPECT_NEAR(a, 110, 1);
    EXPECT_NEAR(b, 110, 1);
    EXPECT_EQ(compound_grey(rc::average, 1, 1, 200), 1);  // never falls to 0
}

}  // namespace
