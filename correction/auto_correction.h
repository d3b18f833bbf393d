// Correction while recording and the pending correction of the pressure page.
//
// auto_correction_t follows a live recording (live_recorder::set_observer):
// with RES_AUTO_CORRECT_POS on, positions from a tracker and no RF data, each
// recorded frame is added to a run, and each finished sweep is optimised and
// applied at once; frames taken away drop the run (its frame numbers no
// longer hold) until the next sweep.
//
// A correction made from the page is held in RES_CORRELATION until it is
// accepted (applied, if the recording still holds the frames it was made
// from) or rejected.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <wx/string.h>

#include "common/recording_observer.h"
#include "correction/image_correlation.h"

class auto_correction_t final : public recording_observer_t {
public:
    void recording_started() override;
    void frame_recorded(long frame) override;
    void sweep_finished(long first, long last) override;
    void recording_stopped() override { run_.reset(); }
    void frames_discarded() override;

    // The largest data movement (mm) of the last sweep corrected, and whether it was.
    double last_movement() const { return last_movement_; }
    long sweeps_corrected() const { return corrected_; }

private:
    std::unique_ptr<image_correlation> run_;
    long next_ = 0;  // the frame the run expects next; others restart it
    bool wanted_ = false;
    double last_movement_ = 0.0;
    long corrected_ = 0;
};

// Corrects frames first..last and holds the result as the pending correction
// (RES_CORRELATION, null when the run failed). Returns the run.
std::shared_ptr<image_correlation> make_pending_correction(long first, long last, bool pressure, double* max_a,
                                                           double* max_b);
// Applies the pending correction; false (and dropped) when there is none or
// the recording's frames are no longer the ones it was made from.
bool accept_pending_correction();
// Takes a shown correction out again, then drops it.
void reject_pending_correction();
// The pressure display's status: "No valid correction", "Position correction
// available", "Pressure correction available", each "... and applied" once shown.
wxString pending_correction_text();

// The first and last frame of each sweep of the recording held; frames
// before the first sweep listed make a sweep of their own, and a recording
// without sweeps is one.
std::vector<std::pair<long, long>> recording_sweeps();
