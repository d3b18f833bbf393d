// Two-pass chamfer distances over the labels of a scan-converted outline set.
#include "distance_map.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int axial = 12, diagonal = 17;

// Labels other than +-far were measured from the outline itself.
bool measured(int v) { return v > -distance_map_t::far && v < distance_map_t::far; }

struct step_t {
    int dx, dy, cost;
};

// One pass: every pixel not measured takes the best of its already visited
// neighbours of the same sign, plus (or minus) the cost of the step.
template <typename Rows, typename Columns>
void pass(std::vector<std::int16_t>& v, const std::vector<std::uint8_t>& fixed, int w, int h,
          const step_t (&steps)[4], Rows rows, Columns columns)
{
    // Neighbour offsets in the row-major buffer, for pixels away from the edges.
    std::ptrdiff_t offsets[4];
    for (int k = 0; k < 4; ++k)
        offsets[k] = std::ptrdiff_t(steps[k].dy) * w + steps[k].dx;
    for (int r : rows(h))
        for (int c : columns(w)) {
            const std::size_t at = static_cast<std::size_t>(r) * w + c;
            if (fixed[at])
                continue;
            std::int16_t& here = v[at];
            int best = here;
            const bool inner = c > 0 && c + 1 < w && r > 0 && r + 1 < h;
            for (int k = 0; k < 4; ++k) {
                const step_t& s = steps[k];
                int n;
                if (inner) {
                    n = v[at + offsets[k]];
                } else {
                    const int cc = c + s.dx, rr = r + s.dy;
                    if (cc < 0 || cc >= w || rr < 0 || rr >= h)
                        continue;
                    n = v[static_cast<std::size_t>(rr) * w + cc];
                }
                if (here > 0 && n > 0)
                    best = std::min(best, n + s.cost);
                else if (here < 0 && n < 0)
                    best = std::max(best, n - s.cost);
            }
            here = static_cast<std::int16_t>(std::clamp(best, -distance_map_t::far, distance_map_t::far));
        }
}

struct index_range {
    int from, to, step;
    struct iterator {
        int i, step;
        int operator*() const { return i; }
        iterator& operator++()
        {
            i += step;
            return *this;
        }
        bool operator!=(const iterator& o) const { return i != o.i; }
    };
    iterator begin() const { return {from, step}; }
    iterator end() const { return {to, step}; }
};

}  // namespace

distance_map_t chamfer_code(region_labels&& labels)
{
    distance_map_t map;
    if (labels.width <= 0 || labels.height <= 0 ||
        labels.labels.size() != static_cast<std::size_t>(labels.width) * static_cast<std::size_t>(labels.height))
        return map;
    map.x0 = labels.x0;
    map.y0 = labels.y0;
    map.width = labels.width;
    map.height = labels.height;
    map.values = std::move(labels.labels);
    const auto forward = [](int n) { return index_range{0, n, 1}; };
    const auto backward = [](int n) { return index_range{n - 1, -1, -1}; };
    static constexpr step_t before[4] = {{-1, 0, axial}, {0, -1, axial}, {-1, -1, diagonal}, {1, -1, diagonal}};
    static constexpr step_t after[4] = {{1, 0, axial}, {0, 1, axial}, {-1, 1, diagonal}, {1, 1, diagonal}};
    std::vector<std::uint8_t> fixed(map.values.size());
    for (std::size_t i = 0; i < fixed.size(); ++i)
        fixed[i] = measured(map.values[i]);
    pass(map.values, fixed, map.width, map.height, before, forward, forward);
    pass(map.values, fixed, map.width, map.height, after, backward, backward);
    return map;
}
