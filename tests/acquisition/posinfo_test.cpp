// posinfo against simulated trackers on a pseudo-terminal: detection, the
// polling cycle with its time stamps, publication, recovery from lost and
// malformed replies, and re-detection when the settings change.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "acquisition/manual_positions.h"
#include "acquisition/polaris_protocol.h"
#include "acquisition/posinfo.h"
#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "simulators/polaris_sim.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"
#include "support/wait_until.h"

namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t ms = 10000;  // 100 ns ticks

// Collects every sample published on one capture event.
class sample_sink_t {
public:
    explicit sample_sink_t(genflag_res_t<std::shared_ptr<pos_stat_t>>* event)
        : event_(event), proc_(this, &sample_sink_t::take)
    {
        event_->read(&proc_);
    }
    ~sample_sink_t() { event_->remove_worry(&proc_); }
    std::vector<pos_stat_t> samples;

private:
    void take() { samples.push_back(*event_->value()); }
    genflag_res_t<std::shared_ptr<pos_stat_t>>* event_;
    pmf_functor<sample_sink_t> proc_;
};

class PosinfoTest : public SessionTest {
protected:
    std::uint64_t clock = 1000000000;  // a controllable clock, 100 ns ticks
    std::unique_ptr<pty_link_t> link;
    std::unique_ptr<posinfo> tracker;
    log_capture logs;

    void TearDown() override
    {
        tracker.reset();
        link.reset();
        SessionTest::TearDown();
    }

    void start_sim(std::unique_ptr<device_sim_t> sim, sim_faults_t faults = {})
    {
        link = std::make_unique<pty_link_t>(std::move(sim), faults);
        ASSERT_TRUE(link->ok());
        link->start();
    }
    void start_sim(const std::string& kind, sim_options_t options = {}, sim_faults_t faults = {})
    {
        start_sim(make_device_sim(kind, options), faults);
    }

    void detect(pos_detect_t kind, long speed = 38400, int tool = 0, int pointer = 0)
    {
        res->RES_SERIAL_PORT->write_no_changeprocs(link->port_path());
        res->RES_SERIAL_SPEED->write_no_changeprocs(speed);
        res->RES_POS_DETECT->write_no_changeprocs(kind);
        res->RES_POLARIS_PORT->write_no_changeprocs(static_cast<polaris_port_t>(tool));
        res->RES_POLARIS_POINTER->write_no_changeprocs(static_cast<polaris_port_t>(pointer));
        base_res_t::make_pending_writes_happen();
        tracker = std::make_unique<posinfo>(interaction(), [this] { return clock; });
    }

    // Idle ticks 25 ms apart on the test clock, with real time for the
    // simulator to answer, until the sink holds n samples; each tick may
    // note the time and the alert line.
    void poll_until(const sample_sink_t& sink, std::size_t n, std::vector<std::uint64_t>* tick_times = nullptr,
                    std::vector<wxString>* alerts = nullptr)
    {
        const auto give_up = std::chrono::steady_clock::now() + 20s;
        while (sink.samples.size() < n && std::chrono::steady_clock::now() < give_up) {
            clock += 25 * ms;
            const std::size_t before = sink.samples.size();
            res->RES_IDLE_EVENT->write();
            if (tick_times && sink.samples.size() > before)
                tick_times->push_back(clock);
            if (alerts)
                alerts->push_back(res->RES_ALERT_STRING->value());
            std::this_thread::sleep_for(3ms);
        }
        ASSERT_GE(sink.samples.size(), n);
    }

    std::vector<sim_sent_pose_t> sent(int unit = 0)
    {
        return link->with_sim([unit](device_sim_t& sim) {
            std::vector<sim_sent_pose_t> out;
            for (const auto& s : sim.sent_poses())
                if (s.unit == unit)
                    out.push_back(s);
            return out;
        });
    }
};

void expect_pose_near(const pos_stat_t& sample, const sim_pose_t& truth, double position_tol, double angle_tol)
{
    ASSERT_EQ(sample.state, POS_VALID);
    ASSERT_TRUE(sample.pose);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(sample.pose[i], truth.v[i], position_tol) << "position " << i;
    for (int i = 3; i < 6; ++i)
        EXPECT_NEAR(sample.pose[i], truth.v[i], angle_tol) << "angle " << i;
}

TEST_F(PosinfoTest, FastrakDeliversTheTrajectoryStampedAtRequestTimeLessLatency)
{
    start_sim("fastrak");
    res->RES_TEMP_CALIB->write(40);  // ms
    detect(POS_DETECT_AUTO);
    ASSERT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    EXPECT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_FASTRAK);
    EXPECT_EQ(res->RES_POINTER_SOURCE->value(), 0);
    ASSERT_TRUE(res->RES_SENSOR_VOLUME->value());
    EXPECT_EQ(res->RES_SENSOR_VOLUME->value()->range, 76.0);
    EXPECT_TRUE(tracker->pos_status().StartsWith("Polhemus Fastrak detected.\n")) << "the tracker's own report";

    EXPECT_FALSE(tracker->running()) << "nobody listens yet";
    const std::uint64_t started = clock;
    {
        sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
        EXPECT_TRUE(tracker->running());
        std::vector<std::uint64_t> ticks;
        poll_until(sink, 6, &ticks);

        const auto truth = sent();
        ASSERT_GE(truth.size(), 6u);
        for (std::size_t k = 0; k < 6; ++k)
            expect_pose_near(sink.samples[k], truth[k].pose, 0.0, 0.0);  // floats travel exactly
        // The first request went out at start; each later one when the previous reply was read.
        EXPECT_EQ(sink.samples[0].time, started - 40 * ms);
        for (std::size_t k = 1; k < 6; ++k)
            EXPECT_EQ(sink.samples[k].time, ticks[k - 1] - 40 * ms) << k;
        EXPECT_NE(truth[0].pose.v[0], truth[5].pose.v[0]) << "the trajectory moves, so order matters";
    }
    EXPECT_FALSE(tracker->running()) << "the last listener left";
    EXPECT_FALSE(tracker->stop_posinfo());
}

// Temporal calibration can find the poses ahead of the images: a negative
// latency stamps them later than their requests, not at them.
TEST_F(PosinfoTest, ANegativeLatencyStampsLater)
{
    start_sim("fastrak");
    res->RES_TEMP_CALIB->write(-25);  // ms
    detect(POS_DETECT_AUTO);
    ASSERT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    const std::uint64_t started = clock;
    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    std::vector<std::uint64_t> ticks;
    poll_until(sink, 3, &ticks);
    ASSERT_GE(sink.samples.size(), 3u);
    EXPECT_EQ(sink.samples[0].time, started + 25 * ms);
    EXPECT_EQ(sink.samples[1].time, ticks[0] + 25 * ms);
    EXPECT_EQ(tracker->latency(), -25 * std::int64_t(ms));
    // Settings beyond reason are held to a minute.
    res->RES_TEMP_CALIB->write(-99999999);
    EXPECT_EQ(tracker->latency(), -60000 * std::int64_t(ms));
}

TEST_F(PosinfoTest, DetectionRefusesTheWrongKindBadSpeedsAndSingleUnitsWithTwoSensors)
{
    const struct {
        const char* sim;
        pos_detect_t sought;
        long speed;
        int tool;
    } cases[] = {{"fastrak", POS_DETECT_PATRIOT, 38400, 0},
                 {"fastrak", POS_DETECT_FASTRAK, 14400, 0},
                 {"fastrak", POS_DETECT_OPTITRACK, 38400, 0},
                 {"flock", POS_DETECT_FLOCK, 38400, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sim << " sought as " << c.sought);
        tracker.reset();
        start_sim(c.sim);
        detect(c.sought, c.speed, c.tool);
        EXPECT_EQ(tracker->sensor(), SENSOR_NONE);
        EXPECT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_NONE);
        EXPECT_EQ(res->RES_ALERT_STRING->value(), detection_outcome_text(SENSOR_NONE, c.sought, 0, 0));
        EXPECT_FALSE(tracker->start_posinfo());
        EXPECT_EQ(tracker->pos_status(), "No position sensor available.");
    }
    EXPECT_TRUE(logs.contains("serial: invalid serial speed"));

    tracker.reset();
    logs.clear();
    res->RES_SERIAL_PORT->write("");
    tracker = std::make_unique<posinfo>(interaction(), [this] { return clock; });
    EXPECT_EQ(tracker->sensor(), SENSOR_NONE);
    EXPECT_EQ(logs.count(wxLOG_Error), 0u) << "no port chosen is not an error";

    // The single unit takes its one sensor.
    tracker.reset();
    start_sim("flock");
    detect(POS_DETECT_FLOCK, 38400, 1);
    EXPECT_EQ(tracker->sensor(), SENSOR_ASCENSION);
    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    poll_until(sink, 2);
    expect_pose_near(sink.samples[1], sent()[1].pose, 0.05, 0.05);
}

TEST_F(PosinfoTest, ChangingTheSettingsDetectsAgainAndKeepsPolling)
{
    start_sim("fastrak");
    detect(POS_DETECT_PATRIOT);
    ASSERT_EQ(tracker->sensor(), SENSOR_NONE);
    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    EXPECT_FALSE(tracker->running());

    res->RES_POS_DETECT->write(POS_DETECT_FASTRAK);
    EXPECT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    EXPECT_TRUE(tracker->running()) << "a listener was waiting";
    poll_until(sink, 2);

    res->RES_POS_REPROBE->write();
    EXPECT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    EXPECT_TRUE(tracker->running());
    poll_until(sink, 4);
}

// Answers every other pose request with a record a byte short.
class short_record_sim_t : public device_sim_t {
public:
    void receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                 std::vector<std::vector<unsigned char>>& out) override
    {
        for (const unsigned char b : bytes) {
            if (b == 'S') {
                std::string status = "21S003000  3.00  3.0.2" + std::string(31, ' ') + "\r\n";
                out.emplace_back(status.begin(), status.end());
            } else if (b == 'P') {
                std::vector<unsigned char> r(29, 0);
                r[0] = '0';
                const float x = static_cast<float>(++count_);
                std::memcpy(&r[3], &x, 4);
                if (count_ % 2 == 1)
                    r.pop_back();  // 28 bytes: to be dropped
                else
                    log_sent(now, 0, sim_pose_t{{x, 0, 0, 0, 0, 0}});
                out.push_back(std::move(r));
            }
        }
    }
    long device_speed() const override { return 38400; }
    wxString name() const override { return "short records"; }

private:
    int count_ = 0;
};

TEST_F(PosinfoTest, MalformedRecordsAreDroppedAndTheNextRequestStillGoesOut)
{
    start_sim(std::make_unique<short_record_sim_t>());
    detect(POS_DETECT_FASTRAK);
    ASSERT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    poll_until(sink, 3);
    // A short record ends on silence and is refused; the line re-arms, so
    // only the whole records arrive, in order.
    for (const pos_stat_t& s : sink.samples)
        EXPECT_EQ(static_cast<int>(s.pose[0]) % 2, 0) << s.pose[0];
    EXPECT_LT(sink.samples[0].pose[0], sink.samples[2].pose[0]);
}

TEST_F(PosinfoTest, LostAndFragmentedRepliesAreRecovered)
{
    start_sim("fastrak", {}, {.fragment = 5, .drop_every = 3});
    detect(POS_DETECT_FASTRAK);
    ASSERT_EQ(tracker->sensor(), SENSOR_FASTRAK);
    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    std::vector<wxString> alerts;
    poll_until(sink, 6, nullptr, &alerts);
    EXPECT_TRUE(
        std::any_of(alerts.begin(), alerts.end(), [](const wxString& a) { return a.Contains("not answering"); }));
    EXPECT_EQ(res->RES_ALERT_COLOUR->value(), ALERT_NORMAL) << "the warning goes once replies return";
    for (const pos_stat_t& s : sink.samples)
        EXPECT_EQ(s.state, POS_VALID);
}

TEST_F(PosinfoTest, AscensionGroupGivesProbeRelativeToReferenceAndPointer)
{
    sim_options_t options;
    options.sensors = 4;
    start_sim("trakstar", options);
    detect(POS_DETECT_STAR, 38400, 4, 3);  // tool 1 relative to tool 2; pointer on tool 3
    ASSERT_EQ(tracker->sensor(), SENSOR_ASCENSION);
    EXPECT_EQ(res->RES_POINTER_SOURCE->value(), 5);

    sample_sink_t probe(res->RES_POSITION_CAPTURE_EVENT);
    sample_sink_t pointer(res->RES_POINTER_CAPTURE_EVENT);
    poll_until(probe, 3);
    poll_until(pointer, 1);
    const auto probe_truth = sent(0), reference_truth = sent(1), pointer_truth = sent(2);
    ASSERT_GE(reference_truth.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        matrix16d ref, p;
        ref.inverse(reference_truth[k].pose.v);
        p.forward(probe_truth[k].pose.v);
        double v[6];
        (ref * p).decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        sim_pose_t relative;
        for (int i = 0; i < 6; ++i)
            relative.v[i] = static_cast<float>(v[i]);
        expect_pose_near(probe.samples[k], relative, 0.05, 0.05);  // counts are quantised
    }
    EXPECT_NEAR(pointer.samples[0].pose[1], pointer_truth[0].pose.v[1], 0.05);
}

TEST_F(PosinfoTest, PolarisIsFoundLastAndItsAlertsReachTheAlertLine)
{
    start_sim(std::make_unique<polaris_sim_t>(sim_options_t{}, true));
    detect(POS_DETECT_AUTO, 115200, 1);  // the other probes go by first, at a speed the tracker ignores
    ASSERT_EQ(tracker->sensor(), SENSOR_POLARIS);
    EXPECT_EQ(link->with_sim([](device_sim_t& sim) { return sim.device_speed(); }), 115200);

    sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
    poll_until(sink, 3);
    const auto truth = sent();
    for (std::size_t k = 0; k < 3; ++k)
        expect_pose_near(sink.samples[k], truth[k].pose, 0.001, 0.01);  // hundredths of a mm, 1e-4 quaternions
    EXPECT_EQ(res->RES_ALERT_COLOUR->value(), ALERT_NORMAL);

    link->with_sim([](device_sim_t& sim) { return static_cast<polaris_sim_t&>(sim).conditions().missing[0] = true; });
    const std::size_t before = sink.samples.size();
    poll_until(sink, before + 2);
    EXPECT_EQ(sink.samples.back().state, POS_MISSING);
    EXPECT_FALSE(sink.samples.back().pose) << "a missing tool carries no pose";
    EXPECT_EQ(res->RES_ALERT_STRING->value(), polaris_alert_line(8, "").text);
    EXPECT_EQ(res->RES_ALERT_COLOUR->value(), ALERT_ERROR);
}

// Passes everything to the simulator it wraps and keeps the bytes the host sent.
class byte_log_sim_t : public device_sim_t {
public:
    explicit byte_log_sim_t(std::unique_ptr<device_sim_t> inner) : inner_(std::move(inner)) {}
    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override
    {
        sent.append(bytes.begin(), bytes.end());
        inner_->receive(bytes, line, now, out);
    }
    long device_speed() const override { return inner_->device_speed(); }
    wxString name() const override { return inner_->name(); }
    std::string sent;

private:
    std::unique_ptr<device_sim_t> inner_;
};

TEST_F(PosinfoTest, EachTrackerIsSentExactlyItsDialogue)
{
    struct case_t {
        const char* kind;
        pos_detect_t detect;
        int tool;
        std::string expected;  // detection, then the first pose request
    };
    const case_t cases[] = {
        {"fastrak", POS_DETECT_FASTRAK, 0, "cSfuP"},
        {"patriot", POS_DETECT_PATRIOT, 0, "\rF0\r\x16\rF1\rU1\rP"},
        {"flock", POS_DETECT_FLOCK, 1, {'O', '\x0f', 'O', '\x03', 'Y', 'B'}},
        // Sensors 1 and 3 of a trakSTAR: three units in a group, each asked for position/angles.
        {"trakstar", POS_DETECT_STAR, 5,
         {'O', '\x0f', 'O', '\x03', 'O', '$', 'P', '2', '\x03', 'Y', '\xf2', 'Y', '\xf3', 'Y', 'P', '#', '\x01', 'F', 'B'}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.kind);
        auto logged = std::make_unique<byte_log_sim_t>(make_device_sim(c.kind, {}));
        byte_log_sim_t* log = logged.get();
        start_sim(std::move(logged));
        detect(c.detect, 38400, c.tool);
        ASSERT_NE(tracker->sensor(), SENSOR_NONE);
        sample_sink_t sink(res->RES_POSITION_CAPTURE_EVENT);
        const auto sent_so_far = [&] { return link->with_sim([log](device_sim_t&) { return log->sent; }); };
        wait_until([&] { return sent_so_far().size() >= c.expected.size(); });  // the request reaches the simulator
        const std::string sent = sent_so_far();
        EXPECT_EQ(sent, c.expected);
        tracker.reset();
        link.reset();
    }
}

TEST_F(PosinfoTest, ManualPositionsStepEvenlyAndReachEveryFrameOrSwitchOff)
{
    dynabuf frames;
    for (int i = 0; i < 5; ++i)
        frames.append(cip_t::make_8bit(4, 4), {}, static_cast<std::uint64_t>(i));
    manual_motion_t m;
    m.translation = 1;  // along z
    m.span_mm = 40.0;
    ASSERT_TRUE(apply_manual_positions(frames, m));
    for (long i = 0; i < 5; ++i) {
        ASSERT_TRUE(frames.positioncp(i));
        EXPECT_NEAR(frames.positioncp(i)[2], i * 1.0, 1e-6);
    }
    float pose[6];
    ASSERT_TRUE(manual_pose(m, 0, 1, pose)) << "one frame: no division by zero";
    for (const float v : pose)
        EXPECT_EQ(v, 0.0f);
    m.translation = 4;
    EXPECT_FALSE(manual_pose(m, 0, 2, pose));

    // A roll about an axis 30 mm away along y keeps that axis point fixed.
    manual_motion_t r;
    r.rotation = 1;
    r.angle_deg = 40.0;
    r.radius_mm = 30.0;
    ASSERT_TRUE(manual_pose(r, 4, 5, pose));
    EXPECT_NEAR(pose[5], 40.0, 1e-4);
    matrix16d m4;
    m4.forward(pose);
    const vertex3d pivot = m4 * vertex3d{0.0, 3.0, 0.0};
    EXPECT_NEAR(std::hypot(pivot.x, pivot.y - 3.0, pivot.z), 0.0, 1e-5);

    // No motion chosen switches manual positions off.
    res->RES_POS_MANUAL->write(true);
    res->RES_POS_REC->write(true);
    EXPECT_FALSE(apply_manual_positions(frames, manual_motion_t{}));
    EXPECT_FALSE(res->RES_POS_MANUAL->value());
    EXPECT_FALSE(res->RES_POS_REC->value());
}

TEST(DetectionOutcome, TextsNameTheToolsOrTheKindSought)
{
    EXPECT_EQ(detection_outcome_text(SENSOR_POLARIS, POS_DETECT_AUTO, 12, 10),
              "Polaris successfully initialised on tool 6, pointer on tool 4");
    EXPECT_EQ(detection_outcome_text(SENSOR_ASCENSION, POS_DETECT_AUTO, 4, 3),
              "Bird or Star successfully initialised on tool 1 re 2, pointer on tool 3");
    EXPECT_EQ(detection_outcome_text(SENSOR_NONE, static_cast<pos_detect_t>(99), 0, 0), "No position sensor found");
}

}  // namespace
