// Peaks of distance maps and their correspondence between planes.
#include "distance_peaks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>

namespace {

double chamfer_length(double dx, double dy)
{
    const double a = std::fabs(dx), b = std::fabs(dy);
    return 12.0 * std::max(a, b) + 5.0 * std::min(a, b);
}

}  // namespace

std::vector<peak_t> extract_peaks(const distance_map_t& map)
{
    std::vector<peak_t> candidates;
    const int w = map.width, h = map.height;
    std::vector<std::uint8_t> ridge(static_cast<std::size_t>(std::max(w, 0)));
    for (int r = 2; r + 2 < h; ++r) {
        // Three rows by pointer, and the test for a whole row without
        // branches: it runs at every pixel of every map.
        const std::int16_t* mid = map.values.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
        const std::int16_t* up = mid - w;
        const std::int16_t* down = mid + w;
        for (int c = 2; c + 2 < w; ++c) {
            const int centre = mid[c];
            const int axial = mid[c - 1] + mid[c + 1] + up[c] + down[c];
            const int diagonal = up[c - 1] + up[c + 1] + down[c - 1] + down[c + 1];
            // 17 times the Laplacian, in integers; a ridge outside is a trough.
            const int raw = 17 * axial + 12 * diagonal - 116 * centre;
            const int flip = -int(centre < 0);
            const int l17 = (raw ^ flip) - flip;
            const int size = (centre ^ flip) - flip;
            ridge[static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(int(l17 < -40 * 17) | (int(l17 < -30 * 17) & int(size >= 7)));
        }
        // Ridges are few: skip to each.
        for (int c = 2; c + 2 < w; ++c) {
            const void* next = std::memchr(ridge.data() + c, 1, static_cast<std::size_t>(w - 2 - c));
            if (next == nullptr)
                break;
            c = static_cast<int>(static_cast<const std::uint8_t*>(next) - ridge.data());
            candidates.push_back({double(map.x0 + c), double(map.y0 + r), mid[c]});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const peak_t& p, const peak_t& q) { return std::abs(p.value) > std::abs(q.value); });
    std::vector<peak_t> accepted;
    std::vector<bool> gone(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (gone[i] || candidates[i].value == 0)
            continue;
        const peak_t& p = candidates[i];
        accepted.push_back(p);
        const double v = std::abs(p.value);
        for (std::size_t j = i + 1; j < candidates.size(); ++j) {
            if (gone[j])
                continue;
            const double reach = (v - std::abs(candidates[j].value) / 2.0) / 12.0;
            const double dx = candidates[j].x - p.x, dy = candidates[j].y - p.y;
            if (reach > 0.0 && dx * dx + dy * dy < reach * reach)
                gone[j] = true;
        }
    }
    return accepted;
}

void peak_overlap(std::vector<grid_peak_t>& a, std::vector<grid_peak_t>& b, int connect)
{
    const auto nearest = [](const grid_peak_t& p, const std::vector<grid_peak_t>& others) {
        std::size_t best = others.size();
        double best_d = HUGE_VAL;
        for (std::size_t i = 0; i < others.size(); ++i) {
            if ((others[i].value > 0.0) != (p.value > 0.0))
                continue;
            const double d = std::hypot(others[i].uv.x - p.uv.x, others[i].uv.y - p.uv.y);
            if (d < best_d) {
                best_d = d;
                best = i;
            }
        }
        return best;
    };
    for (grid_peak_t& p : a)
        p.matched = false, p.vector = {};
    for (grid_peak_t& p : b)
        p.matched = false, p.vector = {};
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::size_t j = nearest(a[i], b);
        if (j == b.size() || nearest(b[j], a) != i)
            continue;
        // Within two disc radii: farther apart the two are not one shape
        // moving, unless the user prioritises joining that kind of region.
        const vertex2d d{b[j].uv.x - a[i].uv.x, b[j].uv.y - a[i].uv.y};
        const bool favoured = (connect & (a[i].value > 0.0 ? 1 : 2)) != 0;
        const double reach = (favoured ? 2.0 : 1.0) * (std::fabs(a[i].value) + std::fabs(b[j].value)) / 12.0;
        if (std::hypot(d.x, d.y) > reach)
            continue;
        a[i].vector = d;
        a[i].matched = true;
        b[j].vector = {-d.x, -d.y};
        b[j].matched = true;
    }
}

peak_average_t peak_vector_avg(const std::vector<grid_peak_t>& peaks, const vertex2d& uv, double level)
{
    double matched = 0.0, unmatched = 0.0;
    vertex2d sum;
    for (const grid_peak_t& p : peaks) {
        const double reach = chamfer_length(uv.x - p.uv.x, uv.y - p.uv.y) - (std::fabs(p.value) - level / 16.0);
        const double w = 1.0 / (reach * reach + 16.0);
        if (p.matched) {
            matched += w;
            sum.x += w * p.vector.x;
            sum.y += w * p.vector.y;
        } else {
            unmatched += w;
        }
    }
    peak_average_t avg;
    if (matched > 0.0) {
        avg.weighted = true;
        avg.vector = {sum.x / (matched + unmatched), sum.y / (matched + unmatched)};
    }
    return avg;
}
