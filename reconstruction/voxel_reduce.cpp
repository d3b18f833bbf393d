#include "voxel_reduce.h"

#include <algorithm>

#include <wx/log.h>

namespace {

// Box taps along one axis, in twice their weight so an even box's half-weight edges stay whole numbers.
struct box_taps_t {
    long reach = 0;           // taps run from -reach to +reach
    bool half_edges = false;  // the outermost taps weigh 1 rather than 2
    unsigned weight(long d) const { return half_edges && (d == -reach || d == reach) ? 1u : 2u; }
};

box_taps_t box_for(int k)
{
    return k % 2 == 1 ? box_taps_t{(k - 1) / 2, false} : box_taps_t{k / 2, true};
}

void skip_pixels(const std::vector<std::uint8_t>& full, long w, int k, long out_w, long out_h,
                 std::vector<std::uint8_t>& out)
{
    for (long j = 0; j < out_h; ++j) {
        const std::uint8_t* row = full.data() + static_cast<std::size_t>(j) * k * w;
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(j) * out_w;
        for (long i = 0; i < out_w; ++i)
            dst[i] = row[static_cast<std::size_t>(i) * k];
    }
}

void average_pixels(const std::vector<std::uint8_t>& full, long w, long h, int k, long out_w, long out_h,
                    std::vector<std::uint8_t>& out)
{
    const box_taps_t box = box_for(k);
    // Per output row: the horizontal box sums of each contributing row, weighted by the row's tap.
    std::vector<std::uint32_t> sum(static_cast<std::size_t>(out_w)), weight(static_cast<std::size_t>(out_w));
    for (long j = 0; j < out_h; ++j) {
        std::fill(sum.begin(), sum.end(), 0u);
        std::fill(weight.begin(), weight.end(), 0u);
        for (long dy = -box.reach; dy <= box.reach; ++dy) {
            const long y = j * k + dy;
            if (y < 0 || y >= h)
                continue;
            const unsigned wy = box.weight(dy);
            const std::uint8_t* row = full.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            for (long i = 0; i < out_w; ++i) {
                const long x0 = std::max(0L, i * k - box.reach), x1 = std::min(w - 1, i * k + box.reach);
                for (long x = x0; x <= x1; ++x) {
                    const std::uint8_t v = row[x];
                    if (v == 0)
                        continue;
                    const unsigned wt = wy * box.weight(x - i * k);
                    sum[static_cast<std::size_t>(i)] += wt * v;
                    weight[static_cast<std::size_t>(i)] += wt;
                }
            }
        }
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(out_w);
        for (long i = 0; i < out_w; ++i) {
            const std::uint32_t wt = weight[static_cast<std::size_t>(i)];
            // Every value averaged is 1 or more, so a rounded mean never reads as "no data".
            dst[i] = wt == 0 ? 0 : static_cast<std::uint8_t>((sum[static_cast<std::size_t>(i)] + wt / 2) / wt);
        }
    }
}

}  // namespace

bool reduce_slice(const std::vector<std::uint8_t>& full, long w, long h, int k, voxel_step_rule_t rule, long out_w,
                  long out_h, std::vector<std::uint8_t>& out)
{
    if (k < 1 || w < 1 || h < 1 || full.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h) ||
        out_w != (w - 1) / k + 1 || out_h != (h - 1) / k + 1) {
        wxLogError("A %li x %li reslice cannot be reduced by %d to %li x %li voxels.", w, h, k, out_w, out_h);
        return false;
    }
    out.resize(static_cast<std::size_t>(out_w) * static_cast<std::size_t>(out_h));
    if (k == 1) {
        std::copy(full.begin(), full.end(), out.begin());
        return true;
    }
    if (rule == voxel_step_rule_t::skip)
        skip_pixels(full, w, k, out_w, out_h, out);
    else
        average_pixels(full, w, h, k, out_w, out_h, out);
    return true;
}
