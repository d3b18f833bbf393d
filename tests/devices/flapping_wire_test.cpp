// The swept-probe motor's command frames, reply verdicts, motion model and
// swept pose, as pure functions.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devices/flapping_model.h"
#include "devices/flapping_protocol.h"

namespace {

using bytes_t = std::vector<unsigned char>;

bytes_t frame_of(const std::string& text)
{
    return *flap::encode(text);
}

// Catches a wrong checksum span (STX or ETX included), lower-case digits or a
// frame a byte short: "GA0" is nine bytes on the line.
TEST(FlapWire, GoToCentreIsNineExactBytes)
{
    EXPECT_EQ(frame_of("GA0"), (bytes_t{0x02, 0x30, 0x47, 0x41, 0x30, 0x3A, 0x33, 0x43, 0x03}));
    EXPECT_EQ(frame_of(""), (bytes_t{0x02, 0x30, 0x3A, 0x30, 0x41, 0x03}));  // '0' ^ ':' = 0x0A
    const bytes_t ga = frame_of("GA-1086");
    ASSERT_EQ(ga.size(), 13u);
    unsigned char x = 0;
    for (std::size_t i = 1; i + 3 < ga.size(); ++i)
        x ^= ga[i];
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", x);
    EXPECT_EQ(ga[ga.size() - 3], digits[0]);
    EXPECT_EQ(ga[ga.size() - 2], digits[1]);
}

// Catches an overlong command reaching the line, or a frame cut by STX/ETX
// inside it; every command the driver sends decodes back to itself.
TEST(FlapWire, LengthLimitAndRoundTrip)
{
    EXPECT_TRUE(flap::encode(std::string(44, 'P')).has_value());
    EXPECT_FALSE(flap::encode(std::string(45, 'P')).has_value());
    EXPECT_FALSE(flap::encode(std::string("GA\x03", 3)).has_value());
    for (const char* c : {"", "CR", "PO800", "PF5000", "PN9", "PR0.6", "PS0.3", "PM58", "PP58", "PT5", "GI-", "GI+",
                          "H", "IS?", "GA-3200", "GW", "GX"}) {
        const auto f = flap::decode(frame_of(c));
        ASSERT_TRUE(f.has_value()) << c;
        EXPECT_EQ(f->text, c);
        EXPECT_TRUE(f->checksum_ok) << c;
    }
    bytes_t damaged = frame_of("GA100");
    damaged[4] ^= 0x01;
    ASSERT_TRUE(flap::decode(damaged).has_value());
    EXPECT_FALSE(flap::decode(damaged)->checksum_ok);
    for (const bytes_t& bad : {bytes_t{}, bytes_t{2, '0', ':', '0', 'A'}, bytes_t{2, '0', ':', '0', 'a', 3},
                               bytes_t{2, '1', ':', '0', 'A', 3}, bytes_t{2, '0', 'X', '0', 'A', 3}})
        EXPECT_FALSE(flap::decode(bad).has_value());
}

// Catches a status digit read at the wrong index or bit, lower-case or
// non-hex digits taken as running, and short or unframed replies trusted.
TEST(FlapWire, StatusAndIndexVerdictsFailSafe)
{
    EXPECT_FALSE(flap::status_says_running(frame_of("SA00")));  // bit 0 of 10 clear
    EXPECT_TRUE(flap::status_says_running(frame_of("SB00")));
    EXPECT_TRUE(flap::status_says_running(frame_of("S100")));
    EXPECT_FALSE(flap::status_says_running(frame_of("Sb00")));
    EXPECT_FALSE(flap::status_says_running(frame_of("SZ00")));
    EXPECT_FALSE(flap::status_says_running(frame_of("S1")));  // 8 bytes: stopped
    bytes_t unframed = frame_of("SB00");
    unframed.back() = 'x';
    EXPECT_FALSE(flap::status_says_running(unframed));
    EXPECT_FALSE(flap::status_says_running({}));

    EXPECT_TRUE(flap::index_says_centred(frame_of("IS=000004")));
    EXPECT_TRUE(flap::index_says_centred(frame_of("IS=00000F")));
    EXPECT_FALSE(flap::index_says_centred(frame_of("IS=00000B")));  // bit 2 clear
    EXPECT_FALSE(flap::index_says_centred(frame_of("IS=00000f")));
    EXPECT_FALSE(flap::index_says_centred(frame_of("IS=0000004")));  // 16 bytes
    EXPECT_FALSE(flap::index_says_centred(frame_of("IS=00004")));    // 14 bytes
}

// Catches an unclamped end (a 40° range past the 3200-count travel), a wrong
// speed formula, the cap not applied or an impossible sweep accepted, and
// unusable inputs dividing by zero.
TEST(FlapModel, EndsAndSweepSpeeds)
{
    EXPECT_NEAR(flap::end_counts(10), 1086.9565, 1e-3);
    EXPECT_EQ(flap::end_counts(40), 3200.0);
    EXPECT_EQ(flap::end_counts(0), 0.0);
    EXPECT_EQ(flap::end_counts(-10), 0.0);

    const double r = flap::end_counts(10);
    const flap::sweep_plan_t slow = flap::plan_sweep(r, 50, 25.0);  // T = 2 s, below 800: no ramp
    EXPECT_TRUE(slow.possible);
    EXPECT_NEAR(slow.speed, r / 8.0, 1e-9);
    const flap::sweep_plan_t ramped = flap::plan_sweep(r, 20, 100.0);  // T = 0.2 s
    ASSERT_TRUE(ramped.possible);
    EXPECT_NEAR(ramped.speed, 60000.0 * (0.2 - std::sqrt(0.04 - r / 120000.0)), 1e-6);
    EXPECT_FALSE(ramped.capped);
    const flap::sweep_plan_t capped = flap::plan_sweep(r, 10, 10.0 / 0.0952);
    ASSERT_TRUE(capped.possible);
    EXPECT_TRUE(capped.capped);
    EXPECT_EQ(capped.speed, 5000.0);
    EXPECT_GT(capped.wanted, 5000.0);
    EXPECT_FALSE(flap::plan_sweep(r, 10, 10.0 / 0.09).possible);  // T² < R/120000
    for (const double rate : {0.0, -25.0, std::nan(""), HUGE_VAL})
        EXPECT_FALSE(flap::plan_sweep(r, 50, rate).possible) << rate;
    EXPECT_FALSE(flap::plan_sweep(r, 1, 25.0).possible);
    EXPECT_FALSE(flap::plan_sweep(0.0, 50, 25.0).possible);
    EXPECT_FALSE(flap::plan_sweep(1e-240, 4, 1e-240).possible) << "a speed that underflows to 0";
}

// Catches a profile that jumps between its phases, overshoots its end, ends
// late or early, or is not the mirror image for the other direction.
TEST(FlapModel, PositionProfileIsContinuousBoundedAndSymmetric)
{
    for (const double v : {135.0, 800.0, 1447.0, 5000.0, 9000.0}) {
        for (const double p0 : {-1086.96, 3200.0}) {
            double last = p0;
            const double step = 1e-5;
            for (double e = -0.01; e < 1.0; e += step) {
                const double p = flap::model_position(e, p0, v);
                ASSERT_LE(std::fabs(p), std::fabs(p0) + 1e-9) << v << " " << e;
                ASSERT_LE(std::fabs(p - last), 8.0 * v * step * 1.01 + 1e-9) << v << " " << e;
                ASSERT_NEAR(flap::model_position(e, -p0, v), -p, 1e-9);
                last = p;
            }
        }
    }
    EXPECT_EQ(flap::model_position(-1.0, 500.0, 800.0), 500.0);
    EXPECT_NEAR(flap::model_position(0.1, -1000.0, 500.0), -1000.0 + 400.0, 1e-9);  // 8·v·e without a ramp
    EXPECT_EQ(flap::model_position(0.5, -1000.0, 500.0), 1000.0);                   // 2000 counts take 0.5 s
    const double ta = 1447.0 / 120000.0;
    EXPECT_NEAR(flap::model_position(ta, -1086.96, 1447.0), -1086.96 + 4.0 * 120000.0 * ta * ta, 1e-9);
    EXPECT_EQ(flap::model_position(10.0, 3200.0, 5000.0), -3200.0);
    EXPECT_EQ(flap::model_position(1.0, 500.0, 0.0), 500.0) << "no speed: no division by zero";
}

// Catches a swept pose that moves the unswept probe, turns about the wrong
// axis or by the wrong angle, is not symmetric, or makes a pose of a mark.
TEST(FlapModel, SweptPoseTurnsAboutTheMotorAxis)
{
    flap::sweep_geometry_t g;
    g.axis_depth = 1.5;
    g.elements = {64, 0.5};
    matrix16d mcal;
    mcal.forward(1.0, 2.0, 3.0, 10.0, 20.0, 30.0);
    const float base[6] = {5.0f, -4.0f, 3.0f, 40.0f, -10.0f, 5.0f};
    for (const long element : {-1L, 0L, 31L, 63L}) {
        float p[6] = {base[0], base[1], base[2], base[3], base[4], base[5]};
        ASSERT_TRUE(flap::swept_pose(0.0, element, g, mcal, p));
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(p[i], base[i], 1e-4) << element << " " << i;
    }
    // With no calibration or pose, the top of the image turns on a circle about the axis.
    const double counts = 2000.0;
    const double phi = counts * flap::degrees_per_count * M_PI / 180.0;
    matrix16d w;
    ASSERT_TRUE(flap::sweep_transform(counts, -1, g, &w));
    const vertex3d top = w * vertex3d{0.7, 0.0, 0.0};
    EXPECT_NEAR(top.x, 0.7, 1e-12);
    EXPECT_NEAR(top.y, -1.5 + 1.5 * std::cos(phi), 1e-12);
    EXPECT_NEAR(top.z, 1.5 * std::sin(phi), 1e-12);
    const vertex3d on_axis = w * vertex3d{3.0, -1.5, 0.0};
    EXPECT_NEAR(on_axis.y, -1.5, 1e-12);
    EXPECT_NEAR(on_axis.z, 0.0, 1e-12);
    // Symmetric: the sweep to −p undoes the sweep to +p, for a tilted element too.
    matrix16d back;
    ASSERT_TRUE(flap::sweep_transform(counts, 5, g, &w));
    ASSERT_TRUE(flap::sweep_transform(-counts, 5, g, &back));
    const matrix16d id = w * back;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(id[i], i % 5 == 0 ? 1.0 : 0.0, 1e-12) << i;

    float p[6] = {base[0], base[1], base[2], base[3], base[4], base[5]};
    for (const double mark : {10000.0, 20000.0, 3200.5, -3201.0, std::nan("")})
        EXPECT_FALSE(flap::swept_pose(mark, -1, g, mcal, p)) << mark;
    EXPECT_FALSE(flap::swept_pose(100.0, 64, g, mcal, p));
    EXPECT_FALSE(flap::swept_pose(100.0, -2, g, mcal, p));
    EXPECT_EQ(p[0], base[0]) << "a refused pose is left as it was";
}

}  // namespace
