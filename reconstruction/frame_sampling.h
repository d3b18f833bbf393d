// Reading one value from a frame at a fractional pixel position.
#pragma once

#include "common/cip.h"

struct frame_sampler {
    bool zero_is_no_data = false;
    bool bilinear = true;

    // The value at pixel position (u, v), or -1 for no data. Bilinear with
    // 8-bit weights; the nearest pixel at the right and bottom edges, when not
    // interpolating, and (where zero means no data) when a neighbour is empty.
    // A zero that is data reads as 1, so that 0 keeps meaning "nothing here".
    // Positions outside the image are held to its border.
    int sample(const cip_t& image, double u, double v) const;
};
