// Two-pass chamfer distances over the labels of a scan-converted outline set.
#include "distance_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int axial = 12, diagonal = 17;

// Labels other than +-far were measured from the outline itself.
bool measured(int v) { return v > -distance_map_t::far && v < distance_map_t::far; }

// Folds neighbour `n` into `best`, the magnitude found so far for a pixel of
// sign `sign`: only a neighbour of the same sign carries its distance over.
inline void take(int sign, int n, int cost, int& best)
{
    const int m = sign * n;
    best = std::min(best, m > 0 ? m + cost : best);
}

// One pass: every pixel not measured takes the best of its already visited
// neighbours of the same sign, plus (or minus) the cost of the step. Rows are
// visited in the direction `dir` (1 down, -1 up), pixels in a row likewise;
// the neighbours are the one before in the row and the three of the row
// before. Worked in magnitudes, so that one comparison serves both signs.
// The row before is taken first for a whole row, with nothing carried from
// pixel to pixel; only the short step along the row is then sequential.
void pass(std::int16_t* v, const std::uint8_t* fixed, int w, int h, int dir, std::vector<int>& offer)
{
    offer.resize(static_cast<std::size_t>(w));
    for (int k = 0; k < h; ++k) {
        const int r = dir > 0 ? k : h - 1 - k;
        std::int16_t* row = v + static_cast<std::ptrdiff_t>(r) * w;
        const std::uint8_t* fix = fixed + static_cast<std::ptrdiff_t>(r) * w;
        if (k == 0) {
            for (int c = 0; c < w; ++c)
                offer[static_cast<std::size_t>(c)] = std::abs(int(row[c]));
        } else {
            const std::int16_t* before = row - static_cast<std::ptrdiff_t>(dir) * w;
            for (int c = 0; c < w; ++c) {
                const int here = row[c];
                const int sign = here > 0 ? 1 : -1;
                int best = sign * here;
                take(sign, before[c], axial, best);
                if (c > 0)
                    take(sign, before[c - 1], diagonal, best);
                if (c + 1 < w)
                    take(sign, before[c + 1], diagonal, best);
                offer[static_cast<std::size_t>(c)] = best;
            }
        }
        // Along the row: the pixel before, by magnitude and sign (0: none yet).
        int last = 0, last_sign = 0;
        for (int m = 0; m < w; ++m) {
            const int c = dir > 0 ? m : w - 1 - m;
            const int here = row[c];
            const int sign = here > 0 ? 1 : -1;
            if (fix[c]) {
                last = sign * here;
                last_sign = sign;
                continue;
            }
            int best = offer[static_cast<std::size_t>(c)];
            if (sign == last_sign)
                best = std::min(best, last + axial);
            // Never beyond far: best starts there at most and only falls.
            row[c] = static_cast<std::int16_t>(sign * best);
            last = best;
            last_sign = sign;
        }
    }
}

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
    std::vector<std::uint8_t> fixed(map.values.size());
    for (std::size_t i = 0; i < fixed.size(); ++i)
        fixed[i] = measured(map.values[i]);
    std::vector<int> offer;
    pass(map.values.data(), fixed.data(), map.width, map.height, 1, offer);
    pass(map.values.data(), fixed.data(), map.width, map.height, -1, offer);
    return map;
}
