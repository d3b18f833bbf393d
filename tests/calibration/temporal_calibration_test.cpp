// Temporal calibration on scripted streams: 50 Hz positions and 27 fps line
// rows with jitter, the probe held still and then moved up and down, the
// images lagging or leading the positions. The lag found must be the one
// put in, a second run must not add it twice, and the state machine must
// follow the script.
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "calibration/temporal_calibration.h"

namespace {

constexpr std::uint64_t tick = temporal_calibration_t::ticks_per_ms;  // 100 ns ticks a millisecond
constexpr std::uint64_t t0 = 17'000'000'000'000'000ULL;

// The probe's height (cm) at time s after the start: still for 3 s, then
// up and down with amplitude `amplitude` at `hertz`.
double height(double s, double amplitude, double hertz)
{
    return s < 3.0 ? 0.0 : amplitude * std::sin(2.0 * std::numbers::pi * hertz * (s - 3.0));
}

struct stream_t {
    double tracker_latency_ms = 0.0;  // how late the tracker's poses really are
    long applied_ms = 0;              // how late the position stream is already taken to be
    double amplitude = 2.0;           // cm
    double hertz = 0.7;
    bool lines = true;                // frames hold a usable line
    std::uint32_t seed = 1;
};

// Feeds a whole run in time order; returns the calibration as it ended.
temporal_calibration_t run(const stream_t& s)
{
    temporal_calibration_t cal;
    cal.start(s.applied_ms);
    std::mt19937 rng(s.seed);
    std::uniform_real_distribution<double> jitter_pos(-1.0, 1.0), jitter_frame(-2.0, 2.0);
    std::normal_distribution<double> noise(0.0, 0.5);
    double next_pos = 0.0, next_frame = 0.0;  // ms from the start
    while (cal.running() && next_pos < 12000.0) {
        if (next_pos <= next_frame) {
            // A pose stamped at t shows where the probe was applied - tracker ms later or earlier.
            const double t = next_pos + jitter_pos(rng);
            const double h = height((t + s.applied_ms - s.tracker_latency_ms) / 1000.0, s.amplitude, s.hertz);
            cal.add_position({1.0, 2.0, 3.0 + h}, t0 + std::uint64_t(std::llround(t * tick)));
            next_pos += 20.0;
        } else {
            const double t = next_frame + jitter_frame(rng);
            const double row = 240.0 + 40.0 * height(t / 1000.0, s.amplitude, s.hertz) + noise(rng);
            cal.add_frame(s.lines ? std::optional<double>(row) : std::nullopt,
                          t0 + std::uint64_t(std::llround(t * tick)));
            next_frame += 1000.0 / 27.0;
        }
    }
    return cal;
}

TEST(TemporalCalibration, FindsLagsOfEitherSign)
{
    for (double lag : {37.0, -23.0, 0.0})
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            stream_t s;
            s.tracker_latency_ms = lag;
            s.seed = seed;
            const temporal_calibration_t cal = run(s);
            ASSERT_EQ(cal.state(), 6) << cal.message();
            ASSERT_TRUE(cal.result()) << cal.message();
            EXPECT_NEAR(cal.result()->lag_ms, lag, 2.0) << "seed " << seed;
            EXPECT_TRUE(cal.result()->accepted);
            EXPECT_EQ(cal.result()->offset_ms, std::lround(cal.result()->lag_ms));
            EXPECT_EQ(cal.message(), wxString::Format("Temporal calibration %li ms (%li%% confidence)",
                                                      cal.result()->offset_ms, long(cal.result()->confidence)));
        }
}

// With the first result applied, a second run measures what is left, about
// nothing, and the offset stays: it is not added twice.
TEST(TemporalCalibration, ASecondRunKeepsTheOffset)
{
    stream_t s;
    s.tracker_latency_ms = 37.0;
    const temporal_calibration_t first = run(s);
    ASSERT_TRUE(first.result());
    s.applied_ms = first.result()->offset_ms;
    s.seed = 7;
    const temporal_calibration_t second = run(s);
    ASSERT_TRUE(second.result());
    EXPECT_NEAR(second.result()->lag_ms, 0.0, 2.0);
    EXPECT_NEAR(double(second.result()->offset_ms), 37.0, 2.0);
}

TEST(TemporalCalibration, TheStepsAndWhatEndsThem)
{
    temporal_calibration_t cal;
    cal.start(0);
    EXPECT_EQ(cal.message(), "Hold probe still and upright");
    cal.add_position({0, 0, 0}, t0);
    cal.add_position({0, 0, 0.01}, t0 + 20 * tick);
    EXPECT_EQ(cal.state(), 1);
    EXPECT_EQ(cal.message(), "Keep holding probe upright");
    cal.add_position({0, 0, 1.0}, t0 + 40 * tick);  // moved: back to the start
    EXPECT_EQ(cal.state(), 0);
    for (int i = 3; i < 200; ++i)
        cal.add_position({0, 0, 1.0}, t0 + i * 20 * tick);
    EXPECT_EQ(cal.state(), 2);
    EXPECT_EQ(cal.message(), "Now move probe up and down");
    // Moving without a line in the images does not start the movement.
    cal.add_frame(std::nullopt, t0 + 4000 * tick);
    cal.add_position({0, 0, 2.0}, t0 + 4001 * tick);
    EXPECT_EQ(cal.state(), 2);
    cal.add_frame(250.0, t0 + 4010 * tick);
    cal.add_position({0, 0, 3.0}, t0 + 4020 * tick);
    EXPECT_EQ(cal.state(), 3);
    // A time stamp going backwards starts again.
    cal.add_position({0, 0, 3.0}, t0 + 4000 * tick);
    EXPECT_EQ(cal.state(), 0);
    cal.stop();
    EXPECT_FALSE(cal.running());
    EXPECT_EQ(cal.message(), "Stopped temporal calibration");
    // Nothing arrives after a stop.
    cal.add_position({0, 0, 0}, t0 + 5000 * tick);
    EXPECT_EQ(cal.state(), 0);
}

TEST(TemporalCalibration, RunsThatCannotMeasure)
{
    // Moved quickly but not far: the line spans under 80 pixels.
    stream_t small;
    small.amplitude = 0.9;
    small.hertz = 2.0;
    const temporal_calibration_t a = run(small);
    EXPECT_EQ(a.message(), "Probe not moved far enough - try again");
    EXPECT_FALSE(a.result());

    // Lines in the images only at the very start of the movement: the frames
    // after it still end the wait, and too little of the movement is tracked.
    temporal_calibration_t b;
    b.start(0);
    std::uint64_t t = t0;
    for (int i = 0; i < 160; ++i, t += 20 * tick)
        b.add_position({0, 0, 0}, t);
    b.add_frame(240.0, t);
    b.add_frame(250.0, t + 10 * tick);
    for (int i = 0; i < 160; ++i, t += 20 * tick)
        b.add_position({0, 0, 0.5 * (i % 2)}, t);
    ASSERT_EQ(b.state(), 4);
    for (int i = 0; i < 40; ++i)
        b.add_frame(std::nullopt, t + i * 37 * tick);
    EXPECT_EQ(b.state(), 6);
    EXPECT_EQ(b.message(), "Not able to track line - try again");
    EXPECT_FALSE(b.result());
}

}  // namespace
