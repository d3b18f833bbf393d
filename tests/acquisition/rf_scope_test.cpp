// The oscilloscope's trace: the chosen vector and samples, the gain, and an
// envelope that is the display's own quadrature filter output.
#include <cmath>

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

}  // namespace
