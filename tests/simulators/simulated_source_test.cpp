// The simulated image source through the real capture path: frames replayed
// at their recorded intervals and looped, stamped on the master clock,
// dropped rather than queued when the program falls behind, colour-flow
// codes surviving capture, and phantom B-scans at the tracker's pose.
#include <cmath>

#include <gtest/gtest.h>

#include "acquisition/ks_video_capture.h"
#include "demo/bscan.h"
#include "resources/resource_table.h"
#include "simulators/pose_trajectory.h"
#include "simulators/simulated_capture.h"
#include "simulators/simulated_source.h"
#include "support/session_fixture.h"

namespace {

constexpr std::uint64_t ms = 10000;

class frame_listener_t : public base_functor {
public:
    frame_listener_t() { res->RES_VIDEO_CAPTURE_EVENT->read(this); }
    void call() override { frames.push_back(res->RES_VIDEO_CAPTURE_EVENT->value()); }
    std::vector<std::shared_ptr<vid_stat_t>> frames;
};

cip_t numbered_frame(int n, long w = 64, long h = 48)
{
    cip_t f = cip_t::make_8bit(w, h);
    for (std::size_t i = 0; i < f.pixel_count(); ++i)
        f.pixels()[i] = static_cast<std::uint8_t>(1 + n * 40 + i % 7);
    return f;
}

class SimulatedSource : public SessionTest {
protected:
    std::uint64_t now = 5000000000;
    std::unique_ptr<simulated_image_source_t> source;
    std::unique_ptr<ks_video_capture> capture;

    void use(std::unique_ptr<simulated_frames_t> frames)
    {
        source = std::make_unique<simulated_image_source_t>(std::move(frames));
        capture = std::make_unique<ks_video_capture>(
            ks_v4l2_buffer::clocks_t{[this] { return now; }, [](std::int64_t t) { return std::uint64_t(t); }});
        capture->add_source(source.get());
        const auto& list = *res->RES_VID_CARD_LIST->value();
        res->RES_VID_CARD->write(static_cast<std::int64_t>(list.size() - 1));
    }
    void TearDown() override
    {
        capture.reset();
        source.reset();
        SessionTest::TearDown();
    }
    // Idle ticks every `step` until `until`.
    void run_until(std::uint64_t until, std::uint64_t step = 5 * ms)
    {
        for (; now < until; now += step)
            res->RES_IDLE_EVENT->write();
    }
};

// Catches frames out of order, re-timed wrongly, released before the group
// delay, or a loop that does not come back to the first frame.
TEST_F(SimulatedSource, ReplaysARecordingAtItsIntervalsLooped)
{
    const std::vector<std::uint64_t> times = {100 * ms, 140 * ms, 180 * ms, 300 * ms};  // mean interval 66.7 ms
    use(std::make_unique<recording_replay_t>(
        std::vector<cip_t>{numbered_frame(0), numbered_frame(1), numbered_frame(2), numbered_frame(3)}, times));
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 64) << "the recording window is brought inside the source's frame";
    frame_listener_t listener;
    base_res_t::make_pending_writes_happen();
    const std::uint64_t start = now;
    run_until(start + 800 * ms);
    const std::uint64_t loop = 200 * ms + 666666;  // the recording plus one mean interval
    const std::uint64_t expected[] = {0, 40 * ms, 80 * ms, 200 * ms, loop, loop + 40 * ms, loop + 80 * ms};
    ASSERT_GE(listener.frames.size(), 7u);
    for (std::size_t k = 0; k < 7; ++k) {
        const vid_stat_t& f = *listener.frames[k];
        EXPECT_EQ(f.time, (start + expected[k]) / 10 * 10) << k << ": stamped in whole microseconds";
        EXPECT_EQ(f.image.pixels()[10], 1 + (k % 4) * 40 + 10 % 7) << k;
    }
    EXPECT_EQ(source->frames_dropped(), 0);
}

// A stalled program gets the latest frame, not a backlog.
TEST_F(SimulatedSource, DropsFramesRatherThanQueueThem)
{
    use(std::make_unique<recording_replay_t>(std::vector<cip_t>{numbered_frame(0), numbered_frame(1)},
                                             std::vector<std::uint64_t>{0, 40 * ms}));
    frame_listener_t listener;
    base_res_t::make_pending_writes_happen();
    res->RES_IDLE_EVENT->write();  // the first frame, at the start
    now += 1000 * ms + 10 * ms;    // a one-second stall: 25 frames came due
    source->pump(now);
    EXPECT_EQ(source->frames_dropped(), 24);
    EXPECT_EQ(source->device().frames_lost(), 0);
}

// Colour-flow codes painted as luma and chroma come back from a capture with
// colour flow on (in blocks of one class).
TEST_F(SimulatedSource, ColourFlowCodesSurviveCapture)
{
    cip_t coded = cip_t::make_8bit(32, 16);
    for (long r = 0; r < 16; ++r)
        for (long c = 0; c < 32; ++c) {
            const int block = static_cast<int>((r / 2) * 16 + c / 2);
            const int cls = block % 3;
            coded.pixels()[r * 32 + c] =
                static_cast<std::uint8_t>(cls == 0 ? 20 + block % 100 : (cls == 1 ? 128 : 192) + 10 + block % 50);
        }
    res->RES_BUF_DOPPLER->write(true);
    use(std::make_unique<recording_replay_t>(std::vector<cip_t>{coded}, std::vector<std::uint64_t>{0}, true));
    frame_listener_t listener;
    base_res_t::make_pending_writes_happen();
    run_until(now + 100 * ms);
    ASSERT_FALSE(listener.frames.empty());
    const cip_t& got = listener.frames[0]->image;
    ASSERT_EQ(got.width(), 32);
    for (std::size_t i = 0; i < coded.pixel_count(); ++i)
        ASSERT_EQ(got.pixels()[i], coded.pixels()[i]) << i;
}

// Phantom B-scans are rendered at the pose the tracker gives for the frame's
// own time; without a pose there is no frame.
TEST_F(SimulatedSource, PhantomFramesFollowTheTrackersPose)
{
    const probe_setup probe = demo_probe(80, 60);
    const std::vector<sweep_pose> sweep = demo_sweep(2, probe);
    bool tracking = true;
    std::vector<std::uint64_t> asked;
    auto pose_at = [&](std::uint64_t t, float pose[6]) {
        asked.push_back(t);
        for (int k = 0; k < 6; ++k)
            pose[k] = sweep[1].pose[static_cast<std::size_t>(k)];
        return tracking;
    };
    use(std::make_unique<phantom_bscans_t>(demo_phantom(), probe, pose_at, true));
    frame_listener_t listener;
    base_res_t::make_pending_writes_happen();
    run_until(now + 150 * ms);
    ASSERT_GE(listener.frames.size(), 2u);
    const cip_t expected = render_labels(demo_phantom(), sweep[1].pose.get(), probe);
    const vid_stat_t& f = *listener.frames[0];
    EXPECT_EQ(f.time, asked.front()) << "rendered at the pose of the frame's own time";
    for (std::size_t i = 0; i < expected.pixel_count(); ++i)
        ASSERT_EQ(f.image.pixels()[i], expected.pixels()[i]) << i;

    tracking = false;
    const std::size_t seen = listener.frames.size();
    run_until(now + 300 * ms);
    EXPECT_LE(listener.frames.size(), seen + 2) << "only frames rendered before tracking stopped";
}

}  // namespace

namespace {

// The simulated tracker's demo path is the demo recording's sweep, frame for
// frame, and comes back the same way; a phantom source at those poses shows
// what the demo recording shows.
TEST(DemoPath, FollowsTheDemoSweepBackAndForth)
{
    const probe_setup probe = demo_probe(640, 480);
    const std::vector<sweep_pose> sweep = demo_sweep(300, probe);
    const pose_trajectory_t path = demo_phantom_path();
    for (const int k : {0, 1, 150, 298, 299}) {
        const double t = 12.0 * k / 299.0;
        const sim_pose_t there = path(t), back = path(24.0 - t);
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(there.v[i], sweep[static_cast<std::size_t>(k)].pose[static_cast<std::size_t>(i)], 1e-3)
                << k << " " << i;
            EXPECT_NEAR(back.v[i], there.v[i], 1e-3) << k << " " << i;
        }
    }
}

}  // namespace

namespace {

// The water bath for calibration without hardware: its frames show the
// floor where the pose asked for puts it, that pose is the tracker's from
// the set lag before, as corrected, and the devsim path
// holds still, moves up and down, then shows the floor from turned poses.
TEST_F(SimulatedSource, WaterBathFloorAtTheTrackersLatePose)
{
    const water_bath_t bath = make_water_bath(1, 24.0);
    const std::array<float, 6> seen = water_bath_poses(bath, 1, 1)[0];
    std::vector<std::uint64_t> asked;
    floor_bscans_t floor(bath, [&](std::uint64_t t, float pose[6]) {
        asked.push_back(t);
        std::copy(seen.begin(), seen.end(), pose);
        return true;
    });
    const cip_t frame = floor.frame_at(0, 123456789);
    ASSERT_EQ(asked, std::vector<std::uint64_t>{123456789});
    const long row = std::lround(floor_row(bath, seen.data(), 320));
    EXPECT_LT(frame.pixels()[(row - 6) * 640 + 320], 60);   // water
    EXPECT_GT(frame.pixels()[(row + 2) * 640 + 320], 100);  // the floor's echo

    // Images 40 ms behind the tracker: they show its pose of 40 ms before,
    // and none once the latency set for them is found.
    res->RES_SIM_IMAGE_LAG->write(40);
    res->RES_TEMP_CALIB->write(0);
    EXPECT_EQ(water_bath_pose_time(5'000'000), std::optional<std::uint64_t>(4'600'000));
    res->RES_TEMP_CALIB->write(-40);
    EXPECT_EQ(water_bath_pose_time(5'000'000), std::optional<std::uint64_t>(5'000'000));
    res->RES_TEMP_CALIB->write(1000);
    EXPECT_EQ(water_bath_pose_time(5'000'000), std::nullopt);  // before the clock began
    EXPECT_EQ(water_bath_pose_time(50'000'000), std::optional<std::uint64_t>(39'600'000));
}

TEST(WaterBathPath, StillThenUpAndDownThenTurned)
{
    const water_bath_t bath = make_water_bath(1, 24.0);
    const pose_trajectory_t path = water_bath_path(1, 24.0);
    const sim_pose_t start = path(0.0), later = path(2.9);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(start.v[i], later.v[i]);
    // Level: the floor crosses the image within a few rows of its middle.
    const double left = floor_row(bath, start.v, 0), right = floor_row(bath, start.v, 639);
    EXPECT_LT(std::fabs(left - right), 10.0);
    // Up and down by well over the 80 rows temporal calibration needs, never leaving the image.
    double low = 1e9, high = -1e9;
    for (double t = 3.0; t < 11.0; t += 0.02) {
        const double row = floor_row(bath, path(t).v, 320);
        low = std::min(low, row);
        high = std::max(high, row);
    }
    EXPECT_GT(high - low, 150.0);
    EXPECT_GT(low, 0.0);
    EXPECT_LT(high, 480.0);
    // Then every held pose shows the floor from edge to edge.
    for (double t = 11.5; t < 41.0; t += 1.5) {
        const sim_pose_t p = path(t);
        EXPECT_GT(floor_row(bath, p.v, 0), 0.0) << t;
        EXPECT_LT(floor_row(bath, p.v, 639), 480.0) << t;
    }
}

}  // namespace
