#include "devices/gantry_runner.h"

#include <wx/log.h>

#include "common/dynabuf.h"
#include "common/timestamp.h"
#include "devices/zaber_gantry.h"
#include "resources/resource_table.h"

gantry_runner_t::gantry_runner_t(zaberGantry& gantry, std::function<long()> finished_sweeps, clock_t clock)
    : gantry_(gantry), finished_sweeps_(std::move(finished_sweeps)), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return master_clock ? master_clock->hundred_ns_time() : 0; };
    idle_proc_ = std::make_unique<pmf_functor<gantry_runner_t>>(this, &gantry_runner_t::tick);
    positions_proc_ = std::make_unique<pmf_functor<gantry_runner_t>>(this, &gantry_runner_t::positions_changed);
    recording_proc_ = std::make_unique<pmf_functor<gantry_runner_t>>(this, &gantry_runner_t::recording_changed);
    // The positions are published when a movement has ended.
    for (auto* r : {res->RES_ZABER_POS_X, res->RES_ZABER_POS_Y, res->RES_ZABER_POS_Z})
        r->add_proc(positions_proc_.get());
    res->RES_RECORDING_NOW->add_proc(recording_proc_.get());
}

gantry_runner_t::~gantry_runner_t()
{
    want_idle(false);
    for (auto* r : {res->RES_ZABER_POS_X, res->RES_ZABER_POS_Y, res->RES_ZABER_POS_Z})
        r->remove_worry(positions_proc_.get());
    res->RES_RECORDING_NOW->remove_worry(recording_proc_.get());
}

void gantry_runner_t::positions_changed()
{
    settled_at_ = clock_();
}

// Recording switched on or off: counting starts afresh from what is held.
void gantry_runner_t::recording_changed()
{
    frames_seen_ = bufp ? bufp->frames() : 0;
    sweeps_seen_ = sweep_count();
    step_due_ = false;
    sequence_ended_ = false;
}

long gantry_runner_t::sweep_count() const
{
    return finished_sweeps_ ? finished_sweeps_() : 0;
}

void gantry_runner_t::check_due()
{
    if (!res->RES_RECORDING_NOW->value() || !gantry_.running() || step_due_)
        return;
    const long mode = res->RES_ZABER_MODE->value();
    if (mode == ZABER_MODE_STEP_PER_FRAME && bufp && bufp->frames() > frames_seen_)
        step_due_ = true;
    else if (mode == ZABER_MODE_STEP_PER_SWEEP && sweep_count() > sweeps_seen_)
        step_due_ = true;
}

// The idle loop spins while anyone listens: listen only while there is work.
void gantry_runner_t::want_idle(bool on)
{
    if (on == idle_wanted_)
        return;
    idle_wanted_ = on;
    if (on)
        res->RES_IDLE_EVENT->read(idle_proc_.get());
    else
        res->RES_IDLE_EVENT->remove_worry(idle_proc_.get());
}

bool gantry_runner_t::accept_frame(std::uint64_t time)
{
    check_due();
    if (step_due_) {
        want_idle(true);
        return false;
    }  // taken at this position already, or its sweep is over
    const long mode = res->RES_ZABER_MODE->value();
    if (sequence_ended_ && res->RES_RECORDING_NOW->value() &&
        (mode == ZABER_MODE_STEP_PER_FRAME || mode == ZABER_MODE_STEP_PER_SWEEP))
        return false;
    return time >= settled_at_;
}

bool gantry_runner_t::take_step()
{
    const bool more = gantry_.runNextSeqStep();
    settled_at_ = clock_();
    frames_seen_ = bufp ? bufp->frames() : 0;
    sweeps_seen_ = sweep_count();
    return more;
}

void gantry_runner_t::tick()
{
    check_due();
    if (step_due_) {
        step_due_ = false;
        if (!take_step() && !sequence_ended_) {
            sequence_ended_ = true;
            wxLogMessage("The gantry sequence has ended: no more frames are recorded until recording starts again.");
        }
    } else if (running_ && !take_step()) {
        running_ = false;
    }
    want_idle(running_);
}

bool gantry_runner_t::start_run()
{
    if (!gantry_.running()) {
        wxLogWarning("Start the gantry before running a sequence.");
        return false;
    }
    if (!gantry_.sequence().loaded()) {
        wxLogWarning("Open a sequence file before running it.");
        return false;
    }
    running_ = true;
    want_idle(true);
    return true;
}

bool gantry_runner_t::step()
{
    if (!gantry_.running()) {
        wxLogWarning("Start the gantry before stepping a sequence.");
        return false;
    }
    return take_step();
}

void gantry_runner_t::stop()
{
    running_ = false;
    step_due_ = false;
    want_idle(false);
    gantry_.stopAll();
    settled_at_ = clock_();
}
