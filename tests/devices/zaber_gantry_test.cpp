// The gantry against its simulated slides over a pty: every operation, the
// re-based target after a refusal, and the faults of a real line.
#include <chrono>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "zaber_rig.h"

namespace {

using std::chrono::steady_clock;

// Catches a wrong microstep scale, an axis driven as another, positions not
// published, and a home or move that does not wait for the motion to end.
TEST_F(ZaberRig, EveryOperationPerAxisAndAllLandsWhereAsked)
{
    start_link();
    EXPECT_EQ(sim_commands(), 0) << "nothing is sent before the gantry starts";
    gantry->moveAllToPosition(1, 1, 1);
    EXPECT_EQ(sim_commands(), 0) << "nothing moves while the gantry is not running";

    ASSERT_TRUE(gantry->initialise());
    EXPECT_TRUE(res->RES_ZABER_RUNNING->value());
    const double per_cm = gantry->slide(0).microsteps_per_cm();
    EXPECT_DOUBLE_EQ(per_cm, 64 * 10 * 200 / 6.35);

    gantry->moveAllToPosition(1.0, 2.5, 7.25);
    const double want[3] = {1.0, 2.5, 7.25};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(sim_position(i + 1), std::round(want[i] * per_cm), 0.5) << i;
        EXPECT_NEAR(gantry->positions()[static_cast<std::size_t>(i)], want[i], 1.0 / per_cm) << i;
    }
    EXPECT_NEAR(res->RES_ZABER_POS_X->value(), 1.0, 1.0 / per_cm);
    EXPECT_NEAR(res->RES_ZABER_POS_Y->value(), 2.5, 1.0 / per_cm);
    EXPECT_NEAR(res->RES_ZABER_POS_Z->value(), 7.25, 1.0 / per_cm);

    gantry->stepAxis(1, -0.5);
    EXPECT_NEAR(sim_position(2), std::round(2.0 * per_cm), 0.5);
    EXPECT_NEAR(sim_position(1), std::round(1.0 * per_cm), 0.5) << "only y moves";
    gantry->moveAxisToPosition(2, 0.25);
    EXPECT_NEAR(res->RES_ZABER_POS_Z->value(), 0.25, 1.0 / per_cm);
    gantry->stepAll(0.5, 0.5, 0.5);
    EXPECT_NEAR(reported_microsteps(0), std::round(1.5 * per_cm), 0.5);
    EXPECT_NEAR(reported_microsteps(2), std::round(0.75 * per_cm), 0.5);
    gantry->homeAxis(0);
    EXPECT_EQ(sim_position(1), 0.0);
    EXPECT_EQ(res->RES_ZABER_POS_X->value(), 0.0);
    EXPECT_GT(sim_position(2), 0.0);
    gantry->homeAll();
    for (int d = 1; d <= 3; ++d)
        EXPECT_EQ(sim_position(d), 0.0) << d;

    log_capture log;
    const long before = sim_commands();
    gantry->homeAxis(3);
    gantry->moveAxisToPosition(-1, 1.0);
    gantry->stepAxis(7, 1.0);
    EXPECT_EQ(sim_commands(), before);
    EXPECT_TRUE(log.contains("Invalid axis index in zaberGantry::homeAxis"));
    EXPECT_TRUE(log.contains("Invalid axis index in zaberGantry::moveAxisToPosition"));
    EXPECT_TRUE(log.contains("Invalid axis index in zaberGantry::stepAxis"));
}

// Catches relative steps that accumulate rounding: ten steps of 0.1 cm leave
// the target at ten times one step and the stage on the matching microstep.
TEST_F(ZaberRig, TenTenthStepsLeaveTheTargetTenStepsAway)
{
    start_link();
    ASSERT_TRUE(gantry->initialise());
    const double per_cm = gantry->slide(0).microsteps_per_cm();
    for (int k = 0; k < 10; ++k)
        gantry->stepAxis(0, 0.1);
    EXPECT_NEAR(gantry->slide(0).target(), 10 * (0.1 * per_cm), 1e-9);
    EXPECT_EQ(sim_position(1), std::round(gantry->slide(0).target()));
    EXPECT_EQ(gantry->slide(0).last_position(), static_cast<std::int64_t>(std::round(gantry->slide(0).target())));
}

// Catches a refused move that leaves the target where the stage could not
// go, so that the next step re-adds the refused distance, and a NaN target.
TEST_F(ZaberRig, ARefusedMoveThenAStepMovesFromWhereTheStageIs)
{
    start_link();
    ASSERT_TRUE(gantry->initialise());
    const double per_cm = gantry->slide(0).microsteps_per_cm();
    gantry->moveAxisToPosition(0, 2.0);

    log_capture log;
    const auto t0 = steady_clock::now();
    gantry->moveAxisToPosition(0, 50.0);  // travel is 10 cm
    EXPECT_LT(steady_clock::now() - t0, std::chrono::milliseconds(1000)) << "a refusal is not a time-out";
    EXPECT_TRUE(log.contains("Requested location is out of range", wxLOG_Warning));
    EXPECT_NEAR(gantry->slide(0).target(), std::round(2.0 * per_cm), 0.5);
    gantry->stepAxis(0, 60.0);  // a relative refusal, data 21
    gantry->stepAxis(0, 0.5);
    EXPECT_NEAR(sim_position(1), std::round(2.5 * per_cm), 0.5);

    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        gantry->stepAxis(0, bad);
        gantry->moveAxisToPosition(0, bad);
        gantry->moveAllToPosition(bad, bad, bad);
    }
    EXPECT_TRUE(std::isfinite(gantry->slide(0).target()));
    gantry->stepAxis(0, 0.5);
    EXPECT_NEAR(sim_position(1), std::round(3.0 * per_cm), 0.5);
    EXPECT_NEAR(res->RES_ZABER_POS_X->value(), 3.0, 1.0 / per_cm);
}

// Catches unsolicited replies and move completions taken as the answer to a
// later command, and a framing that never recovers from a lost byte.
TEST_F(ZaberRig, UnsolicitedRepliesAndLostBytesDoNotMisplaceTheStage)
{
    start_link();
    ASSERT_TRUE(gantry->initialise());
    const double per_cm = gantry->slide(0).microsteps_per_cm();
    zaber_sim_options_t o = fast_slides();
    o.unsolicited_every = 2;
    o.lose_byte_every = 7;
    set_options(o);
    const double xs[] = {1.0, 4.0, 2.5, 6.0, 3.0};
    for (const double x : xs) {
        gantry->moveAllToPosition(x, x / 2, x / 3);
        EXPECT_NEAR(sim_position(1), std::round(x * per_cm), 0.5) << x;
        EXPECT_NEAR(sim_position(3), std::round(x / 3 * per_cm), 0.5) << x;
    }
    set_options(fast_slides());
    gantry->stepAll(0.1, 0.1, 0.1);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(reported_microsteps(i), sim_position(i + 1), 0.5) << i;
}

// Catches a reply from another device accepted as the answer, and other
// error replies taken as success.
TEST_F(ZaberRig, RepliesFromAnotherDeviceOrErrorsFailTheStart)
{
    for (const bool wrong_device : {true, false}) {
        SCOPED_TRACE(wrong_device ? "wrong device" : "error reply");
        zaber_sim_options_t o = fast_slides();
        (wrong_device ? o.wrong_device_every : o.error_every) = 1;
        start_link(o);
        log_capture log;
        EXPECT_FALSE(gantry->initialise());
        EXPECT_FALSE(res->RES_ZABER_RUNNING->value());
        EXPECT_TRUE(log.contains("failed to initialise zaber gantry", wxLOG_Warning));
        gantry.reset();
        link.reset();
    }
}

// Catches a wait that outlasts its time-out on an axis that never stops, and
// a timed-out axis that blocks the others.
TEST_F(ZaberRig, AStuckAxisTimesOutAndTheOthersStillMove)
{
    start_link();
    ASSERT_TRUE(gantry->initialise());
    const double per_cm = gantry->slide(0).microsteps_per_cm();
    zaber_sim_options_t o = fast_slides();
    o.stuck_device = 2;
    set_options(o);

    log_capture log;
    const auto t0 = steady_clock::now();
    gantry->moveAllToPosition(1.0, 1.0, 1.0);
    const auto took = steady_clock::now() - t0;
    EXPECT_TRUE(log.contains("Timeout waiting for movement", wxLOG_Error));
    // One movement time-out, plus the other axes' moves and a reply time-out.
    EXPECT_LT(took, std::chrono::milliseconds(1500 + 300 + 1000));
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_NEAR(sim_position(1), std::round(per_cm), 0.5);
    EXPECT_NEAR(sim_position(3), std::round(per_cm), 0.5);
    EXPECT_EQ(res->RES_ZABER_POS_Y->value(), 0.0);
    EXPECT_EQ(gantry->slide(1).target(), 0.0) << "re-based where it stuck";
}

// Catches replies that arrive late being refused outright: a slow line
// (below the reply time-out) still works.
TEST_F(ZaberRig, ASlowLineStillWorks)
{
    start_link();
    link->set_faults(sim_faults_t{.latency = 0.1});
    ASSERT_TRUE(gantry->initialise());
    gantry->moveAllToPosition(0.5, 0.5, 0.5);
    for (int d = 1; d <= 3; ++d)
        EXPECT_NEAR(sim_position(d), std::round(0.5 * gantry->slide(0).microsteps_per_cm()), 0.5) << d;
}

// Catches a gantry that claims to run on a port that is not there.
TEST_F(ZaberRig, AMissingPortIsRefused)
{
    res->RES_ZABER_PORT->write(wxString("/nonexistent/zaber"));
    zaberGantry g(fast_timing());
    log_capture log;
    EXPECT_FALSE(g.initialise());
    EXPECT_TRUE(log.contains("Invalid port selected for zaber gantry control", wxLOG_Warning));
    EXPECT_FALSE(res->RES_ZABER_RUNNING->value());
}

}  // namespace
