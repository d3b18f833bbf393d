// The circular sample buffer: interpolated poses against an analytic
// trajectory, angles across the ±180 seam, and the orderings and time stamps
// that must never produce a pose.
#include <cmath>
#include <cfloat>

#include <gtest/gtest.h>

#include "acquisition/cbuf.h"

namespace {

constexpr std::uint64_t t0 = 17000000000000000ull;  // a wall-clock time in 100 ns ticks
constexpr std::uint64_t ms = 10000;

// A probe moving and turning at constant rates, s seconds after t0.
void trajectory(double s, float* p)
{
    const double v[6] = {2.0 + 0.8 * s,  -5.0 + 0.3 * s, 11.0 - 0.25 * s,
                         -90.0 + 3.0 * s, 10.0 - 0.5 * s, 45.0 - 2.0 * s};
    for (int i = 0; i < 6; ++i)
        p[i] = static_cast<float>(v[i]);
}

double seconds(std::uint64_t t) { return static_cast<double>(t - t0) / 1e7; }

void insert(cbuf_t& b, std::uint64_t t, float x, float az = 0, float roll = 0, pos_state_t s = POS_VALID)
{
    const float p[6] = {x, 0, 0, az, 0, roll};
    const pos_stat_t sample = pos_stat_t::make(t, p, s);
    b.insert_circ_buf(&sample);
}

TEST(CircularBuffer, PosesFollowALinearTrajectoryAcrossTheRingsWrap)
{
    // Catches a wrong bracket or fraction anywhere in the circular range, the oldest and newest ends included.
    cbuf_t b;
    const int samples = 5000;  // more than the ring holds, so it has wrapped
    for (int k = 0; k < samples; ++k) {
        pos_stat_t s;
        s.time = t0 + static_cast<std::uint64_t>(k) * 10 * ms;
        s.pose = counted_array_ptr<float>(6);
        trajectory(seconds(s.time), s.pose.get());
        s.state = POS_VALID;
        ASSERT_TRUE(b.insert_circ_buf(&s));
    }
    const std::uint64_t oldest = t0 + (samples - cbuf_t::entries) * 10 * ms, newest = t0 + (samples - 1) * 10 * ms;
    for (std::uint64_t t = oldest; t <= newest; t += 37 * ms + 3) {
        counted_array_ptr<float> pose;
        pos_state_t state;
        ASSERT_TRUE(b.circ_buf_match_pos(t, pose, nullptr, &state)) << t - oldest;
        float want[6];
        trajectory(seconds(t), want);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(pose[i], want[i], 4 * FLT_EPSILON * std::max(1.0f, std::abs(want[i])));
    }
    counted_array_ptr<float> pose;
    EXPECT_FALSE(b.circ_buf_match_pos(oldest - 1, pose, nullptr, nullptr));  // older than every sample
    EXPECT_FALSE(b.circ_buf_match_pos(newest + 1, pose, nullptr, nullptr));  // newer than every sample
    EXPECT_TRUE(pose.empty());
}

TEST(CircularBuffer, AnglesTakeTheShorterWayRoundTheSeam)
{
    // Catches interpolating through 0 instead of through ±180 (a half-turn error in mid-sweep).
    struct row_t {
        float a, b;
        std::uint64_t t;
        float want;
    } rows[] = {{170, -170, 150, 180}, {-170, 170, 150, -180}, {-179, 179, 150, -180},
                {179, -179, 175, -179.5f}, {10, 30, 150, 20},   {-90, 90, 125, -45}};
    for (const row_t& r : rows) {
        cbuf_t b;
        insert(b, 100, 0, r.a, r.a);
        insert(b, 200, 0, r.b, r.b);
        counted_array_ptr<float> pose;
        ASSERT_TRUE(b.circ_buf_match_pos(r.t, pose, nullptr, nullptr));
        EXPECT_FLOAT_EQ(pose[3], r.want) << "azimuth " << r.a << " to " << r.b;
        EXPECT_FLOAT_EQ(pose[5], r.want) << "roll " << r.a << " to " << r.b;
    }
}

TEST(CircularBuffer, LagIsSignedSoOlderFramesGiveNegativeLags)
{
    // Catches an unsigned difference, which wraps and would pin the group delay at its largest.
    cbuf_t b;
    std::int64_t lag = 0;
    counted_array_ptr<float> pose;
    b.circ_buf_match_pos(150, pose, &lag, nullptr);
    EXPECT_EQ(lag, cbuf_t::no_lag);  // no samples yet
    for (std::uint64_t t : {100, 200, 300, 400, 500})
        insert(b, t, static_cast<float>(t));
    ASSERT_TRUE(b.circ_buf_match_pos(150, pose, &lag, nullptr));
    EXPECT_EQ(lag, -150);
    EXPECT_FLOAT_EQ(pose[0], 150.0f);
}

TEST(CircularBuffer, StaleAndRepeatedSamplesAreDroppedAndNeverBreakTheSearch)
{
    // Catches an out-of-order sample that would unsort the ring, and 0/0 for two samples of one time.
    cbuf_t b;
    insert(b, 100, 1.0f);
    insert(b, 200, 2.0f);
    const float late[6] = {99, 0, 0, 0, 0, 0};
    const pos_stat_t stale = pos_stat_t::make(150, late), repeat = pos_stat_t::make(200, late);
    EXPECT_FALSE(b.insert_circ_buf(&stale));
    EXPECT_FALSE(b.insert_circ_buf(&repeat));
    counted_array_ptr<float> pose;
    ASSERT_TRUE(b.circ_buf_match_pos(150, pose, nullptr, nullptr));
    EXPECT_FLOAT_EQ(pose[0], 1.5f);
    ASSERT_TRUE(b.circ_buf_match_pos(200, pose, nullptr, nullptr));
    EXPECT_FLOAT_EQ(pose[0], 2.0f);
}

TEST(CircularBuffer, UnfilledAndClearedEntriesNeverBracketAFrame)
{
    // Catches interpolating between an empty time-0 entry and the first real sample.
    cbuf_t b;
    insert(b, 1000 * ms, 5.0f);
    counted_array_ptr<float> pose;
    EXPECT_FALSE(b.circ_buf_match_pos(500 * ms, pose, nullptr, nullptr));
    EXPECT_FALSE(b.circ_buf_match_pos(0, pose, nullptr, nullptr));
    insert(b, 1100 * ms, 6.0f);
    b.clear();
    insert(b, 2000 * ms, 7.0f);
    EXPECT_FALSE(b.circ_buf_match_pos(1050 * ms, pose, nullptr, nullptr));  // its samples are gone
    EXPECT_FALSE(b.circ_buf_match_pos(1500 * ms, pose, nullptr, nullptr));
    insert(b, 2100 * ms, 8.0f);
    ASSERT_TRUE(b.circ_buf_match_pos(2050 * ms, pose, nullptr, nullptr));
    EXPECT_FLOAT_EQ(pose[0], 7.5f);
}

TEST(CircularBuffer, AMissingToolAtEitherSampleGivesNoPose)
{
    // Catches a frame placed with the pose of a tool the tracker could not see.
    for (int missing : {0, 1}) {
        cbuf_t b;
        insert(b, 100, 1.0f, 0, 0, missing == 0 ? POS_MISSING : POS_VALID);
        insert(b, 200, 2.0f, 0, 0, missing == 1 ? POS_MISSING : POS_VALID);
        counted_array_ptr<float> pose;
        pos_state_t state = POS_VALID;
        EXPECT_TRUE(b.circ_buf_match_pos(150, pose, nullptr, &state));
        EXPECT_EQ(state, POS_MISSING);
        EXPECT_TRUE(pose.empty());
    }
}

}  // namespace
