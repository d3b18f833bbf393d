// The swept-probe motor driver against its simulated controller over a pty:
// initialisation and its failures, manual moves, timed sweeps, frame angles
// compared with the simulator's integrated motion, and a hostile line.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "common/interaction.h"
#include "common/timestamp.h"
#include "devices/flapping_protocol.h"
#include "flapping_rig.h"
#include "support/log_capture.h"
#include "support/wait_until.h"

namespace {

using std::chrono::steady_clock;
using strings = std::vector<std::string>;

// The commands without the status queries of waits, whose number depends on timing.
strings without_status(strings c)
{
    std::erase(c, std::string());
    return c;
}

// Progress as the dialog would show it; cancels from the n-th pulse on when asked.
class progress_log_t : public headless_interaction_t {
public:
    void progress_begin(const wxString& caption, const wxString& message, int) override
    {
        seen.push_back(caption);
        seen.push_back(message);
    }
    bool progress_pulse(const wxString& message) override
    {
        if (seen.empty() || seen.back() != message)
            seen.push_back(message);
        return !cancel;
    }
    std::vector<wxString> seen;
    bool cancel = false;
};

// Catches a wrong or missing set-up command, 28800 bps not set (the simulator
// would not hear), progress texts changed, and RES_FLAPPING not following.
TEST_F(FlapRig, FindCentreSetsUpAndFindsTheIndexEitherSide)
{
    for (const double offset : {300.0, -300.0}) {
        swept_motor_sim_options_t o;
        o.index_offset = offset;
        // Beyond the mark in the first direction the search runs to the stop, 0.5 s away.
        flap_timing_t t = fast_flap_timing();
        t.index_search = 7'000'000;
        start_link(o, t);
        progress_log_t progress;
        interaction_t* before = set_interaction(&progress);
        EXPECT_TRUE(motor->find_centre(true)) << offset;
        set_interaction(before);
        EXPECT_EQ(link->line_mismatches(), 0) << "the host set 28800 bps";
        EXPECT_EQ(without_status(commands()), (strings{"CR", "PO800", "PF800", "PN9", "PR0.6", "PS0.3", "PM58", "PP58",
                                                       "PT5", "GI-", "H", "GI+", "H", "IS?"}));
        EXPECT_TRUE(sim([](swept_motor_sim_t& s) { return s.centred(); }));
        EXPECT_NEAR(sim_position(), 0.0, 1e-9);
        EXPECT_TRUE(res->RES_FLAPPING->value());
        EXPECT_TRUE(motor->at_centre());
        EXPECT_EQ(progress.seen, (std::vector<wxString>{"Initialising motor driver", "Reseting GLD", "Searching for 0-",
                                                        "Searching for 0+"}));
        // Every command went out framed with its checksum, byte for byte.
        std::vector<unsigned char> expected;
        for (const std::string& c : commands()) {
            const auto f = flap::encode(c);
            expected.insert(expected.end(), f->begin(), f->end());
        }
        EXPECT_EQ(sim([](swept_motor_sim_t& s) { return s.heard(); }), expected);
    }
}

// Catches a cancel button that does not end the waits: the search is cut
// short, and a motor left off its mark is not taken as centred.
TEST_F(FlapRig, CancelEndsTheWaitsEarly)
{
    swept_motor_sim_options_t o;
    o.index_offset = -300.0;
    flap_timing_t t = fast_flap_timing();
    t.reset_wait = 5'000'000;
    t.index_search = 7'000'000;
    start_link(o, t);
    progress_log_t progress;
    progress.cancel = true;
    interaction_t* before = set_interaction(&progress);
    const auto t0 = steady_clock::now();
    EXPECT_FALSE(motor->find_centre(true));
    set_interaction(before);
    EXPECT_LT(steady_clock::now() - t0, std::chrono::milliseconds(400)) << "0.5 s reset and 0.7 s searches cancelled";
    EXPECT_FALSE(res->RES_FLAPPING->value());
}

// Catches a missing message, RES_FLAPPING left set after a failure, and moves
// sent by a driver that is not initialised.
TEST_F(FlapRig, InitialisationFailuresAreReportedAndNothingMoves)
{
    start_link();
    for (const wxString& port : {wxString(), wxString("/nonexistent/tty")}) {
        res->RES_FLAP_PORT->write(port);
        log_capture log;
        EXPECT_FALSE(motor->find_centre(false));
        EXPECT_TRUE(log.contains("Initialisation failed: invalid port", wxLOG_Error)) << port;
    }
    // A terminal nobody answers on.
    int m = -1, s = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&m, &s, name, nullptr, nullptr), 0);
    res->RES_FLAP_PORT->write(wxString(name));
    {
        log_capture log;
        const auto t0 = steady_clock::now();
        EXPECT_FALSE(motor->find_centre(false));
        EXPECT_LT(steady_clock::now() - t0, std::chrono::seconds(1)) << "one reply time-out, not more";
        EXPECT_TRUE(log.contains("Initialisation failed: no response on port", wxLOG_Error));
    }
    ::close(m);
    ::close(s);

    swept_motor_sim_options_t o;
    o.no_index = true;
    start_link(o);
    res->RES_FLAPPING->write(true);
    log_capture log;
    EXPECT_FALSE(motor->find_centre(false));
    EXPECT_TRUE(log.contains("Initialisation failed: no response on port", wxLOG_Error));
    EXPECT_FALSE(res->RES_FLAPPING->value());
    clear_heard();
    motor->to_left();
    motor->step_right();
    EXPECT_FALSE(motor->prime_go_left(25.0, 0));
    EXPECT_FALSE(motor->start_primed_move(0));
    EXPECT_TRUE(commands().empty());
}

// Catches ends not truncated to whole counts, the 3200-count limit missed,
// and the whole-way speed not set.
TEST_F(FlapRig, WholeWayMovesReachTheEnds)
{
    start_centred();
    for (const long range : {10L, 40L}) {
        res->RES_FLAP_RANGE->write(range);
        const double end = range == 10 ? 1086.0 : 3200.0;
        motor->to_left();
        motor->wait_for_motor();
        EXPECT_EQ(sim_position(), -end) << range;
        EXPECT_TRUE(motor->at_left());
        motor->to_right();
        motor->wait_for_motor();
        EXPECT_EQ(sim_position(), end) << range;
        EXPECT_EQ(motor->get_step(), static_cast<long>(end));
    }
    EXPECT_EQ(sim([](swept_motor_sim_t& s) { return s.speed(); }), 5000.0);
    motor->to_centre();
    motor->wait_for_motor();
    EXPECT_EQ(sim_position(), 0.0);
    EXPECT_EQ(sim([](swept_motor_sim_t& s) { return s.speed(); }), 800.0);
}

// Catches a wrong step size, steps past the end, the at-left flag not set, a
// step sent at the end, and a steps setting below 2 dividing by zero.
TEST_F(FlapRig, FrameStepsStopAtTheEnd)
{
    start_centred();
    const double r = flap::end_counts(10);
    motor->step_left();
    EXPECT_NEAR(motor->target(), -2.0 * r / 49.0, 1e-9);
    EXPECT_EQ(commands().back(), "GA-44");
    int steps = 1;
    while (!motor->at_left() && steps < 100) {
        motor->step_left();
        ++steps;
    }
    EXPECT_EQ(steps, 25);
    EXPECT_NEAR(motor->target(), -r, 1e-9);
    motor->wait_for_motor();
    EXPECT_EQ(sim_position(), -1086.0);
    clear_heard();
    motor->step_left();
    EXPECT_TRUE(commands().empty());

    res->RES_FLAP_STEPS->write(1);
    log_capture log;
    motor->step_right();
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(log.contains("No frame step"));
}

// Catches the controller kinds' rule broken: only kind 1 moves.
TEST_F(FlapRig, DialogMovesFollowTheControllerKind)
{
    start_centred();
    res->RES_FLAP_TYPE->write(0);
    EXPECT_FALSE(flap_move(*motor, flap_move_t::left));
    res->RES_FLAP_TYPE->write(2);
    log_capture log;
    EXPECT_FALSE(flap_move(*motor, flap_move_t::right));
    EXPECT_EQ(log.count(wxLOG_Message), 1u);
    EXPECT_TRUE(commands().empty());
    res->RES_FLAP_TYPE->write(1);
    EXPECT_TRUE(flap_move(*motor, flap_move_t::left));
    EXPECT_EQ(sim_position(), -1086.0) << "a whole-way move waits for the motor";
}

// Catches a sweep speed not sent, the cap's warning missing, an impossible
// sweep prepared, and the hold/trigger pair missing or out of order.
TEST_F(FlapRig, PrimedSweepsSpeedsAndTrigger)
{
    start_centred();
    EXPECT_TRUE(motor->prime_go_right(25.0, 0));
    EXPECT_EQ(without_status(commands()), (strings{"PF5000", "GA-1086", "PF135", "GW", "GA1086"}));
    EXPECT_EQ(sim_position(), -1086.0) << "the held move waits for its trigger";
    EXPECT_EQ(motor->time_to_angle(master_clock->hundred_ns_time(), nullptr), -1086) << "resting at the start";

    clear_heard();
    res->RES_FLAP_STEPS->write(10);
    log_capture log;
    EXPECT_FALSE(motor->speed_okay(10.0 / 0.0952));
    EXPECT_TRUE(motor->prime_go_left(10.0 / 0.0952, 0));
    EXPECT_TRUE(log.contains("steps/s is greater than the maximum allowable rate of 5000 steps/s", wxLOG_Warning));
    EXPECT_EQ(commands().back(), "GA-1086");
    EXPECT_EQ(sim([](swept_motor_sim_t& s) { return s.speed(); }), 5000.0);

    clear_heard();
    EXPECT_FALSE(motor->speed_okay(10.0 / 0.09));
    EXPECT_FALSE(motor->prime_go_left(10.0 / 0.09, 0));
    for (const double rate : {0.0, -1.0, std::nan("")})
        EXPECT_FALSE(motor->prime_go_left(rate, 0));
    EXPECT_FALSE(motor->prime_go_left(25.0, flapping::max_moves));
    EXPECT_FALSE(motor->prime_go_left(25.0, -1));
    EXPECT_FALSE(motor->start_primed_move(3));
    EXPECT_TRUE(commands().empty()) << "nothing prepared, nothing sent";

    const std::uint64_t before = master_clock->hundred_ns_time();
    ASSERT_TRUE(motor->start_primed_move(0));
    const std::uint64_t after = master_clock->hundred_ns_time();
    EXPECT_GE(motor->trigger_time(0), before);
    EXPECT_LE(motor->trigger_time(0), after);
    EXPECT_TRUE(wait_until([&] { return sim([](swept_motor_sim_t& s) { return s.trigger_time().has_value(); }); }));
    EXPECT_TRUE(wait_until([&] { return sim_position() < -1085.0; }, std::chrono::seconds(2)));
}

// The simulator's time of a master-clock stamp, through the trigger both saw.
double sim_time(std::uint64_t stamp, std::uint64_t host_trigger, double sim_trigger)
{
    return sim_trigger + (static_cast<double>(stamp) - static_cast<double>(host_trigger)) / 1e7;
}

// Catches a frame angle that strays from where the motor truly was, through
// the ramps, the cruise and after the end, for a slow and a ramped sweep.
TEST_F(FlapRig, FrameAnglesFollowTheTrueMotion)
{
    start_centred();
    res->RES_FLAP_STEPS->write(20);
    for (const double fps : {50.0, 100.0}) {  // 0.4 s at speed 339 (no ramp), 0.2 s at speed 1447
        ASSERT_TRUE(fps == 50.0 ? motor->prime_go_right(fps, 0) : motor->prime_go_left(fps, 0));
        ASSERT_TRUE(motor->start_primed_move(0));
        std::this_thread::sleep_for(std::chrono::duration<double>(20.0 / fps + 0.05));
        motor->wait_for_motor();
        const double end = sim_position();
        const std::uint64_t trig = motor->trigger_time(0);
        const double sim_trig = *sim([](swept_motor_sim_t& s) { return s.trigger_time(); });
        const double period = 1e7 / fps;
        for (int i = 0; i < 26; ++i) {
            const auto start = static_cast<std::uint64_t>(static_cast<double>(trig) + period * i);
            long half = 0;
            const long angle = motor->time_to_angle(start + 80000, &half);
            const double middle = sim_time(start, trig, sim_trig) + 0.5 / fps;
            const double truth = sim([&](swept_motor_sim_t& s) { return s.position_at(middle); });
            EXPECT_LE(std::fabs(angle - truth), std::labs(half) + 1.0) << fps << " frame " << i;
        }
        long half = 5;
        EXPECT_EQ(motor->time_to_angle(trig - 10'000'000, &half), fps == 50.0 ? -1086 : 1086) << "before the trigger";
        EXPECT_EQ(half, 0);
        EXPECT_EQ(motor->time_to_angle(trig + 100'000'000, &half), static_cast<long>(end));
    }
    motor->step_right();
    EXPECT_EQ(motor->time_to_angle(master_clock->hundred_ns_time(), nullptr), -972)
        << "after a manual move the old sweep no longer says where the motor is";
}

// Catches frames over a sweep's count not marked, the last volume's mark
// wrong, an untriggered sweep chosen, and a mark made a pose.
TEST_F(FlapRig, VolumeModeCountsFramesAndIgnoresUntriggeredSweeps)
{
    start_centred();
    res->RES_FLAP_STEPS->write(4);
    res->RES_FLAP_MODE->write(3);
    res->RES_FLAP_VOLUMES->write(2);
    EXPECT_EQ(motor->add_frames(100.0), 5);  // ⌈1 × 100 × 0.042⌉
    ASSERT_TRUE(motor->prime_go_right(40.0, 0));
    ASSERT_TRUE(motor->start_primed_move(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    motor->wait_for_motor();
    ASSERT_TRUE(motor->prime_go_left(40.0, 1));
    const std::uint64_t t0 = motor->trigger_time(0);
    // Move 1 is primed, not triggered: frames long after still belong to move 0.
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(motor->time_to_angle(t0 + 200'000'000, nullptr), 2000) << i;
    EXPECT_EQ(motor->time_to_angle(t0 + 200'000'000, nullptr), flapping::outside_sweep);
    ASSERT_TRUE(motor->start_primed_move(1));
    const std::uint64_t t1 = motor->trigger_time(1);
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(motor->time_to_angle(t1 + 1'000'000, nullptr), 2000);
    EXPECT_EQ(motor->time_to_angle(t1 + 1'000'000, nullptr), flapping::outside_last_sweep);
    float pose[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(motor->angle_to_pos(flapping::outside_sweep, pose, -1));
    EXPECT_FALSE(motor->angle_to_pos(flapping::outside_last_sweep, pose, -1));
    EXPECT_TRUE(motor->angle_to_pos(0.0, pose, -1));
    EXPECT_NEAR(pose[0], 1.0f, 1e-5f) << "position 0 keeps the probe's pose";
}

// Catches frames of a centred motor without a timed sweep given no angle or
// a stale one, and the live model turning the probe the wrong way round the axis.
TEST_F(FlapRig, WithoutATimedSweepFramesTakeTheMotorPosition)
{
    start_centred();
    const auto angle_of = motor->angle_source();
    const std::uint64_t now = master_clock->hundred_ns_time();
    EXPECT_EQ(angle_of(now), 0.0f);
    motor->step_right();
    motor->step_right();
    EXPECT_EQ(angle_of(now), 88.0f);  // 2 × 44.36, truncated
    motor->to_left();
    EXPECT_EQ(angle_of(now), -1086.0f);

    // With the probe at the origin and no calibration, a sweep to the left end
    // turns the image about the axis 0.78 cm above it, by −1086 × 0.0046 degrees.
    const auto model = motor->sweep_model();
    float pose[6] = {0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(model(-1086.0f, pose));
    const double phi = -1086.0 * 0.0046 * M_PI / 180.0;
    EXPECT_NEAR(pose[1], -0.78 + 0.78 * std::cos(phi), 1e-5);
    EXPECT_NEAR(pose[2], 0.78 * std::sin(phi), 1e-5);
    EXPECT_NEAR(pose[5], -1086.0 * 0.0046, 1e-4) << "a turn about x is a roll";
    EXPECT_FALSE(model(static_cast<float>(flapping::outside_sweep), pose));
}

// Catches a reply that crashes, hangs or misleads: a silent, garbled, short or
// never-stopping controller is taken as stopped or failed, within the time-outs.
TEST_F(FlapRig, HostileRepliesFailSafeWithinTheTimeOuts)
{
    swept_motor_sim_options_t o;
    o.bad_status = true;
    start_link(o);
    log_capture log;
    EXPECT_FALSE(motor->find_centre(false)) << "an index digit that is no hex digit is no centring";

    o = {};
    o.never_stops = true;
    start_link(o);
    ASSERT_TRUE(motor->find_centre(false));
    motor->to_left();
    auto t0 = steady_clock::now();
    motor->wait_for_motor();
    const auto waited = steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(780));
    EXPECT_LT(waited, std::chrono::milliseconds(1300)) << "0.8 s and one reply at most";
    EXPECT_TRUE(log.contains("still running"));

    o = {};
    o.lose_byte_every = 1;
    start_link(o);
    EXPECT_FALSE(motor->find_centre(false)) << "every reply a byte short";

    // A device that trickles garbage without ever ending a reply.
    int m = -1, s = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&m, &s, name, nullptr, nullptr), 0);
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    std::atomic<bool> stop{false};
    std::string heard;
    std::thread device([&] {
        while (!stop) {
            const unsigned char junk[] = {0x02, '0', 'S', '1', 0xFF, 'z'};
            (void)::write(m, junk, sizeof junk);
            char buf[256];
            const ssize_t n = ::read(m, buf, sizeof buf);
            if (n > 0)
                heard.append(buf, static_cast<std::size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    flapping raw(fast_flap_timing());
    res->RES_FLAP_PORT->write(wxString(name));
    t0 = steady_clock::now();
    EXPECT_FALSE(raw.find_centre(false));
    EXPECT_LT(steady_clock::now() - t0, std::chrono::milliseconds(700)) << "garbage is no answer: one time-out";
    EXPECT_FALSE(raw.is_motor_running());
    stop = true;
    device.join();
    ::close(m);
    ::close(s);
    EXPECT_EQ(heard.find("GA"), std::string::npos) << "garbage never makes the driver move the motor";
}

// Catches a host that talks to the motor at any speed but 28800: the
// controller does not understand it.
TEST_F(FlapRig, OtherSpeedsAreNotHeard)
{
    start_link();
    serial_t port;
    ASSERT_TRUE(port.open_port(link->port_path()));
    ASSERT_TRUE(port.set_params(38400, 8, 0, 0, 0));
    const auto f = flap::encode("IS?");
    ASSERT_TRUE(port.pwrite(f->data(), f->size()));
    EXPECT_TRUE(wait_until([&] { return link->line_mismatches() > 0; }, std::chrono::seconds(2)));
    EXPECT_TRUE(commands().empty());
}

}  // namespace
