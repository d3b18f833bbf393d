// One time-stamped pose from a tracker, in the form every consumer uses.
#pragma once

#include <cstdint>

#include "counted_array_ptr.h"

enum pos_state_t : std::int32_t {
    POS_VALID = 0,
    POS_PARTLY_OUT = 1,  // valid, tool partially out of the measurement volume
    POS_WARNED = 2,      // valid, but out of volume or a temperature warning
    POS_MISSING = 3,     // no usable pose: the pose array must not be used
};

struct pos_stat_t {
    std::uint64_t time = 0;           // 100 ns ticks of master_clock, latency-corrected
    counted_array_ptr<float> pose;    // x, y, z in cm; azimuth, elevation, roll in degrees
    pos_state_t state = POS_MISSING;

    static pos_stat_t make(std::uint64_t t, const float (&p)[6], pos_state_t s = POS_VALID)
    {
        pos_stat_t r;
        r.time = t;
        r.pose = counted_array_ptr<float>(6);
        for (int i = 0; i < 6; ++i)
            r.pose[i] = p[i];
        r.state = s;
        return r;
    }
};
