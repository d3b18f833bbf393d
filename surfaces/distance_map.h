// Signed distance maps of one object's outlines on one frame, in chamfer units
// (12 per pixel along an axis, 17 along a diagonal), positive inside. Surface
// building samples them between outline planes; the zero level is the outline.
#pragma once

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

// The map read at frame pixel (x, y): bilinear inside the box; beyond it the
// nearest edge value less 12 per pixel of distance. Never beyond +-far.
double distance_field(const distance_map_t& map, double x, double y);
