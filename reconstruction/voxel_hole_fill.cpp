#include "voxel_hole_fill.h"

#include <cmath>
#include <limits>
#include <new>
#include <unistd.h>

#include <wx/log.h>

namespace {

constexpr std::uint32_t no_data = std::numeric_limits<std::uint32_t>::max();
constexpr double rounding = 1e-9;  // relative: a voxel exactly at the radius counts

std::uint64_t physical_memory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) : 0;
}

bool positive(double v)
{
    return std::isfinite(v) && v > 0.0;
}

}  // namespace

voxel_hole_filler_t::voxel_hole_filler_t(long width, long height, double voxel, double spacing, double radius,
                                         sink_fn sink)
    : width_(width), height_(height), sink_(std::move(sink))
{
    if (width < 1 || height < 1 || !positive(voxel) || !positive(spacing) || !positive(radius)) {
        wxLogError("Cannot fill holes within %g cm of %li x %li slices of %g cm voxels, %g cm apart.", radius, width,
                   height, voxel, spacing);
        return;
    }
    voxel2_ = voxel * voxel;
    spacing2_ = spacing * spacing;
    radius2_ = radius * radius * (1.0 + rounding);
    const double reach = std::floor(radius / spacing * (1.0 + rounding));
    const double plane_reach = std::floor(radius / voxel * (1.0 + rounding));
    const double voxels = double(width) * double(height);
    const double bytes = (2.0 * reach + 1.0) * voxels * 5.0;
    const std::uint64_t memory = physical_memory();
    if (plane_reach * plane_reach >= double(no_data) || (memory > 0 && bytes > 0.5 * double(memory))) {
        wxLogError(
            "Filling holes within %.2f mm of slices %.3f mm apart would hold %.0f slices (%.1f Mb) at once: "
            "too many for this computer. Choose a smaller distance or a wider spacing.",
            10.0 * radius, 10.0 * spacing, 2.0 * reach + 1.0, bytes / 1048576.0);
        return;
    }
    reach_ = static_cast<long>(reach);
    plane_cap_ = static_cast<std::uint32_t>(plane_reach * plane_reach);
    try {
        ring_.resize(static_cast<std::size_t>(2 * reach_ + 1));
        const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (plane_map_t& m : ring_) {
            m.distance2.assign(n, no_data);
            m.value.assign(n, 0);
        }
        out_.resize(n);
    } catch (const std::bad_alloc&) {
        ring_.clear();
        wxLogError("Not enough memory to fill holes within %.2f mm (%.1f Mb).", 10.0 * radius, bytes / 1048576.0);
        return;
    }
    ok_ = true;
}

// Exact squared distance to the nearest voxel with data in the slice, by rows
// then by columns (the lower envelope of parabolas), keeping that voxel's value.
void voxel_hole_filler_t::map_plane(const std::vector<std::uint8_t>& slice, plane_map_t& map)
{
    const long w = width_, h = height_;
    const auto cap = static_cast<long>(std::sqrt(static_cast<double>(plane_cap_)));
    // Rows: the nearest voxel with data along the row, the left one on a tie.
    for (long y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        long last = -1;
        for (long x = 0; x < w; ++x) {
            if (slice[row + x] != 0)
                last = x;
            const bool near = last >= 0 && x - last <= cap;
            map.distance2[row + x] = near ? static_cast<std::uint32_t>(x - last) : no_data;
            map.value[row + x] = near ? slice[row + last] : 0;
        }
        long next = -1;
        for (long x = w - 1; x >= 0; --x) {
            if (slice[row + x] != 0)
                next = x;
            if (next >= 0 && next - x <= cap && static_cast<std::uint32_t>(next - x) < map.distance2[row + x]) {
                map.distance2[row + x] = static_cast<std::uint32_t>(next - x);
                map.value[row + x] = slice[row + next];
            }
        }
    }
    // Columns: each row's distance becomes a parabola's height; the lowest at each y wins.
    column_cost_.resize(static_cast<std::size_t>(h));
    column_value_.resize(static_cast<std::size_t>(h));
    hull_.resize(static_cast<std::size_t>(h));
    bounds_.resize(static_cast<std::size_t>(h) + 1);
    const double infinity = std::numeric_limits<double>::infinity();
    for (long x = 0; x < w; ++x) {
        long count = 0;
        for (long y = 0; y < h; ++y) {
            const std::size_t i =
                static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
            const std::uint32_t d = map.distance2[i];
            column_cost_[static_cast<std::size_t>(y)] = d == no_data ? infinity : double(d) * double(d);
            column_value_[static_cast<std::size_t>(y)] = map.value[i];
            if (d == no_data)
                continue;
            const double fy = column_cost_[static_cast<std::size_t>(y)] + double(y) * double(y);
            double s = -infinity;
            while (count > 0) {
                const long v = hull_[static_cast<std::size_t>(count - 1)];
                const double fv = column_cost_[static_cast<std::size_t>(v)] + double(v) * double(v);
                s = (fy - fv) / (2.0 * double(y - v));
                if (s > bounds_[static_cast<std::size_t>(count - 1)])
                    break;
                --count;
                s = -infinity;
            }
            hull_[static_cast<std::size_t>(count)] = y;
            bounds_[static_cast<std::size_t>(count)] = s;
            ++count;
        }
        long k = 0;
        for (long y = 0; y < h; ++y) {
            const std::size_t i =
                static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
            if (count == 0) {
                map.distance2[i] = no_data;
                continue;
            }
            while (k + 1 < count && bounds_[static_cast<std::size_t>(k + 1)] < double(y))
                ++k;
            const long v = hull_[static_cast<std::size_t>(k)];
            const double d = column_cost_[static_cast<std::size_t>(v)] + double(y - v) * double(y - v);
            map.distance2[i] = d <= double(plane_cap_) ? static_cast<std::uint32_t>(d) : no_data;
            map.value[i] = column_value_[static_cast<std::size_t>(v)];
        }
    }
}

bool voxel_hole_filler_t::add(const std::vector<std::uint8_t>& slice)
{
    if (!ok_ || slice.size() != static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_))
        return false;
    map_plane(slice, slot(received_));
    ++received_;
    // Slice i needs the slices up to i + reach.
    while (sent_ + reach_ < received_)
        if (!emit(sent_++))
            return false;
    return true;
}

bool voxel_hole_filler_t::finish()
{
    if (!ok_)
        return false;
    while (sent_ < received_)
        if (!emit(sent_++))
            return false;
    return true;
}

bool voxel_hole_filler_t::emit(long index)
{
    const plane_map_t& own = slot(index);
    const std::size_t n = out_.size();
    for (std::size_t p = 0; p < n; ++p) {
        if (own.distance2[p] == 0) {
            out_[p] = own.value[p];
            continue;
        }
        double best = std::numeric_limits<double>::infinity();
        std::uint8_t value = 0;
        for (long dz = 0; dz <= reach_; ++dz) {
            const double across = double(dz) * double(dz) * spacing2_;
            if (across > best || across > radius2_)
                break;
            const long candidates[2] = {index - dz, index + dz};
            for (int c = 0; c < (dz == 0 ? 1 : 2); ++c) {
                const long z = candidates[c];
                if (z < 0 || z >= received_)
                    continue;
                const std::uint32_t d = slot(z).distance2[p];
                if (d == no_data)
                    continue;
                const double total = double(d) * voxel2_ + across;
                if (total < best) {
                    best = total;
                    value = slot(z).value[p];
                }
            }
        }
        out_[p] = best <= radius2_ ? value : 0;
    }
    return sink_(index, out_);
}
