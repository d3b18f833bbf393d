// A hash grid over the warped model's vertices for the closest-point search
// of each registration iteration: cells of about the vertices' spacing, their
// number bounded whatever the points and the search range.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/vertex.h"

class point_grid_t {
public:
    // No grid ever has more cells than this, nor many more than the points.
    static constexpr std::size_t max_cells = std::size_t{1} << 22;

    void build(std::span<const vertex3d> points);
    // The index of the point nearest to q no farther than `range`, or -1;
    // its squared distance in *distance2.
    std::int64_t nearest(const vertex3d& q, double range, double* distance2) const;
    std::size_t cells() const { return start_.empty() ? 0 : start_.size() - 1; }
    double cell_size() const { return h_; }

private:
    std::span<const vertex3d> points_;
    vertex3d lo_;
    double h_ = 1.0;
    std::int64_t nx_ = 0, ny_ = 0, nz_ = 0;
    std::vector<std::uint32_t> start_, items_;
};
