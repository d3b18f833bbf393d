// One captured frame as the capture side publishes it with
// RES_VIDEO_CAPTURE_EVENT; the live synchroniser pairs it with a pose.
#pragma once

#include <cstdint>

#include "cip.h"

struct vid_stat_t {
    cip_t image;                      // width x height bytes, one per pixel, rows top to bottom
    std::int32_t size = 0;            // bytes in image
    std::uint32_t width = 0, height = 0;
    std::uint64_t time = 0;           // 100 ns ticks of master_clock
    std::uint64_t frame_count = 0;    // frames since streaming started
    // Filled only by a motorised stage (cm) and by a mechanically swept probe (motor position).
    float stage_x = 0.0f, stage_y = 0.0f, stage_z = 0.0f;
    float sweep_angle = 0.0f;
};
