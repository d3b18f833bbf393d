// RF frames to 8-bit B-scans: compression and phase against the worked values
// and a double-precision reference, persistence, filtering within the frame
// whatever its sizes and offsets, and frames skipped rather than crashing.
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/rf_utility.h"
#include "rf_reference.h"
#include "support/log_capture.h"

namespace {

using namespace rf_utility;

TEST(RfCompression, WorkedValuesAndReference)
{
    // Offset 20 dB, range 60 dB, gamma 1: 20 dB is clamped up to 1, 50 dB is half, 80 dB and above full.
    const display_settings_t s;
    for (const auto& [p, pixel] : {std::pair{1e2, 1}, {1e5, 127}, {1e8, 255}, {1e12, 255}, {0.0, 1}, {-5.0, 1}})
        EXPECT_EQ(envelope_pixel(p, s), pixel) << "P = " << p;
    // Any gamma and range, including the fractional gamma that turns a level below the offset into NaN.
    for (const double gamma : {0.3, 0.5, 1.0, 2.0})
        for (const double mult : {20.0, 60.0, 90.0})
            for (double db = -30; db <= 130; db += 0.37) {
                display_settings_t t;
                t.log_gamma = gamma;
                t.log_mult = mult;
                const double p = std::pow(10.0, db / 10.0);
                const double ref = 255.0 * std::pow(std::max(0.0, (db - 20.0) / mult), gamma);
                EXPECT_NEAR(envelope_pixel(p, t), rf_reference::clamp_pixel(ref), 1.0)
                    << db << " dB, gamma " << gamma << ", range " << mult;
            }
}

// A range of 0 dB (old files carry it) or a strange gamma must still give a pixel of 1 to 255.
TEST(RfCompression, DegenerateRangeAndGammaStayInRange)
{
    for (const double mult : {0.0, -10.0})
        for (const double gamma : {std::nan(""), -1.0, 0.0})
            for (const double p : {1.0, 99.0, 1e5, 1e30}) {
                const int v = envelope_pixel(p, {1, mult, 20, gamma, 1, 1});
                EXPECT_TRUE(v >= 1 && v <= 255) << mult << " " << gamma << " " << p;
            }
}

TEST(RfPhase, WorkedValuesAndReference)
{
    EXPECT_EQ(phase_pixel(1000, 0), 125);  // (0 + pi) * 40 = 125.66
    EXPECT_EQ(phase_pixel(-1e6, -1), 1);   // just below -pi + pi: clamped up, never 0
    EXPECT_EQ(phase_pixel(-1e6, 0), 251);
    for (double a = -3.14; a < 3.14; a += 0.01)
        EXPECT_EQ(phase_pixel(1e4 * std::cos(a), 1e4 * std::sin(a)),
                  rf_reference::phase(1e4 * std::cos(a), 1e4 * std::sin(a)));
}

TEST(RfPersistence, WeightFollowsFivePercentDecay)
{
    const std::pair<long, int> worked[] = {{1, 12}, {10, 189}, {0, 0}, {-3, 0}, {LONG_MAX, 255}};
    for (const auto& [p, a] : worked)
        EXPECT_EQ(persistence_weight(p), a) << p;
    for (long p = 1; p < 200; ++p)  // 0.05^(1/p) is the same weight written another way
        EXPECT_EQ(persistence_weight(p), std::min(255, static_cast<int>(std::floor(std::pow(0.05, 1.0 / p) * 256))));
}

// The store blends only frames that follow one another (by 1 or by one volume) and of the same size.
TEST(RfPersistence, BlendsOnlyFollowingFramesOfOneSize)
{
    struct step_t {
        long frame;
        std::size_t size;
        bool blended;
    };
    const step_t steps[] = {{0, 4, false}, {1, 4, true},  {2, 4, true},  {4, 4, false}, {9, 4, true},
                            {8, 4, false}, {8, 4, false}, {9, 6, false}, {10, 6, true}, {LONG_MIN + 1, 6, false}};
    persistence_t store;
    const int a = persistence_weight(1);
    std::uint8_t previous = 0;
    for (const step_t& s : steps) {
        ASSERT_TRUE(store.prepare(s.size, s.frame, 5));
        std::vector<std::uint8_t> out(s.size, static_cast<std::uint8_t>(s.frame % 2 ? 200 : 40));
        const std::uint8_t fresh = out[0];
        store.blend(out.data(), a);
        const int expected = s.blended ? (fresh * (256 - a) + previous * a) >> 8 : fresh;
        EXPECT_EQ(out[0], expected) << "frame " << s.frame;
        previous = out[0];
    }
}

class RfFilter : public ::testing::Test {
protected:
    std::mt19937 rng{7};
    long vectors = 5, samples = 40;
    std::vector<std::int16_t> frame;
    rf_reference::quadrature_t q;

    void SetUp() override
    {
        frame.resize(static_cast<std::size_t>(vectors * samples));
        std::uniform_int_distribution<int> d(-32768, 32767);
        for (auto& x : frame)
            x = static_cast<std::int16_t>(d(rng));
        std::uniform_int_distribution<std::int32_t> t(-40000, 40000);
        q.half = 3;
        for (int k = 0; k < 9; ++k) {
            q.real.push_back(t(rng));
            q.imag.push_back(t(rng));
        }
    }
    taps_t taps() const { return {q.real.data(), q.imag.data(), static_cast<long>(q.real.size()), q.half}; }
    frame_view_t view() const { return {frame.data(), vectors, samples}; }
};

// Each pixel is the reference filter of its own samples, zeros read past either end, in both displays.
TEST_F(RfFilter, MatchesReferenceInsideAnyWindow)
{
    for (const long display : {display_envelope, display_phase, display_strain, display_attenuation})
        for (const window_t w : {window_t{0, 0, vectors, samples}, window_t{1, 2, 3, 30}, window_t{4, 39, 1, 1}}) {
            display_settings_t s;
            s.display = display;
            std::vector<std::uint8_t> out(static_cast<std::size_t>(w.vectors * w.samples));
            ASSERT_TRUE(filter_rf(view(), w, taps(), s, nullptr, 0, out.data()));
            for (long v = 0; v < w.vectors; ++v)
                for (long j = 0; j < w.samples; ++j) {
                    const std::int16_t* x = frame.data() + (w.vector_offset + v) * samples;
                    const double i = rf_reference::filtered(q.real, q.half, x, samples, w.sample_offset + j);
                    const double qq = rf_reference::filtered(q.imag, q.half, x, samples, w.sample_offset + j);
                    const int ref = display == display_phase ? rf_reference::phase(i, qq) : rf_reference::envelope(i, qq);
                    ASSERT_NEAR(out[static_cast<std::size_t>(j * w.vectors + v)], ref, 1)
                        << "display " << display << ", vector " << v << ", sample " << j;
                }
        }
}

// Full-scale samples through full-scale taps: I^2 + Q^2 is far beyond 64 bits and must still read as loud.
TEST_F(RfFilter, FullScalePowerDoesNotOverflow)
{
    std::fill(frame.begin(), frame.end(), static_cast<std::int16_t>(-32768));
    const std::vector<std::int32_t> full(max_filter_length, INT32_MIN);
    const taps_t t{full.data(), full.data(), max_filter_length, max_filter_length / 2};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(vectors * samples));
    ASSERT_TRUE(filter_rf(view(), {0, 0, vectors, samples}, t, {}, nullptr, 0, out.data()));
    for (const std::uint8_t p : out)
        ASSERT_EQ(p, 255);
}

// Windows and taps that reach outside the frame are refused with the setting named, the output untouched.
TEST_F(RfFilter, RefusesWindowsAndTapsOutsideTheFrame)
{
    const std::pair<window_t, const char*> windows[] = {
        {{-1, 0, 2, 10}, "RES_RF_VECTOR_OFFSET"}, {{4, 0, 2, 10}, "RES_RF_VECTOR_OFFSET"},
        {{0, 0, 0, 10}, "RES_RF_VECTORS"},        {{0, 0, 6, 10}, "RES_RF_VECTORS"},
        {{0, -5, 2, 10}, "RES_RF_SAMPLE_OFFSET"}, {{0, 31, 2, 10}, "RES_RF_SAMPLE_OFFSET"},
        {{0, 0, 2, 41}, "RES_RF_SAMPLES"},        {{LONG_MAX, 0, 2, 10}, "RES_RF_VECTOR_OFFSET"},
        {{0, LONG_MAX, 2, LONG_MAX}, "RES_RF_SAMPLE_OFFSET"}};
    std::vector<std::uint8_t> out(1000, 0xAB);
    for (const auto& [w, named] : windows) {
        log_capture log;
        EXPECT_FALSE(filter_rf(view(), w, taps(), {}, nullptr, 0, out.data())) << named;
        EXPECT_TRUE(log.contains(named, wxLOG_Error)) << named;
    }
    for (const taps_t t : {taps_t{q.real.data(), q.imag.data(), 9, 9}, taps_t{q.real.data(), q.imag.data(), 9, -1},
                           taps_t{q.real.data(), q.imag.data(), 0, 0}, taps_t{q.real.data(), nullptr, 9, 3},
                           taps_t{q.real.data(), q.imag.data(), max_filter_length + 1, 3}}) {
        log_capture log;
        EXPECT_FALSE(filter_rf(view(), {0, 0, vectors, samples}, t, {}, nullptr, 0, out.data()));
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xAB), 1000);
}

// A persistence store that cannot be had skips that frame, says why, and the next frames still show.
TEST_F(RfFilter, FailedAllocationSkipsTheFrame)
{
    persistence_t small(10);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(vectors * samples), 0);
    display_settings_t s;
    log_capture log;
    EXPECT_FALSE(filter_rf(view(), {0, 0, vectors, samples}, taps(), s, &small, 0, out.data()));
    EXPECT_TRUE(log.contains("Couldn't malloc space for envelope sum.", wxLOG_Error));
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), vectors * samples);
    s.persist = 0;
    EXPECT_TRUE(filter_rf(view(), {0, 0, vectors, samples}, taps(), s, &small, 1, out.data()));
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), 0);
}

}  // namespace
