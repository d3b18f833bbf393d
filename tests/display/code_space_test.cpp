// The code spaces: strain groups, strain codes and the code interpolators
// that must never produce a code of an unrelated group.
#include <algorithm>
#include <limits>

#include <gtest/gtest.h>

#include "display/code_space.h"

namespace {

// Known codes, and wild inputs that must still land on a real code.
TEST(StrainCodes, KnownCodesAndWildInputs)
{
    EXPECT_EQ(StrainToCode(0.5, 1.0), 40);
    EXPECT_EQ(StrainToCode(1.0, 0.0), 255);
    EXPECT_EQ(StrainToCode(-0.3, 0.55), 221);  // negative: first code of group 9 - trunc(4.95)
    EXPECT_DOUBLE_EQ(CodeToStrain(0), -1.0);
    EXPECT_DOUBLE_EQ(CodeToStrain(80), 1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(StrainToCode(1e300, 1.0), 80);
    EXPECT_EQ(StrainToCode(nan, 1.0), 1);
    EXPECT_EQ(StrainToCode(0.0, -3.0), 251);
    EXPECT_NE(StrainToCode(0.5, nan), 0);
}

// Coding and decoding agree: every code's strain codes back to the same code
// at every precision that selects its group, its lower boundary included
// (products such as 22 / 79 * 79 land a hair below a whole number).
TEST(StrainCodes, EveryCodeRoundTripsAtEveryPrecisionOfItsGroup)
{
    for (int c = 1; c < 256; ++c) {
        const int g = strain_group[c];
        const double low = (9 - g) / 9.0, high = g == 0 ? 1.0 : (10 - g) / 9.0 - 1e-6;
        for (const double precision : {low, 0.5 * (low + high), high})
            EXPECT_EQ(StrainToCode(CodeToStrain(c), precision), c) << c << " at " << precision;
    }
}

// A Doppler pixel between grey and flow is one or the other; within a band codes blend.
TEST(CodeInterpolation, DopplerNeverBlendsAcrossBands)
{
    EXPECT_EQ(InterpDoppler(100, 200, 40000, 25536), 100);
    EXPECT_EQ(InterpDoppler(100, 200, 32768, 32768), 200);  // a tie goes to b
    EXPECT_EQ(InterpDoppler(127, 128, 40000, 25536), 127);
    EXPECT_EQ(InterpDoppler(10, 20, 32768, 32768), 15);
    EXPECT_EQ(InterpDoppler(130, 190, 16384, 49152), 175);
}

// Any two strain codes at any weight give a code of a group between theirs,
// and "no data" only from two "no data" codes.
TEST(CodeInterpolation, StrainLandsBetweenTheInputGroups)
{
    for (int a = 0; a < 256; a += 3)
        for (int b = 0; b < 256; b += 5)
            for (std::uint32_t wa : {0u, 1u, 20000u, 32768u, 50000u, 65536u}) {
                const int r = InterpStrain(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b), wa, 65536u - wa);
                const int ga = strain_group[a], gb = strain_group[b];
                if (ga < 0 && gb < 0) {
                    EXPECT_EQ(r, 0);
                    continue;
                }
                const int lo = ga < 0 ? gb : (gb < 0 ? ga : std::min(ga, gb));
                const int hi = ga < 0 ? gb : (gb < 0 ? ga : std::max(ga, gb));
                ASSERT_GE(strain_group[r], lo) << a << " " << b << " " << wa;
                ASSERT_LE(strain_group[r], hi) << a << " " << b << " " << wa;
            }
}

// Levels rescale to the target group: the tops of groups 0 and 2 meet at the top of group 1.
TEST(CodeInterpolation, StrainLevelsRescale)
{
    EXPECT_EQ(InterpStrain(80, 180, 32768, 32768), 140);
    EXPECT_EQ(InterpStrain(0, 121, 32768, 32768), 101);  // no data counts as level 0 of the other's group
}

}  // namespace
