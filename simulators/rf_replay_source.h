// RF frames held, replayed as a live RF source: looped at their recorded
// intervals like the simulated images, but published directly with their
// samples, since no capture device carries RF data. Each live frame keeps
// the samples of the part RES_RF_VECTOR_OFFSET, RES_RF_SAMPLE_OFFSET,
// RES_RF_VECTORS and RES_RF_SAMPLES name and is shown through the RF display,
// so the oscilloscope, the views and the recorder see what a digitiser would give.
#pragma once

#include <cstdint>
#include <vector>

#include "acquisition/image_source.h"
#include "simulators/simulated_source.h"

class rf_replay_source_t final : public image_source_t {
public:
    // Frames with samples, all of one size, with their time stamps. The probe
    // settings of the recording held now are kept: a new recording started
    // while the source runs shows its frames through the same probe.
    rf_replay_source_t(std::vector<cip_t> frames, std::vector<std::uint64_t> times);

    vid_card_list_t entry() const override { return {"Simulated RF images", image_source_simulated_rf, 0}; }
    // With nothing recorded yet: RF data, and a window that lies inside the source's frames.
    void update_resources() override;
    bool start() override;
    void stop() override;
    // Publishes the latest frame due by now less the group delay, so that the
    // tracker samples around it have arrived; frames fallen behind are dropped.
    capture_step_t step(std::uint64_t now) override;

    long frames_dropped() const { return dropped_; }
    long frames_published() const { return published_; }

private:
    cip_t live_frame(const cip_t& source, std::uint64_t number) const;

    recording_replay_t replay_;
    wxString probe_name_;
    long probe_number_ = -1, freq_ = 0, filter_ = 1;
    long vectors_ = 0, samples_ = 0;
    bool running_ = false, started_ = false;
    std::uint64_t start_ = 0, next_ = 0;
    long dropped_ = 0, published_ = 0;
};
