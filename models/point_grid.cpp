#include "point_grid.h"

#include <algorithm>
#include <cmath>

void point_grid_t::build(std::span<const vertex3d> points)
{
    points_ = points;
    start_.clear();
    items_.clear();
    nx_ = ny_ = nz_ = 0;
    if (points.empty())
        return;
    vertex3d lo = points[0], hi = points[0];
    for (const vertex3d& p : points) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double ex = hi.x - lo.x, ey = hi.y - lo.y, ez = hi.z - lo.z;
    const double largest = std::max({ex, ey, ez, 1e-9});
    // About one cell per point over the box, which leaves a few points in each
    // cell a surface passes through; flat boxes count their thin side as a cell.
    const double n = static_cast<double>(points.size());
    double h = std::max(
        std::cbrt(std::max(ex, largest * 1e-3) * std::max(ey, largest * 1e-3) * std::max(ez, largest * 1e-3) / n),
        largest * 1e-4);
    const double budget = static_cast<double>(std::min(max_cells, 4 * points.size() + 64));
    while ((std::floor(ex / h) + 1) * (std::floor(ey / h) + 1) * (std::floor(ez / h) + 1) > budget)
        h *= 1.25;
    h_ = h;
    lo_ = lo;
    nx_ = static_cast<std::int64_t>(ex / h) + 1;
    ny_ = static_cast<std::int64_t>(ey / h) + 1;
    nz_ = static_cast<std::int64_t>(ez / h) + 1;
    const std::size_t cells = static_cast<std::size_t>(nx_ * ny_ * nz_);
    std::vector<std::uint32_t> cell_of(points.size());
    start_.assign(cells + 1, 0);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const vertex3d& p = points[i];
        const std::int64_t cx = std::min<std::int64_t>(static_cast<std::int64_t>((p.x - lo.x) / h), nx_ - 1);
        const std::int64_t cy = std::min<std::int64_t>(static_cast<std::int64_t>((p.y - lo.y) / h), ny_ - 1);
        const std::int64_t cz = std::min<std::int64_t>(static_cast<std::int64_t>((p.z - lo.z) / h), nz_ - 1);
        cell_of[i] = static_cast<std::uint32_t>((cz * ny_ + cy) * nx_ + cx);
        ++start_[cell_of[i] + 1];
    }
    for (std::size_t c = 0; c < cells; ++c)
        start_[c + 1] += start_[c];
    items_.resize(points.size());
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t i = 0; i < points.size(); ++i)
        items_[fill[cell_of[i]]++] = static_cast<std::uint32_t>(i);
}

std::int64_t point_grid_t::nearest(const vertex3d& q, double range, double* distance2) const
{
    if (start_.empty() || !(range > 0.0) || !std::isfinite(q.x + q.y + q.z))
        return -1;
    // Cell coordinates of q, which may lie outside the grid.
    const double fx = std::floor((q.x - lo_.x) / h_), fy = std::floor((q.y - lo_.y) / h_),
                 fz = std::floor((q.z - lo_.z) / h_);
    const double far = static_cast<double>(std::max({nx_, ny_, nz_})) + 2.0;
    if (std::fabs(fx) > 4 * far || std::fabs(fy) > 4 * far || std::fabs(fz) > 4 * far)
        return -1;  // much farther than the whole grid: nothing can be within range of it
    const std::int64_t qx = static_cast<std::int64_t>(fx), qy = static_cast<std::int64_t>(fy),
                       qz = static_cast<std::int64_t>(fz);
    const auto outside = [](std::int64_t c, std::int64_t n) { return c < 0 ? -c : c >= n ? c - n + 1 : 0; };
    const std::int64_t first = std::max({outside(qx, nx_), outside(qy, ny_), outside(qz, nz_)});
    const std::int64_t last = std::min<std::int64_t>(first + static_cast<std::int64_t>(range / h_) + 2,
                                                     std::max({nx_, ny_, nz_}) + first + 1);
    double best = range * range;
    std::int64_t found = -1;
    const auto visit = [&](std::int64_t x, std::int64_t y, std::int64_t z) {
        if (x < 0 || y < 0 || z < 0 || x >= nx_ || y >= ny_ || z >= nz_)
            return;
        const std::size_t c = static_cast<std::size_t>((z * ny_ + y) * nx_ + x);
        for (std::uint32_t k = start_[c]; k < start_[c + 1]; ++k) {
            const vertex3d& p = points_[items_[k]];
            const double d = (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z);
            if (d < best || (d == best && found < 0)) {
                best = d;
                found = items_[k];
            }
        }
    };
    for (std::int64_t k = first; k <= last; ++k) {
        // Every point in shell k + 1 or beyond is at least k cell widths away.
        const double reach = static_cast<double>(std::max<std::int64_t>(k - 1, 0)) * h_;
        if (reach * reach > best)
            break;
        const std::int64_t x0 = std::max<std::int64_t>(qx - k, 0), x1 = std::min<std::int64_t>(qx + k, nx_ - 1);
        const std::int64_t y0 = std::max<std::int64_t>(qy - k, 0), y1 = std::min<std::int64_t>(qy + k, ny_ - 1);
        for (std::int64_t x = x0; x <= x1; ++x)
            for (std::int64_t y = y0; y <= y1; ++y) {
                if (std::abs(x - qx) == k || std::abs(y - qy) == k) {
                    const std::int64_t z0 = std::max<std::int64_t>(qz - k, 0),
                                       z1 = std::min<std::int64_t>(qz + k, nz_ - 1);
                    for (std::int64_t z = z0; z <= z1; ++z)
                        visit(x, y, z);
                } else {
                    visit(x, y, qz - k);
                    if (k > 0)
                        visit(x, y, qz + k);
                }
            }
    }
    if (found >= 0)
        *distance2 = best;
    return found;
}
