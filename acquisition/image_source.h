// An image source the capture front end drives besides the V4L2 devices: it
// offers one entry for RES_VID_CARD_LIST. Most sources have a capture device
// behind their own seam, which they fill from pump() on every acquisition
// step, so their frames go through the same release, crop and rate logic as
// a real card's. A source whose frames no capture device could carry (RF
// samples) has no seam and publishes its frames itself through start, step
// and stop.
#pragma once

#include <cstdint>

#include "acquisition/ks_v4l2_buffer.h"
#include "acquisition/v4l2_seam.h"
#include "resources/resource_value_types.h"

class image_source_t {
public:
    virtual ~image_source_t() = default;
    virtual vid_card_list_t entry() const = 0;
    // The capture device behind the source; null when it publishes itself.
    virtual v4l2_seam_t* seam() { return nullptr; }
    // Makes the frames due by `now` (master clock ticks) available to capture.
    virtual void pump(std::uint64_t) {}

    // Sources without a seam: the frame size and data kind they impose once chosen.
    virtual void update_resources() {}
    virtual bool start() { return false; }
    virtual void stop() {}
    // Publishes the frame due by `now` with RES_VIDEO_CAPTURE_EVENT, if any.
    virtual capture_step_t step(std::uint64_t) { return capture_step_t::idle; }
};

// Kinds of the simulated image sources in RES_VID_CARD_LIST.
inline constexpr int image_source_simulated = 13;
inline constexpr int image_source_simulated_rf = 14;
