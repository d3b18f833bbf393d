// Finding the stylus tip's echo in a B-scan for point calibration: the
// brightest pixel in the region, the straight, mirror-symmetric streak the
// stylus leaves below it, and the brightest row along that streak.
#pragma once

#include <optional>
#include <vector>

#include "common/cip.h"
#include "common/vertex.h"

struct stylus_tip_t {
    vertex2d tip;        // buffer column and row
    double angle = 0.0;  // degrees from the vertical, -45 to 45
    // The streak's column at the top and bottom rows searched, for the overlay.
    vertex2d line_from, line_to;
};

// `rows_in_region` gives, per column, the first and last buffer row of the
// calibration region (first > last where the column is outside it); empty
// for the whole frame. Nothing for frames narrower than 40 pixels (too narrow
// for the search windows) or without any pixel in the region.
std::optional<stylus_tip_t> detect_stylus_tip(const cip_t& frame,
                                              const std::vector<std::pair<long, long>>& rows_in_region = {});
