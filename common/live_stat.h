// A frame with the probe and pointer poses interpolated at its time stamp, as
// published with RES_LIVE_POS_CAPTURE_EVENT for live display and recording.
#pragma once

#include <cstdint>
#include <memory>

#include "counted_array_ptr.h"
#include "pos_stat.h"
#include "vid_stat.h"

struct live_stat_t {
    counted_array_ptr<float> probe_pose;    // six floats (pos_stat_t convention); empty: none
    counted_array_ptr<float> pointer_pose;  // empty when the pointer had no pose at that time
    pos_state_t pointer_state = POS_MISSING;
    std::shared_ptr<vid_stat_t> frame;
    std::uint8_t gate_open = 0;        // only frames published with the gate open are recorded
    std::uint8_t volume_complete = 1;  // mechanically swept probe only
};
