#include "reslice_landmarks.h"

#include <algorithm>
#include <cmath>

double reslice_slab_half_depth(const reslice_plane& plane, const reslice_settings& settings)
{
    const double depth = std::max(0.0, settings.bscan_half_thickness) + std::max(0.0, settings.slice_half_thickness);
    return std::max(depth, 0.5 * plane.pixel_size());
}

std::vector<reslice_landmark> landmarks_in_reslice(const reslice_plane& plane, const reslice_settings& settings,
                                                   const std::vector<landmark_t>& marks)
{
    std::vector<reslice_landmark> seen;
    const double depth = reslice_slab_half_depth(plane, settings);
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const landmark_t& m = marks[i];
        if (m.kind == LMARK_2D)
            continue;
        const vertex3d r = plane.world_to_reslice(m.position);
        if (!finite(r) || std::fabs(r.z) > depth)
            continue;
        // Pixel (i, j) is sampled at reslice (i, j): it covers half a pixel either side.
        const double column = std::floor(r.x + 0.5), row = std::floor(r.y + 0.5);
        if (column < 0.0 || row < 0.0 || column >= static_cast<double>(plane.width()) ||
            row >= static_cast<double>(plane.height()))
            continue;
        seen.push_back({i, r, static_cast<long>(column), static_cast<long>(row), m.kind == LMARK_FIDUCIAL});
    }
    return seen;
}
