// The correlation's building blocks and the run's failure paths.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "common/interaction.h"
#include "correction_fixture.h"

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN();

TEST(FindPeakValue, FollowsItsRules)
{
    const double zero[] = {-5, -2, 0, -3, -6};
    EXPECT_EQ(find_peak_value(zero, 5), 0.0);  // an exact 0 anywhere: no result
    const double at_end[] = {-1, -2, -3, -4, -5};
    EXPECT_EQ(find_peak_value(at_end, 5), 0.0);
    const double at_last[] = {-5, -4, -3, -2, -1};
    EXPECT_EQ(find_peak_value(at_last, 5), 0.0);
    const double even[] = {-9, -4, -1, -4, -9};
    EXPECT_EQ(find_peak_value(even, 5), 2.0);
    // A V-shaped peak is found exactly wherever it lies between samples.
    for (const double true_peak : {1.3, 2.0, 2.45, 2.5, 2.8}) {
        double v[5];
        for (int k = 0; k < 5; ++k)
            v[k] = -1.0 - std::abs(k - true_peak);
        EXPECT_NEAR(find_peak_value(v, 5), true_peak, 1e-12) << true_peak;
    }
    const double ties[] = {-3, -1, -2, -1, -3};  // the first maximum counts, leaning right
    EXPECT_NEAR(find_peak_value(ties, 5), 1.25, 1e-12);
}

TEST(RobustLine, IgnoresOutlierBandsAndMissingOnes)
{
    std::vector<double> peaks(20);
    for (int k = 0; k < 20; ++k)
        peaks[static_cast<std::size_t>(k)] = 25.3 + 0.02 * k;
    peaks[3] = 31.0;  // far off: not an inlier
    peaks[7] = none;
    peaks[15] = 10.0;
    robust_line_t line;
    ASSERT_TRUE(fit_robust_line(peaks, &line));
    EXPECT_EQ(line.inliers, 17);
    EXPECT_NEAR(line.a, 25.3, 1e-9);
    EXPECT_NEAR(line.b, 0.02, 1e-9);
    std::vector<double> lonely(20, none);
    lonely[4] = 25.0;
    EXPECT_FALSE(fit_robust_line(lonely, &line));
}

// Images whose rows are a known pattern shifted by `shift` columns.
std::vector<std::uint8_t> pattern(long w, long h, int shift, bool masked_hole = false)
{
    std::vector<std::uint8_t> v(static_cast<std::size_t>(w * h));
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const long u = x - shift;
            v[static_cast<std::size_t>(y * w + x)] =
                static_cast<std::uint8_t>(1 + ((u * 37 + y * 11) ^ (u * u * 7)) % 200);
            if (masked_hole)
                v[static_cast<std::size_t>(y * w + x)] = 0;
        }
    return v;
}

TEST(Scores, SearchOutwardsAndStopAtTheFirstDrop)
{
    const long w = 120, h = 60;
    // A ramp across moved 3 columns: score -(4 (s - 3)^2 + 1) at shift s.
    std::vector<std::uint8_t> ramp(w * h), moved(w * h);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            ramp[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(1 + 2 * x);
            moved[static_cast<std::size_t>(y * w + x)] = static_cast<std::uint8_t>(1 + 2 * std::max(0L, x - 3));
        }
    double s[correlation_shifts];
    lateral_scores(ramp.data(), moved.data(), w, 0, 3, false, s);
    EXPECT_EQ(s[25], -37.0);
    EXPECT_EQ(s[28], -1.0);      // the search climbed to +3
    EXPECT_EQ(s[29], -5.0);      // looked one past the top
    EXPECT_EQ(s[30], no_score);  // and stopped
    EXPECT_EQ(s[24], -65.0);     // downwards it stopped at once
    EXPECT_EQ(s[23], no_score);
    EXPECT_EQ(find_peak_value(s, correlation_shifts), 28.0);
    // Two identical frames: the perfect match at shift 0 is the peak, exactly.
    const auto ref = pattern(w, h, 0);
    lateral_scores(ref.data(), ref.data(), w, 0, 3, false, s);
    EXPECT_EQ(correlation_peak(s, correlation_shifts), 25.0);
    axial_scores(ref.data(), ref.data(), w, 0, w, 25, h - 26, false, s);
    EXPECT_EQ(correlation_peak(s, correlation_shifts), 25.0);
    // Masked data with no pixel pairs scores exactly 0 and gives no result (never 0/0).
    const auto hole = pattern(w, h, 0, true);
    lateral_scores(hole.data(), ref.data(), w, 0, 3, true, s);
    EXPECT_EQ(s[25], 0.0);
    EXPECT_EQ(find_peak_value(s, correlation_shifts), 0.0);
}

// Cancels at the n-th progress update.
class cancelling_t : public headless_interaction_t {
public:
    int left = 5;
    bool progress_update(int, const wxString&) override { return --left > 0; }
};

TEST_F(CorrectionTest, IdenticalFramesGiveNoMovement)
{
    load(small(5));
    bufp->clear();
    const cip_t frame = render_correction_frame(demo, 0);
    for (int i = 0; i < 5; ++i)
        bufp->append(frame, demo.frames[0].recorded_pose, static_cast<std::uint64_t>(i));
    double a = 1, b = 1;
    auto run = correct_frames(0, 4, false, false, &a, &b);
    ASSERT_TRUE(run->valid());
    EXPECT_LT(a, 1e-3);  // a stationary sweep: frame order stands in for the distance, nothing moves
    for (const corr_t& r : run->records())
        for (int k = 0; k < 16; ++k)
            ASSERT_TRUE(std::isfinite(r.corrected[k]));
    ASSERT_TRUE(run->apply());
    EXPECT_NEAR(corner_rms(held_poses()), corner_rms({5, demo.frames[0].recorded_pose}), 1e-3);
}

TEST_F(CorrectionTest, SlowDriftOfTheSensorStays)
{
    correction_demo_options o = small(200);
    o.jitter_mm = 0.0;
    o.jitter_deg = 0.0;
    o.drift_mm = 2.0;  // the sensor wanders 2 mm over the sweep
    load(o);
    double a = 0, b = 0;
    auto run = correct_frames(0, bufp->frames() - 1, false, false, &a, &b);
    ASSERT_TRUE(run->apply());
    // The corrected poses follow the recorded, drifting ones, not the truth.
    const double to_truth = corner_rms(held_poses());
    std::vector<correction_truth_frame> recorded = demo.frames;
    for (auto& f : recorded)
        f.true_pose = f.recorded_pose;
    std::swap(demo.frames, recorded);
    const double to_recorded = corner_rms(held_poses());
    EXPECT_LT(to_recorded, 0.3);
    EXPECT_GT(to_truth, 0.5);
}

TEST_F(CorrectionTest, FailuresLeaveTheRecordingAlone)
{
    load(small(40));
    const auto before = held_poses();
    const cip_t first = bufp->imagecp(0);
    double a = 0, b = 0;
    // One frame: nothing to optimise.
    auto one = correct_frames(0, 0, false, false, &a, &b);
    EXPECT_FALSE(one->valid());
    EXPECT_FALSE(one->apply());
    // Cancelled part way.
    cancelling_t cancel;
    interaction_t* old = set_interaction(&cancel);
    auto cancelled = correct_frames(0, 39, true, true, &a, &b);
    set_interaction(old);
    EXPECT_FALSE(cancelled->valid());
    EXPECT_FALSE(cancelled->apply());
    // The trajectory fit cannot allocate: logged, run invalid, program goes on.
    set_correction_allocation_failure(true);
    auto starved = correct_frames(0, 39, false, false, &a, &b);
    set_correction_allocation_failure(false);
    EXPECT_FALSE(starved->valid());
    EXPECT_FALSE(starved->apply());
    // A pending correction whose frames were replaced is dropped, not applied.
    auto pending = correct_frames(0, 39, false, false, &a, &b);
    ASSERT_TRUE(pending->valid());
    bufp->set_image(5, render_correction_frame(demo, 6));
    EXPECT_FALSE(pending->matches_recording());
    EXPECT_FALSE(pending->apply());
    const auto after = held_poses();
    for (std::size_t i = 0; i < before.size(); ++i)
        for (std::size_t k = 0; k < 6; ++k)
            ASSERT_EQ(after[i][k], before[i][k]);
    EXPECT_TRUE(bufp->imagecp(0) == first);
    EXPECT_FALSE(res->RES_CORRECTED_POS->value());
}

TEST_F(CorrectionTest, SmallFramesAndMissingPositionsCannotBeCorrected)
{
    correction_demo_options o = small(4);
    o.width = 60;
    o.height = 51;  // one row short of the axial search's room
    load(o);
    double a, b;
    EXPECT_FALSE(correct_frames(0, 3, false, false, &a, &b)->valid());
    o.height = 52;
    o.width = 51;
    load(o);
    EXPECT_FALSE(correct_frames(0, 3, false, false, &a, &b)->valid());
    o.width = 52;
    load(o);
    EXPECT_TRUE(correct_frames(0, 3, false, false, &a, &b)->valid());
    res->RES_POS_REC->write(false);
    EXPECT_FALSE(correct_frames(0, 3, false, false, &a, &b)->valid());
}

TEST_F(CorrectionTest, RfFramesKeepTheirSamples)
{
    correction_demo_options o = small(60);
    o.compression_mm = 1.0;
    load(o);
    // The same frames as RF: 16-bit samples, vector by vector, the display made from them.
    std::vector<cip_t> rf;
    for (long i = 0; i < bufp->frames(); ++i) {
        const cip_t b = bufp->imagecp(i);
        cip_t f = cip_t::make_16bit(b.width(), b.height());
        for (long v = 0; v < b.width(); ++v)
            for (long s = 0; s < b.height(); ++s)
                f.signed_samples()[v * b.height() + s] =
                    static_cast<std::int16_t>(b.pixels()[s * b.width() + v] * 40 - 3000);
        std::copy(b.pixels(), b.pixels() + b.pixel_count(), f.pixels());
        rf.push_back(f);
    }
    const auto poses = held_poses();
    bufp->clear();
    for (std::size_t i = 0; i < rf.size(); ++i)
        bufp->append(rf[i], poses[i], i);
    res->RES_BUF_RF->write(true);
    double a, b;
    auto run = correct_frames(0, bufp->frames() - 1, true, false, &a, &b);
    ASSERT_TRUE(run->apply());
    for (long i = 0; i < bufp->frames(); ++i) {
        const cip_t f = bufp->imagecp(i);
        ASSERT_TRUE(f.has_samples());
        // Every sample is still a sample value (a blend of two), not a display byte.
        long wide = 0;
        for (std::size_t k = 0; k < f.pixel_count(); ++k)
            wide += f.signed_samples()[k] < -255 || f.signed_samples()[k] > 255;
        EXPECT_GT(wide, static_cast<long>(f.pixel_count() / 2)) << "frame " << i;
    }
    EXPECT_TRUE(res->RES_CORRECTED_PRESSURE->value());
}

}  // namespace
