// Centres of maximal discs (peaks) of distance maps, and their pairing
// between neighbouring planes. A shape that moves sideways from one plane to
// the next is followed by its peaks, and the interpolation between the planes
// is displaced with them instead of blending two shapes that miss each other.
#pragma once

#include <vector>

#include "common/vertex.h"
#include "surfaces/distance_map.h"

struct peak_t {
    double x = 0.0, y = 0.0;  // frame pixels
    int value = 0;            // the map's value there (negative for peaks outside the outlines)
};

// Ridge points of the map (strongly negative Laplacian), thinned so that no
// accepted peak lies within the disc of a larger one.
std::vector<peak_t> extract_peaks(const distance_map_t& map);

// A peak placed in the grid of a sequence, with its displacement towards its
// partner on the other plane of a pair.
struct grid_peak_t {
    vertex2d uv;  // grid position
    double value = 0.0;
    vertex2d vector;
    bool matched = false;
};

// Pairs the peaks of two planes: each pairs with the nearest peak of the same
// sign on the other plane when that is mutual and within reach of their
// discs. `connect` (bit 0 objects, bit 1 holes) doubles the reach for peaks
// inside the outlines or in their holes, so that regions of that kind on
// neighbouring planes are joined rather than closed off.
void peak_overlap(std::vector<grid_peak_t>& a, std::vector<grid_peak_t>& b, int connect = 0);

struct peak_average_t {
    vertex2d vector;
    bool weighted = false;  // some paired peak weighs on the position
};
// The displacement at grid position uv at field level `level`: the peak
// vectors weighed by how near the position is to each peak's disc; unpaired
// peaks weigh towards no displacement.
peak_average_t peak_vector_avg(const std::vector<grid_peak_t>& peaks, const vertex2d& uv, double level);
