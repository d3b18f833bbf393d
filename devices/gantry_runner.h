// Runs the gantry's command sequence: from the dialog (Run takes one step per
// idle tick, so the window repaints between steps; Step takes one), or tied
// to recording by RES_ZABER_MODE:
//   0  by hand: the sequence moves only when the user runs or steps it;
//   1  one step per recorded frame ("stop and shoot"): after each frame kept
//      while recording the stage takes the next step, and frames grabbed
//      before it has settled are not used;
//   2  one step per sweep: each sweep finished while recording takes a step.
// Frames whose time stamp lies before the end of the last movement are
// refused in every mode: the stage was moving while they were grabbed, and
// the moves block the user-interface thread, so such frames arrive late.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "common/functor.h"

class zaberGantry;

enum zaber_mode_t : long { ZABER_MODE_BY_HAND = 0, ZABER_MODE_STEP_PER_FRAME = 1, ZABER_MODE_STEP_PER_SWEEP = 2 };

class gantry_runner_t {
public:
    using clock_t = std::function<std::uint64_t()>;  // 100 ns ticks, as frame time stamps

    // Registers on the idle tick and the published positions. finished_sweeps
    // counts the sweeps the recorder has closed (step per sweep).
    explicit gantry_runner_t(zaberGantry& gantry, std::function<long()> finished_sweeps = {}, clock_t clock = {});
    ~gantry_runner_t();
    gantry_runner_t(const gantry_runner_t&) = delete;
    gantry_runner_t& operator=(const gantry_runner_t&) = delete;

    // Run: false (logged) when the gantry is not started or holds no sequence.
    bool start_run();
    // One step now; false at the end of the sequence or when it cannot step.
    bool step();
    // Ends a run and stops every axis.
    void stop();
    bool running() const { return running_; }

    // Whether a frame stamped `time` may be posed from the stage: the gate the
    // synchroniser asks while the gantry is started.
    bool accept_frame(std::uint64_t time);

    // What the idle tick does: one step of a run, or the step a recorded
    // frame or finished sweep asked for. Public for tests without a main loop.
    void tick();

private:
    bool take_step();
    void check_due();
    void want_idle(bool on);
    void positions_changed();
    void recording_changed();
    long sweep_count() const;

    zaberGantry& gantry_;
    std::function<long()> finished_sweeps_;
    clock_t clock_;
    bool running_ = false;
    bool step_due_ = false;
    bool idle_wanted_ = false;
    bool sequence_ended_ = false;   // while recording in mode 1 or 2
    std::uint64_t settled_at_ = 0;  // when the last movement ended
    long frames_seen_ = 0, sweeps_seen_ = 0;
    std::unique_ptr<pmf_functor<gantry_runner_t>> idle_proc_, positions_proc_, recording_proc_;
};
