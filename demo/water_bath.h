// A synthetic water bath for trying plane-phantom calibration without a
// scanner: a probe with a known calibration moved about over the bath's flat
// floor, its B-scans showing the floor as a bright line at the depth the
// scanner would show it (the scanner assumes 1540 m/s; water is slower).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/cip.h"
#include "common/vertex.h"
#include "demo/sweep.h"

struct water_bath_t {
    probe_setup probe;         // the true calibration and scales
    double celsius = 31.0;     // the water's temperature
    vertex3d normal{0, 0, 1};  // the floor: normal . X + d = 0 (cm), normal of unit length
    double d = 0.0;
    // Two lines of known length in the image (x1 y1 x2 y2 of each, pixels),
    // roughly across and down, to give the scales as the user would.
    std::array<double, 8> scale_line_ends{};
    double scale_length1_cm = 0.0, scale_length2_cm = 0.0;

    // The depth factor c(T) / 1540: a row y lies sy * k * y below the image's top.
    double depth_factor() const;
};

// The bath and probe for a seed: calibration angles well away from 0 and 90
// degrees, unequal pixel scales, a slightly tilted floor.
water_bath_t make_water_bath(std::uint64_t seed, double celsius = 31.0, long width = 640, long height = 480);

// `count` sensor poses (cm, degrees) over the floor: turned about every axis,
// each seeing the floor across the whole image width between rows 60 and
// height - 60.
std::vector<std::array<float, 6>> water_bath_poses(const water_bath_t& bath, int count, std::uint64_t seed);

// The floor's buffer row at a column for a pose; NaN when the image plane
// runs parallel to the floor.
double floor_row(const water_bath_t& bath, const float* pose, double column);

// A B-scan of the floor: dark speckled water, a bright echo from the floor
// down, weaker speckle below; the edge lies at floor_row, shaded to a
// fraction of a pixel. The same seed gives the same image.
cip_t render_floor_bscan(const water_bath_t& bath, const float* pose, std::uint64_t seed);
