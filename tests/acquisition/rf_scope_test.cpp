// The oscilloscope's trace: the chosen vector and samples, the gain, an
// envelope that is the display's own quadrature filter output, and the mean
// of a run of vectors kept inside the frame.
#include <climits>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "acquisition/rf_scope.h"
#include "rf_reference.h"

namespace {

constexpr long vectors = 3, samples = 120;

cip_t tone_frame()
{
    cip_t f = cip_t::make_16bit(vectors, samples);
    for (long v = 0; v < vectors; ++v)
        for (long n = 0; n < samples; ++n)
            f.signed_samples()[v * samples + n] =
                static_cast<std::int16_t>(std::lround(100.0 * (v + 1) * std::cos(0.2 * M_PI * n)));
    return f;
}

// Catches the wrong vector, an off-by-one start, or a gain in the wrong units (+20 dB is x10).
TEST(RfScope, RawTraceIsTheChosenSamplesTimesTheGain)
{
    const cip_t f = tone_frame();
    rf_trace_t t;
    ASSERT_TRUE(rf_trace(f, {1, 10, 20, 20.0, rf_scope_raw}, nullptr, &t));
    ASSERT_EQ(t.values.size(), 20u);
    for (long k = 0; k < 20; ++k)
        EXPECT_NEAR(t.values[static_cast<std::size_t>(k)], 10.0 * f.signed_samples()[samples + 10 + k], 1e-9) << k;
}

// A vector or start past the frame shows the last one, never memory beyond it; 0 samples runs to the end.
TEST(RfScope, SettingsBeyondTheFrameAreBroughtInside)
{
    rf_trace_t t;
    ASSERT_TRUE(rf_trace(tone_frame(), {99, 500, 0, 0.0, rf_scope_raw}, nullptr, &t));
    EXPECT_EQ(t.vector, vectors - 1);
    EXPECT_EQ(t.first, samples - 1);
    EXPECT_EQ(t.values.size(), 1u);
    EXPECT_FALSE(rf_trace(cip_t::make_8bit(4, 4), {}, nullptr, &t)) << "a frame without samples has no trace";
}

// The envelope is |I + iQ| of the probe's taps, as the display computes them; without taps, the rectified samples.
TEST(RfScope, EnvelopeIsTheQuadratureFilterMagnitude)
{
    const cip_t f = tone_frame();
    const auto q = rf_reference::gaussian_pair(32, 0.1, 4.0);
    const rf_utility::taps_t taps{q.real.data(), q.imag.data(), 32, q.half};
    rf_trace_t t;
    ASSERT_TRUE(rf_trace(f, {2, 0, 0, 0.0, rf_scope_envelope}, &taps, &t));
    const std::int16_t* x = f.signed_samples() + 2 * samples;
    for (long j = 0; j < samples; ++j) {
        const double i = rf_reference::filtered(q.real, q.half, x, samples, j);
        const double qq = rf_reference::filtered(q.imag, q.half, x, samples, j);
        ASSERT_NEAR(t.values[static_cast<std::size_t>(j)], std::hypot(i, qq), 1e-6) << j;
    }
    ASSERT_TRUE(rf_trace(f, {2, 5, 1, 0.0, rf_scope_envelope}, nullptr, &t));
    EXPECT_EQ(t.values[0], std::fabs(static_cast<double>(x[5])));
}

// Vectors of different random samples: a mean taken over the wrong vectors, or divided by the wrong count, shows.
cip_t noise_frame(long vectors_, long samples_)
{
    cip_t f = cip_t::make_16bit(vectors_, samples_);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> d(-30000, 30000);
    for (std::size_t n = 0; n < static_cast<std::size_t>(vectors_ * samples_); ++n)
        f.signed_samples()[n] = static_cast<std::int16_t>(d(rng));
    return f;
}

rf_scope_settings_t averaging(long first_vector, long averaged, long type = rf_scope_raw, double gain_db = 0.0)
{
    rf_scope_settings_t s;
    s.vector = 0;
    s.first = 5;
    s.count = 50;
    s.gain_db = gain_db;
    s.type = type;
    s.first_vector = first_vector;
    s.averaged = averaged;
    return s;
}

// Each value is the mean over the vectors used of the samples times the gain: catches a wrong first
// vector, one vector too many or too few, and a sum not divided by the count.
TEST(RfScopeAveraging, MeanOfTheVectorsFromTheFirstOne)
{
    const long n = 8, len = 100;
    const cip_t f = noise_frame(n, len);
    rf_trace_t t;
    ASSERT_TRUE(rf_trace(f, averaging(2, 3, rf_scope_raw, 20.0), nullptr, &t));
    EXPECT_EQ(t.vector, 2);
    EXPECT_EQ(t.vectors, 3);
    ASSERT_EQ(t.values.size(), 50u);
    for (long k = 0; k < 50; ++k) {
        double sum = 0;
        for (long v = 2; v < 5; ++v)
            sum += f.signed_samples()[v * len + 5 + k];
        ASSERT_NEAR(t.values[static_cast<std::size_t>(k)], 10.0 * sum / 3.0, 1e-9) << k;
    }
}

// The run is kept inside the frame: it starts no later than the last vector and stops at it, starts no
// earlier than vector 0, and 0 or 1 vectors averaged shows the single vector RES_RFSCOPE_V names.
TEST(RfScopeAveraging, RunIsClampedToTheFrame)
{
    const long n = 8, len = 100;
    const cip_t f = noise_frame(n, len);
    struct case_t {
        long first_vector, averaged, vector;  // asked
        long used_first, used_count;          // shown
    };
    const case_t cases[] = {{6, 5, 0, 6, 2},  {99, 4, 0, 7, 1}, {-3, 2, 0, 0, 2}, {0, 50, 0, 0, 8},
                            {4, 1, 3, 3, 1},  {4, 0, 5, 5, 1},  {4, -2, 99, 7, 1}, {0, LONG_MAX, 0, 0, 8}};
    for (const case_t& c : cases) {
        rf_scope_settings_t s = averaging(c.first_vector, c.averaged);
        s.vector = c.vector;
        rf_trace_t t;
        ASSERT_TRUE(rf_trace(f, s, nullptr, &t));
        EXPECT_EQ(t.vector, c.used_first) << c.first_vector << " " << c.averaged;
        EXPECT_EQ(t.vectors, c.used_count) << c.first_vector << " " << c.averaged;
        for (long k = 0; k < 50; ++k) {
            double sum = 0;
            for (long v = c.used_first; v < c.used_first + c.used_count; ++v)
                sum += f.signed_samples()[v * len + 5 + k];
            ASSERT_NEAR(t.values[static_cast<std::size_t>(k)], sum / static_cast<double>(c.used_count), 1e-9)
                << c.first_vector << " " << c.averaged << " sample " << k;
        }
    }
}

// Averaged envelopes are the mean of each vector's envelope, not the envelope of the mean: two vectors in
// opposite phase have a mean of zero but a full envelope.
TEST(RfScopeAveraging, EnvelopesAreAveragedNotTheSamples)
{
    const long len = 120;
    cip_t f = cip_t::make_16bit(3, len);
    for (long j = 0; j < len; ++j) {
        const double c = 1000.0 * std::cos(0.2 * M_PI * j);
        f.signed_samples()[j] = static_cast<std::int16_t>(std::lround(c));
        f.signed_samples()[len + j] = static_cast<std::int16_t>(std::lround(-c));
        f.signed_samples()[2 * len + j] = static_cast<std::int16_t>(std::lround(3 * c));
    }
    const auto q = rf_reference::gaussian_pair(32, 0.1, 4.0);
    const rf_utility::taps_t taps{q.real.data(), q.imag.data(), 32, q.half};
    rf_trace_t t;
    rf_scope_settings_t s = averaging(0, 3, rf_scope_envelope);
    s.first = 0;
    s.count = 0;
    ASSERT_TRUE(rf_trace(f, s, &taps, &t));
    ASSERT_EQ(t.values.size(), static_cast<std::size_t>(len));
    for (long j = 0; j < len; ++j) {
        double sum = 0;
        for (long v = 0; v < 3; ++v) {
            const std::int16_t* x = f.signed_samples() + v * len;
            sum += std::hypot(rf_reference::filtered(q.real, q.half, x, len, j),
                              rf_reference::filtered(q.imag, q.half, x, len, j));
        }
        ASSERT_NEAR(t.values[static_cast<std::size_t>(j)], sum / 3.0, 1e-6) << j;
    }
    EXPECT_GT(t.values[60], 500.0) << "opposite phases must not cancel";
    // Without taps, the mean of the rectified samples.
    ASSERT_TRUE(rf_trace(f, s, nullptr, &t));
    for (long j = 0; j < len; j += 7) {
        double sum = 0;
        for (long v = 0; v < 3; ++v)
            sum += std::fabs(static_cast<double>(f.signed_samples()[v * len + j]));
        ASSERT_NEAR(t.values[static_cast<std::size_t>(j)], sum / 3.0, 1e-9) << j;
    }
}

}  // namespace
