// Running a sequence from the dialog and tied to recording: one step per
// tick, Stop halting the run, and the frame gate that keeps frames grabbed
// while the stage moved (or before it took its step) out of a recording.
#include <cmath>

#include <wx/ffile.h>

#include "common/dynabuf.h"
#include "devices/gantry_runner.h"
#include "support/log_capture.h"
#include "zaber_rig.h"

namespace {

class GantryRun : public ZaberRig {
protected:
    std::uint64_t now = 1000;
    long finished_sweeps = 0;
    std::unique_ptr<gantry_runner_t> runner;

    void TearDown() override
    {
        runner.reset();  // before the resources go
        ZaberRig::TearDown();
    }

    void start(const char* sequence)
    {
        start_link();
        ASSERT_TRUE(gantry->initialise());
        const wxString file = path("run.zsq");
        wxFFile(file, "w").Write(sequence);
        ASSERT_TRUE(gantry->loadSeq(file));
        runner = std::make_unique<gantry_runner_t>(
            *gantry, [this] { return finished_sweeps; }, [this] { return now; });
    }
    void record_frame() { bufp->append(cip_t::make_8bit(8, 8), counted_array_ptr<float>(6), now); }
    void recording(bool on)
    {
        res->RES_RECORDING_NOW->write(on);
        base_res_t::make_pending_writes_happen();
    }
    double x_cm() const { return res->RES_ZABER_POS_X->value(); }
};

constexpr const char* three_steps = "BEGIN_MAIN\nrepeat 3\nstep_x 0.5\npause\nrepeat_end\nEND_MAIN\n";

// A run that stepped more than once per tick would not let the window repaint;
// one that ignored Stop would drive the stage on.
TEST_F(GantryRun, RunTakesOneStepPerTickAndStopEndsIt)
{
    start(three_steps);
    EXPECT_FALSE(runner->running());
    ASSERT_TRUE(runner->start_run());
    runner->tick();
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 1);
    EXPECT_NEAR(x_cm(), 0.5, 1e-3);
    runner->tick();
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 2);
    EXPECT_TRUE(runner->running());

    const long sent = sim_commands();
    runner->stop();
    for (int i = 0; i < 3; ++i)
        runner->tick();
    EXPECT_FALSE(runner->running());
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 2);
    EXPECT_NEAR(x_cm(), 1.0, 1e-3);
    EXPECT_GT(sim_commands(), sent) << "Stop sends the stop command to the axes";
    const long after_stop = sim_commands();
    runner->tick();
    EXPECT_EQ(sim_commands(), after_stop) << "nothing moves after Stop";

    // Run again to the end: the last step, then the end of the sequence ends the run.
    ASSERT_TRUE(runner->start_run());
    runner->tick();
    runner->tick();
    EXPECT_FALSE(runner->running());
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 3);
    EXPECT_NEAR(sim_position(1), std::round(1.5 * gantry->slide(0).microsteps_per_cm()), 0.5);
}

TEST_F(GantryRun, RunIsRefusedWithoutAStartedGantryOrASequence)
{
    start_link();
    gantry_runner_t runner(*gantry);
    log_capture log;
    EXPECT_FALSE(runner.start_run());
    EXPECT_FALSE(runner.step());
    EXPECT_TRUE(log.contains("Start the gantry"));
    ASSERT_TRUE(gantry->initialise());
    EXPECT_FALSE(runner.start_run());
    EXPECT_TRUE(log.contains("Open a sequence file"));
}

// Frames stamped while the stage moved arrive after the move (it blocks this
// thread) and would be posed at its end.
TEST_F(GantryRun, FramesGrabbedBeforeAMovementEndedAreRefused)
{
    start(three_steps);
    now = 5000;
    ASSERT_TRUE(runner->step());
    EXPECT_FALSE(runner->accept_frame(4999));
    EXPECT_TRUE(runner->accept_frame(5000));
    now = 9000;
    gantry->moveAxisToPosition(1, 2.0);  // a move from the dialog counts too
    base_res_t::make_pending_writes_happen();
    EXPECT_FALSE(runner->accept_frame(8000));
    EXPECT_TRUE(runner->accept_frame(9001));
}

// Stop and shoot: exactly one frame per position, the stage stepping between.
TEST_F(GantryRun, OneStepPerRecordedFrameTakesOneFramePerPosition)
{
    start(three_steps);
    res->RES_ZABER_MODE->write(ZABER_MODE_STEP_PER_FRAME);
    bufp->clear();
    recording(true);
    std::vector<double> frame_x;
    log_capture log;
    for (int i = 0; i < 6; ++i) {
        now += 10;
        if (runner->accept_frame(now)) {
            frame_x.push_back(x_cm());
            record_frame();
        }
        now += 10;
        EXPECT_FALSE(runner->accept_frame(now)) << "a second frame at the same place, frame " << i;
        runner->tick();
    }
    EXPECT_TRUE(log.contains("The gantry sequence has ended"));
    ASSERT_EQ(frame_x.size(), 4u) << "the start and each of three steps";
    for (std::size_t i = 0; i < frame_x.size(); ++i)
        EXPECT_NEAR(frame_x[i], 0.5 * static_cast<double>(i), 1e-3) << i;

    // Recording again starts counting afresh; by hand, frames are never held back.
    recording(false);
    res->RES_ZABER_MODE->write(ZABER_MODE_BY_HAND);
    recording(true);
    record_frame();
    now += 10;
    EXPECT_TRUE(runner->accept_frame(now));
    EXPECT_TRUE(runner->accept_frame(now + 1));
    recording(false);
    bufp->clear();
}

TEST_F(GantryRun, OneStepPerSweepStepsWhenASweepFinishes)
{
    start(three_steps);
    res->RES_ZABER_MODE->write(ZABER_MODE_STEP_PER_SWEEP);
    recording(true);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(runner->accept_frame(++now));
    EXPECT_NEAR(x_cm(), 0.0, 1e-3);
    ++finished_sweeps;
    EXPECT_FALSE(runner->accept_frame(++now)) << "the next sweep waits for the stage";
    runner->tick();
    EXPECT_NEAR(x_cm(), 0.5, 1e-3);
    EXPECT_TRUE(runner->accept_frame(++now));
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 1);
    recording(false);
}

}  // namespace
