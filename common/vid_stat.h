// One captured video frame as the capture devices publish it with
// RES_VIDEO_CAPTURE_EVENT: one byte per pixel, stamped on master_clock.
#pragma once

#include <cstdint>

#include "cip.h"

struct vid_stat_t {
    cip_t image;                 // width x height bytes, rows top to bottom
    std::int32_t size = 0;       // bytes in image
    std::uint32_t width = 0, height = 0;
    std::uint64_t time = 0;      // 100 ns ticks of master_clock
    std::uint64_t frame_count = 0;  // frames released since streaming started
    // Filled only by a motorised stage or a swept probe.
    float stage_x = 0.0f, stage_y = 0.0f, stage_z = 0.0f;
    float sweep_angle = 0.0f;
};
