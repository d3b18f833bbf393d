// Signed distance maps of one object's outlines on one frame, in chamfer units
// (12 per pixel along an axis, 17 along a diagonal), positive inside. Surface
// building samples them between outline planes; the zero level is the outline.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "segmentation/outline_model.h"

struct distance_map_t {
    static constexpr int far = region_labels::far;  // every value lies within +-far
    std::int32_t x0 = 0, y0 = 0, width = 0, height = 0;  // box in frame pixels
    std::vector<std::int16_t> values;                    // row-major

    bool empty() const { return width <= 0 || height <= 0; }
    std::int16_t at(std::int32_t column, std::int32_t row) const
    {
        return values[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(column)];
    }
};

// Continues scan-converted labels into a full distance map. The measured
// distances beside the outline are kept as they are, and distances spread only
// among pixels of one sign, so no pixel ever changes side of the outline.
distance_map_t chamfer_code(region_labels&& labels);

// The largest differences between neighbouring pixels across and down the
// map, and the largest value along its edge (the map's bottom when empty).
struct map_steps_t {
    int across = 0, down = 0, edge = -distance_map_t::far;
};
map_steps_t steepest_steps(const distance_map_t& map);

// The map read at frame pixel (x, y) beyond the last pixel pairs of its box
// (or anywhere): bilinear inside; beyond it the nearest edge value less 12
// per pixel of distance. Never beyond +-far.
double distance_field_at_edges(const distance_map_t& map, double x, double y);

// The map read at frame pixel (x, y), as distance_field_at_edges. Inline for
// the usual read between four pixels of the box: surface building reads maps
// at every node of every layer.
inline double distance_field(const distance_map_t& map, double x, double y)
{
    const double lx = x - map.x0, ly = y - map.y0;
    if (lx >= 0.0 && ly >= 0.0 && lx < double(map.width - 1) && ly < double(map.height - 1)) {
        const int c0 = static_cast<int>(lx), r0 = static_cast<int>(ly);
        const double fx = lx - c0, fy = ly - r0;
        const std::int16_t* p = map.values.data() + static_cast<std::size_t>(r0) * static_cast<std::size_t>(map.width) +
                                static_cast<std::size_t>(c0);
        const double top = (1.0 - fx) * p[0] + fx * p[1];
        const double bottom = (1.0 - fx) * p[map.width] + fx * p[map.width + 1];
        return (1.0 - fy) * top + fy * bottom;
    }
    return distance_field_at_edges(map, x, y);
}
