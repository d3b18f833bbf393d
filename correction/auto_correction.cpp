#include "auto_correction.h"

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

void auto_correction_t::recording_started()
{
    run_.reset();
    wanted_ = res->RES_AUTO_CORRECT_POS->value() && !res->RES_BUF_RF->value() &&
              res->RES_POSITION_SOURCE->value() != SENSOR_NONE;
    next_ = bufp->frames();
}

void auto_correction_t::frame_recorded(long frame)
{
    if (!wanted_)
        return;
    if (frame != next_)  // not the frame that follows: start again from this one
        run_.reset();
    next_ = frame + 1;
    if (!run_)
        run_ = std::make_unique<image_correlation>(false, false);
    if (run_->valid())
        run_->add(frame);
}

void auto_correction_t::sweep_finished(long first, long last)
{
    if (!run_)
        return;
    std::unique_ptr<image_correlation> run = std::move(run_);
    const auto& records = run->records();
    if (records.empty() || records.front().frame != first || records.back().frame != last) {
        wxLogDebug("Auto-correction skipped a sweep it did not see whole (frames %li to %li).", first, last);
        return;
    }
    double a = 0.0, b = 0.0;
    if (run->optimise(&a, &b) && run->apply()) {
        last_movement_ = a;
        ++corrected_;
    }
}

void auto_correction_t::frames_discarded()
{
    run_.reset();
    next_ = bufp->frames();
}

std::shared_ptr<image_correlation> make_pending_correction(long first, long last, bool pressure, double* max_a,
                                                           double* max_b)
{
    auto run = correct_frames(first, last, pressure, true, max_a, max_b);
    res->RES_CORRELATION->write(run->valid() ? run : nullptr);
    return run;
}

bool accept_pending_correction()
{
    const std::shared_ptr<image_correlation> run = res->RES_CORRELATION->value();
    res->RES_CORRELATION->write(nullptr);
    // Shown already: the recording holds it; applying again would squash twice.
    return run && (run->shown() || run->apply());
}

void reject_pending_correction()
{
    if (const std::shared_ptr<image_correlation> run = res->RES_CORRELATION->value(); run && run->shown())
        run->hide();
    res->RES_CORRELATION->write(nullptr);
}

wxString pending_correction_text()
{
    const std::shared_ptr<image_correlation> run = res->RES_CORRELATION->value();
    if (!run || !run->valid())
        return "No valid correction";
    const wxString what = run->pressure() ? "Pressure correction available" : "Position correction available";
    return run->shown() ? what + " and applied" : what;
}

std::vector<std::pair<long, long>> recording_sweeps()
{
    const long frames = bufp ? bufp->frames() : 0;
    if (frames <= 0)
        return {};
    const auto& sweeps = res->RES_SWEEPS->value();
    std::vector<long> first = sweeps ? sweeps->first_frames : std::vector<long>{};
    if (first.empty() || first[0] != 0)
        first.insert(first.begin(), 0);
    std::vector<std::pair<long, long>> ranges;
    for (std::size_t s = 0; s < first.size(); ++s)
        ranges.emplace_back(first[s], s + 1 < first.size() ? first[s + 1] - 1 : frames - 1);
    return ranges;
}
