// An image source the capture front end drives besides the V4L2 devices: it
// offers one entry for RES_VID_CARD_LIST and a capture device behind its own
// seam, which it fills from pump() on every acquisition step, so its frames
// go through the same release, crop and rate logic as a real card's.
#pragma once

#include <cstdint>

#include "acquisition/v4l2_seam.h"
#include "resources/resource_value_types.h"

class image_source_t {
public:
    virtual ~image_source_t() = default;
    virtual vid_card_list_t entry() const = 0;
    virtual v4l2_seam_t& seam() = 0;
    // Makes the frames due by `now` (master clock ticks) available to capture.
    virtual void pump(std::uint64_t now) = 0;
};

// Kind of the simulated image source in RES_VID_CARD_LIST.
inline constexpr int image_source_simulated = 13;
