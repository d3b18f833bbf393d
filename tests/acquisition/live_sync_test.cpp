// Live pairing and recording on a scripted clock: the group delay's
// adaptation, the gated modes on still-move-still paths, the buffered and
// single-shot modes, sweep boundaries, the clear action and the memory budget.
#include <functional>

#include <gtest/gtest.h>

#include "acquisition/live_pos.h"
#include "acquisition/live_recorder.h"
#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"

namespace {

constexpr std::uint64_t t0 = 17000000000000000ull;
constexpr std::uint64_t ms = 10000;
constexpr std::uint64_t frame_gap = 40 * ms, sample_gap = 10 * ms;

std::uint64_t at(double s) { return t0 + static_cast<std::uint64_t>(s * 1e7 + 0.5); }

// Counts what the synchroniser publishes, as live display would.
class live_listener_t {
public:
    live_listener_t() : proc_(this, &live_listener_t::take) { res->RES_LIVE_POS_CAPTURE_EVENT->read(&proc_); }
    ~live_listener_t() { res->RES_LIVE_POS_CAPTURE_EVENT->remove_worry(&proc_); }
    long published = 0;

private:
    void take() { ++published; }
    pmf_functor<live_listener_t> proc_;
};

class LiveSync : public SessionTest {
protected:
    signal_log_t* signals = nullptr;
    std::unique_ptr<live_pos> sync;
    std::unique_ptr<live_recorder> recorder;
    std::function<double(double)> x_of = [](double) { return 0.0; };  // probe x (cm) at s seconds
    std::uint64_t next_sample = t0 - 100 * ms;

    void SetUp() override
    {
        SessionTest::SetUp();
        res->RES_BUF_WIDTH->write(8);
        res->RES_BUF_HEIGHT->write(6);
        auto cards = std::make_shared<std::vector<vid_card_list_t>>(1);
        (*cards)[0].kind = 2;
        res->RES_VID_CARD_LIST->write(cards);
        res->RES_POSITION_SOURCE->write(SENSOR_FASTRAK);
        auto log = std::make_unique<signal_log_t>();
        signals = log.get();
        sync = std::make_unique<live_pos>(std::move(log));
        recorder = std::make_unique<live_recorder>();
        sync->set_sweep_control(recorder.get());
    }
    void TearDown() override
    {
        recorder.reset();
        sync.reset();
        SessionTest::TearDown();
    }

    void sample(std::uint64_t t)
    {
        const double s = static_cast<double>(static_cast<std::int64_t>(t - t0)) / 1e7;
        const float p[6] = {static_cast<float>(x_of(s)), 1, 2, 0, 0, 0};
        res->RES_POSITION_CAPTURE_EVENT->write(std::make_shared<pos_stat_t>(pos_stat_t::make(t, p)));
    }
    void frame(std::uint64_t t)
    {
        auto f = std::make_shared<vid_stat_t>();
        f->image = cip_t::make_8bit(8, 6);
        f->width = 8;
        f->height = 6;
        f->size = 48;
        f->time = t;
        res->RES_VIDEO_CAPTURE_EVENT->write(f);
    }
    // Frames every 40 ms from s0 to s1, each released once the samples 20 ms past it have arrived.
    void run(double s0, double s1)
    {
        for (std::uint64_t t = at(s0); t <= at(s1); t += frame_gap) {
            for (; next_sample <= t + 20 * ms; next_sample += sample_gap)
                sample(next_sample);
            frame(t);
        }
    }
    void start(long mode)
    {
        res->RES_VID_RATE->write(mode);
        ASSERT_TRUE(recorder->start());
    }
    // Frame numbers (40 ms apart from t0) held by the recording, in order.
    std::vector<long> recorded() const
    {
        std::vector<long> n;
        for (long i = 0; i < bufp->frames(); ++i)
            n.push_back(static_cast<long>((bufp->timestamp(i) - t0) / frame_gap));
        return n;
    }
    std::vector<long> sweep_firsts() const { return res->RES_SWEEPS->value()->first_frames; }
};

// Frame numbers a to b by step, after those already in v.
std::vector<long> span(long a, long b, long step = 1, std::vector<long> v = {})
{
    for (long i = a; i <= b; i += step)
        v.push_back(i);
    return v;
}

TEST_F(LiveSync, DevicesAreFollowedExactlyWhileTheLivePoseHasListeners)
{
    // Catches devices left running (or never started) by the synchroniser's subscriptions.
    const auto listeners = [] {
        return std::vector<long>{res->RES_VIDEO_CAPTURE_EVENT->read_worrylist_length(),
                                 res->RES_POSITION_CAPTURE_EVENT->read_worrylist_length(),
                                 res->RES_POINTER_CAPTURE_EVENT->read_worrylist_length()};
    };
    EXPECT_EQ(listeners(), (std::vector<long>{0, 0, 0}));
    auto live = std::make_unique<live_listener_t>();
    EXPECT_EQ(listeners(), (std::vector<long>{1, 1, 1}));
    live.reset();
    EXPECT_EQ(listeners(), (std::vector<long>{0, 0, 0}));
}

TEST_F(LiveSync, TheLargestGroupDelayNeverFallsBelowFiftyMilliseconds)
{
    // Catches (B - 2) x 1000 / 30 giving 33, 0 or a negative delay with three or fewer driver buffers.
    struct row_t {
        long buffers, delay, want;
    } rows[] = {{2, 50, 50}, {3, 80, 50}, {30, 2000, 933}, {30, 300, 300}};
    for (const row_t& r : rows) {
        res->RES_VID_BUFFERS->write(r.buffers);
        res->RES_VID_GROUP_DELAY->write(r.delay);
        EXPECT_EQ(res->RES_VID_GROUP_DELAY->value(), r.want) << r.buffers << " buffers";
    }
}

TEST_F(LiveSync, GroupDelaySettlesWhereFramesStopFailingToMatch)
{
    // Catches a delay that never grows past late samples, or (lag unsigned) one pinned at the largest.
    struct row_t {
        long latency_ms, initial_ms;
    } rows[] = {{150, 50}, {0, 400}, {300, 60}};
    for (const row_t& r : rows) {
        sync = std::make_unique<live_pos>(std::make_unique<signal_log_t>());
        res->RES_VID_RATE->write(RATE_FULL_SPEED);
        res->RES_VID_GROUP_DELAY->write(r.initial_ms);
        live_listener_t live;
        const std::uint64_t latency = static_cast<std::uint64_t>(r.latency_ms) * ms;
        std::uint64_t next_frame = t0, sample_at = t0 - 500 * ms;
        long released_late = 0, published_before = 0;
        // Real time runs in 5 ms steps; a sample reaches the program `latency` after its time stamp,
        // a frame once it is a group delay old.
        for (std::uint64_t now = t0; now < at(30.0); now += 5 * ms) {
            for (; sample_at + latency <= now; sample_at += sample_gap)
                sample(sample_at);
            const std::uint64_t delay = static_cast<std::uint64_t>(res->RES_VID_GROUP_DELAY->value()) * ms;
            for (; next_frame + delay <= now; next_frame += frame_gap) {
                if (now >= at(25.0) && released_late++ == 0)
                    published_before = live.published;
                frame(next_frame);
            }
        }
        const long delay = res->RES_VID_GROUP_DELAY->value();
        // A frame matches once the sample at or after it has arrived: 5 ms steps leave that much slack.
        EXPECT_GE(delay, std::max(50L, r.latency_ms - 5)) << "latency " << r.latency_ms;
        EXPECT_LE(delay, r.latency_ms + 110) << "latency " << r.latency_ms;
        EXPECT_EQ(live.published - published_before, released_late) << "latency " << r.latency_ms;
    }
}

TEST_F(LiveSync, PosesFollowTheTrajectoryAndAStageOrSweptProbeSuppliesItsOwn)
{
    // Catches frames paired with the wrong sample, and the stage and swept-probe paths losing their poses.
    x_of = [](double s) { return 3.0 + 0.7 * s; };
    start(RATE_FULL_SPEED);
    run(0.0, 1.0);
    ASSERT_EQ(bufp->frames(), 26);
    for (long i = 0; i < bufp->frames(); ++i)
        EXPECT_FLOAT_EQ(bufp->positioncp(i)[0], static_cast<float>(3.0 + 0.7 * 0.04 * static_cast<double>(i)));
    recorder->stop();

    live_listener_t live;
    res->RES_ZABER_RUNNING->write(true);
    auto f = std::make_shared<vid_stat_t>();
    f->time = at(100.0);  // far past every tracker sample
    // The stage coordinates come from the gantry's published position, not from the capture side.
    res->RES_ZABER_POS_X->write(1.0);
    res->RES_ZABER_POS_Y->write(2.0);
    res->RES_ZABER_POS_Z->write(3.0);
    res->RES_VIDEO_CAPTURE_EVENT->write(f);
    ASSERT_EQ(live.published, 1);
    const auto& pose = res->RES_LIVE_POS_CAPTURE_EVENT->value()->probe_pose;
    EXPECT_EQ((std::vector<float>{pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]}),
              (std::vector<float>{1, 2, -3, 0, 0, 0}));

    res->RES_ZABER_RUNNING->write(false);
    res->RES_FLAPPING->write(true);
    res->RES_POSITION_SOURCE->write(SENSOR_NONE);
    f->sweep_angle = 7;
    res->RES_VIDEO_CAPTURE_EVENT->write(f);
    EXPECT_EQ(live.published, 1);  // no motor model yet: the frame cannot be placed
    sync->set_sweep_model([](float angle, float* p) { p[3] = angle; return true; });
    res->RES_VIDEO_CAPTURE_EVENT->write(f);
    ASSERT_EQ(live.published, 2);
    EXPECT_EQ(res->RES_LIVE_POS_CAPTURE_EVENT->value()->probe_pose[3], 7.0f);

    // A source that does not know the motor gets the angle at the frame's own time.
    std::uint64_t asked = 0;
    sync->set_sweep_angle_source([&](std::uint64_t t) {
        asked = t;
        return -44.0f;
    });
    res->RES_VIDEO_CAPTURE_EVENT->write(f);
    ASSERT_EQ(live.published, 3);
    EXPECT_EQ(asked, f->time);
    EXPECT_EQ(res->RES_LIVE_POS_CAPTURE_EVENT->value()->probe_pose[3], -44.0f);
}

// Still until 1.6 s, then 0.06 cm a frame until 2.2 s, 0.02 cm a frame until 2.6 s, still,
// and from 4 s on moving again.
double sweep_path(double s)
{
    if (s < 1.6)
        return 0.0;
    if (s < 2.2)
        return 1.5 * (s - 1.6);
    if (s < 2.6)
        return 0.9 + 0.5 * (s - 2.2);
    return s < 4.0 ? 1.1 : 1.1 + 1.5 * (s - 4.0);
}

TEST_F(LiveSync, GatedRecordsTheMovementBetweenTwoStillnesses)
{
    // Catches frames recorded before stillness or after the closing stillness, and small moves let through.
    x_of = sweep_path;
    start(RATE_GATED);
    run(0.0, 5.0);
    // The gate opens 0.2 cm from rest (frame 44); a 0.02 cm step is below the 0.03 cm
    // threshold, so the slow part keeps every second frame; moving after the close records nothing.
    EXPECT_EQ(recorded(), span(57, 65, 2, span(44, 55)));
    for (long i = 0; i < bufp->frames(); ++i)
        EXPECT_NEAR(bufp->positioncp(i)[0], sweep_path(0.04 * static_cast<double>(recorded()[i])), 1e-5);
    EXPECT_EQ(signals->heard, (std::vector<gate_signal_kind_t>{GATE_SIGNAL_STILL, GATE_SIGNAL_CLOSED}));
    recorder->stop();
    EXPECT_EQ(recorder->sweep_boundaries(), (std::vector<long>{16}));
}

TEST_F(LiveSync, AJumpWhileRecordingClearsTheSweep)
{
    // Catches a jump of more than ten thresholds (0.5 cm here) kept in the sweep.
    x_of = [](double s) { return s < 1.6 ? 0.0 : 0.06 * 25 * (s - 1.6) + (s >= 2.0 ? 0.5 : 0.0); };
    start(RATE_GATED);
    run(0.0, 1.96);
    EXPECT_EQ(recorded(), span(44, 49));
    run(2.0, 2.0);
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_EQ(signals->heard.back(), GATE_SIGNAL_JUMP);
    run(2.04, 2.5);
    EXPECT_EQ(bufp->frames(), 0);  // the gate stays closed until the probe rests again
}

TEST_F(LiveSync, MultipleGatedEndsASweepAtEachStillnessAndRearmsOnAJump)
{
    // Catches sweeps merged, a second sweep that never starts, or a boundary added twice.
    x_of = [](double s) {
        const double first = s < 1.6 ? 0.0 : s < 2.2 ? 1.5 * (s - 1.6) : 0.9;
        const double second = s < 4.8 ? 0.0 : s < 5.4 ? 1.5 * (s - 4.8) : 0.9;
        return first + (s >= 3.6 ? 1.0 : 0.0) + second;
    };
    start(RATE_MULTIPLE_GATED);
    run(0.0, 7.0);
    recorder->stop();
    EXPECT_EQ(recorded(), span(124, 135, 1, span(44, 55)));
    EXPECT_EQ(signals->heard, (std::vector<gate_signal_kind_t>{GATE_SIGNAL_STILL, GATE_SIGNAL_CLOSED,
                                                               GATE_SIGNAL_STILL, GATE_SIGNAL_CLOSED}));
    EXPECT_EQ(recorder->sweep_boundaries(), (std::vector<long>{11, 23}));
    EXPECT_EQ(sweep_firsts(), (std::vector<long>{0, 12}));
}

TEST_F(LiveSync, BufferedKeepsTheLastThousandFramesAndTheirBoundaries)
{
    // Catches a roll that keeps the wrong frames, and boundaries left pointing before the first frame.
    for (long i = 0; i < 10; ++i)
        bufp->append(cip_t::make_8bit(8, 6), {}, at(-1.0) + static_cast<std::uint64_t>(i));
    auto sweeps = std::make_shared<multi_sweeps>();
    sweeps->first_frames = {0, 5};
    res->RES_SWEEPS->write(sweeps);
    start(RATE_BUFFERED);
    run(0.04, 0.04 * 995);
    EXPECT_EQ(sweep_firsts(), (std::vector<long>{0, 5}));  // the old recording's last 5 frames are still a sweep
    run(0.04 * 996, 0.04 * 1500);
    recorder->stop();
    EXPECT_EQ(recorded(), span(501, 1500));
    EXPECT_EQ(sweep_firsts(), (std::vector<long>{0}));
    EXPECT_TRUE(recorder->sweep_boundaries().empty());
}

TEST_F(LiveSync, SingleShotRecordsOneFrameAndAddsNoBoundary)
{
    // Catches a single shot that keeps recording or marks a sweep.
    start(RATE_SINGLE_SHOT);
    run(0.0, 0.4);
    EXPECT_EQ(recorded(), span(0, 0));
    EXPECT_FALSE(recorder->recording());
    EXPECT_FALSE(res->RES_RECORDING_NOW->value());
    EXPECT_TRUE(recorder->sweep_boundaries().empty());
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 1);
}

TEST_F(LiveSync, StopsAddBoundariesOnlyAfterNewFrames)
{
    // Catches a boundary at -1 on an empty recording and a second boundary on the same frame.
    start(RATE_FULL_SPEED);
    recorder->stop();
    EXPECT_TRUE(recorder->sweep_boundaries().empty());
    EXPECT_TRUE(sweep_firsts().empty());
    start(RATE_FULL_SPEED);
    run(0.0, 0.08);
    recorder->stop();
    start(RATE_FULL_SPEED);
    recorder->stop();
    EXPECT_EQ(recorder->sweep_boundaries(), (std::vector<long>{2}));
    start(RATE_FULL_SPEED);
    run(0.12, 0.2);
    recorder->stop();
    EXPECT_EQ(sweep_firsts(), (std::vector<long>{0, 3}));
}

TEST_F(LiveSync, ClearDropsTheOpenSweepThenTheLastFinishedOneThenAll)
{
    // Catches the clear action discarding the wrong frames or leaving a stale boundary.
    start(RATE_FULL_SPEED);
    run(0.0, 0.08);
    recorder->finish_sweep();
    run(0.12, 0.16);
    recorder->finish_sweep();
    run(0.2, 0.24);
    recorder->clear_record();
    EXPECT_EQ(recorded(), span(0, 4));
    recorder->clear_record();
    EXPECT_EQ(recorded(), span(0, 2));
    EXPECT_EQ(recorder->sweep_boundaries(), (std::vector<long>{2}));
    recorder->clear_record();
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_TRUE(sweep_firsts().empty());
}

TEST_F(LiveSync, WithoutPositionsFramesAreRecordedBareAndOnlyAtTheRecordingsSize)
{
    // Catches a start with no source of positions, and a frame of another size shifting the image data.
    log_capture logs;
    res->RES_POSITION_SOURCE->write(SENSOR_NONE);
    EXPECT_FALSE(recorder->start());
    res->RES_POS_REC->write(false);
    start(RATE_FULL_SPEED);
    EXPECT_FALSE(sync->subscribed());  // frames come straight from the capture
    run(0.0, 0.08);
    auto odd = std::make_shared<vid_stat_t>();
    odd->image = cip_t::make_8bit(6, 8);
    odd->time = at(0.12);
    res->RES_VIDEO_CAPTURE_EVENT->write(odd);
    run(0.16, 0.16);
    recorder->stop();
    EXPECT_EQ(recorded(), (std::vector<long>{0, 1, 2, 4}));
    EXPECT_TRUE(bufp->positioncp(0).empty());
    EXPECT_TRUE(logs.contains("not recorded", wxLOG_Warning));
    EXPECT_TRUE(recorder->sweep_boundaries().empty());
}

TEST_F(LiveSync, RunningOutOfTheMemoryBudgetStopsTheRecordingAndKeepsIt)
{
    // Catches recording on until the system kills the program and the recording is lost.
    log_capture logs;
    recorder->set_memory_budget(5 * (48 + 64));
    const long stops = res->RES_STOP_IMAGING->value();
    start(RATE_FULL_SPEED);
    run(0.0, 0.4);
    EXPECT_EQ(recorded(), span(0, 4));
    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(res->RES_STOP_IMAGING->value(), stops + 1);
    EXPECT_TRUE(logs.contains("Insufficient memory", wxLOG_Error));
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 5);
}

}  // namespace
