// Two-pass chamfer distances over the labels of a scan-converted outline set.
#include "distance_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int axial = 12, diagonal = 17;

// Labels other than +-far were measured from the outline itself.
bool measured(int v) { return v > -distance_map_t::far && v < distance_map_t::far; }

// The magnitude a neighbour `n` offers a pixel of the sign of `here` at the
// cost of the step: only a neighbour of the same sign carries its distance
// over. Written without branches, so that whole rows go at once.
inline int offered(int here, int n, int cost)
{
    const int flip = -int(here <= 0);  // all ones for a pixel outside
    const int m = (n ^ flip) - flip;   // n, negated outside
    const int same = -int(m > 0);
    return ((m + cost) & same) | (distance_map_t::far & ~same);
}

#if defined(__SSE2__)
// One step of the scan below: each lane takes the pairs `d` lanes before it
// (after it, going down the row), the lanes shifted in standing for nothing.
template <int dir, int d>
inline void scan_step(__m128i& x, __m128i& s)
{
    const __m128i top = _mm_set1_epi16(INT16_MAX);
    const __m128i xs = dir > 0 ? _mm_or_si128(_mm_slli_si128(x, 2 * d), _mm_srli_si128(top, 16 - 2 * d))
                               : _mm_or_si128(_mm_srli_si128(x, 2 * d), _mm_slli_si128(top, 16 - 2 * d));
    const __m128i ss = dir > 0 ? _mm_slli_si128(s, 2 * d) : _mm_srli_si128(s, 2 * d);
    x = _mm_min_epi16(x, _mm_adds_epi16(xs, s));
    s = _mm_adds_epi16(ss, s);
}
#endif

// Along the row in the direction `dir`, each pixel takes the smaller of its
// own and the one before's plus its step: best[c] = min(best[c], best[c -
// dir] + step[c]). A pixel's (best, step) pairs compose: taking (xa, sa)
// then (xb, sb) gives (min(xb, xa + sb), sa + sb), so eight pixels go at once
// as a prefix scan. Sums saturate above every magnitude, where a blocked step
// leaves the pixel its own as the plain sum would.
template <int dir>
void along_row(std::int16_t* best, const std::int16_t* step, int w)
{
    int last = 0;  // the first step is blocked: what it starts from does not matter
    int m = 0;
#if defined(__SSE2__)
    for (; m + 8 <= w; m += 8) {
        const int c = dir > 0 ? m : w - 8 - m;  // the block's lowest pixel
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(best + c));
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(step + c));
        scan_step<dir, 1>(x, s);
        scan_step<dir, 2>(x, s);
        scan_step<dir, 4>(x, s);
        x = _mm_min_epi16(x, _mm_adds_epi16(_mm_set1_epi16(static_cast<std::int16_t>(last)), s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(best + c), x);
        last = best[dir > 0 ? c + 7 : c];
    }
#endif
    for (; m < w; ++m) {
        const int c = dir > 0 ? m : w - 1 - m;
        last = std::min(int(best[c]), last + step[c]);
        best[c] = static_cast<std::int16_t>(last);
    }
}

// One pass: every pixel not measured takes the best of its already visited
// neighbours of the same sign, plus (or minus) the cost of the step. Rows are
// visited in the direction `dir` (1 down, -1 up), pixels in a row likewise;
// the neighbours are the one before in the row and the three of the row
// before. Worked in magnitudes, so that one comparison serves both signs.
// The row before is taken first for a whole row, with nothing carried from
// pixel to pixel; only the short step along the row is then sequential.
void pass(std::int16_t* v, const std::uint8_t* fixed, int w, int h, int dir, std::vector<std::int16_t>& offer,
          std::vector<std::int16_t>& steps)
{
    offer.resize(static_cast<std::size_t>(w));
    steps.resize(static_cast<std::size_t>(w));
    std::int16_t* best = offer.data();
    std::int16_t* step = steps.data();
    // A step along the row that nothing can take: more than any magnitude.
    constexpr int blocked = distance_map_t::far + 1;
    for (int k = 0; k < h; ++k) {
        const int r = dir > 0 ? k : h - 1 - k;
        std::int16_t* row = v + static_cast<std::ptrdiff_t>(r) * w;
        const std::uint8_t* fix = fixed + static_cast<std::ptrdiff_t>(r) * w;
        if (k == 0) {
            for (int c = 0; c < w; ++c)
                best[c] = static_cast<std::int16_t>(std::abs(int(row[c])));
        } else {
            const std::int16_t* before = row - static_cast<std::ptrdiff_t>(dir) * w;
            for (int c = 0; c < w; c += std::max(w - 1, 1)) {  // the first and last columns
                int b = std::min(std::abs(int(row[c])), offered(row[c], before[c], axial));
                if (c > 0)
                    b = std::min(b, offered(row[c], before[c - 1], diagonal));
                if (c + 1 < w)
                    b = std::min(b, offered(row[c], before[c + 1], diagonal));
                best[c] = static_cast<std::int16_t>(fix[c] ? std::abs(int(row[c])) : b);
            }
            for (int c = 1; c + 1 < w; ++c) {
                const int here = row[c];
                const int flip = -int(here <= 0);
                const int size = (here ^ flip) - flip;
                const int axis = std::min(size, offered(here, before[c], axial));
                const int diag =
                    std::min(offered(here, before[c - 1], diagonal), offered(here, before[c + 1], diagonal));
                // A measured pixel keeps its own.
                best[c] = static_cast<std::int16_t>(fix[c] ? size : std::min(axis, diag));
            }
        }
        // Along the row each pixel takes the one before plus 12, unless it
        // was measured (it keeps its own) or the sign changes there. Worked
        // out first for the whole row, so that the sequential part is one
        // addition and one minimum per pixel.
        const int start = dir > 0 ? 0 : w - 1;
        step[start] = blocked;
        for (int c = dir > 0 ? 1 : 0; c < (dir > 0 ? w : w - 1); ++c) {
            const bool same = (row[c] > 0) == (row[c - dir] > 0);
            step[c] = static_cast<std::int16_t>(fix[c] || !same ? blocked : axial);
        }
        if (dir > 0)
            along_row<1>(best, step, w);
        else
            along_row<-1>(best, step, w);
        // Never beyond far: each magnitude starts there at most and only falls.
        for (int c = 0; c < w; ++c) {
            const int flip = -int(row[c] <= 0);
            row[c] = static_cast<std::int16_t>((best[c] ^ flip) - flip);
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
    std::vector<std::int16_t> offer, steps;
    pass(map.values.data(), fixed.data(), map.width, map.height, 1, offer, steps);
    pass(map.values.data(), fixed.data(), map.width, map.height, -1, offer, steps);
    return map;
}

double distance_field_at_edges(const distance_map_t& map, double x, double y)
{
    if (map.empty() || !std::isfinite(x) || !std::isfinite(y))
        return -distance_map_t::far;
    const int w = map.width, h = map.height;
    const double lx = x - map.x0, ly = y - map.y0;
    const double cx = std::clamp(lx, 0.0, double(w - 1)), cy = std::clamp(ly, 0.0, double(h - 1));
    const double ex = lx - cx, ey = ly - cy;
    const int c0 = std::min(static_cast<int>(cx), w - 1), r0 = std::min(static_cast<int>(cy), h - 1);
    const std::int16_t* p =
        map.values.data() + static_cast<std::size_t>(r0) * static_cast<std::size_t>(w) + static_cast<std::size_t>(c0);
    const int right = c0 + 1 < w ? 1 : 0, down = r0 + 1 < h ? w : 0;
    // Beyond an edge the position is clamped onto it, where the fraction
    // across that edge is nought: the blend then takes the edge's pixels alone.
    double value = 0.0;
    if (ex != 0.0 && ey != 0.0) {
        value = p[0];  // beyond a corner
    } else if (ex != 0.0) {
        const double fy = cy - r0;
        value = (1.0 - fy) * p[0] + fy * p[down];
    } else if (ey != 0.0) {
        const double fx = cx - c0;
        value = (1.0 - fx) * p[0] + fx * p[right];
    } else {
        const double fx = cx - c0, fy = cy - r0;
        const double top = (1.0 - fx) * p[0] + fx * p[right];
        const double bottom = (1.0 - fx) * p[down] + fx * p[down + right];
        value = (1.0 - fy) * top + fy * bottom;
    }
    // Beyond the box the outline is farther still: the edge is outside it.
    if (ex != 0.0 || ey != 0.0)
        value = std::min(value, 0.0) - 12.0 * std::sqrt(ex * ex + ey * ey);
    return std::clamp(value, double(-distance_map_t::far), double(distance_map_t::far));
}

map_steps_t steepest_steps(const distance_map_t& map)
{
    map_steps_t steps;
    const int w = map.width, h = map.height;
    if (map.empty())
        return steps;
    for (int r = 0; r < h; ++r) {
        const std::int16_t* row = map.values.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
        int across = 0, down = 0;
        for (int c = 0; c + 1 < w; ++c)
            across = std::max(across, std::abs(int(row[c + 1]) - int(row[c])));
        if (r + 1 < h)
            for (int c = 0; c < w; ++c)
                down = std::max(down, std::abs(int(row[c + w]) - int(row[c])));
        steps.across = std::max(steps.across, across);
        steps.down = std::max(steps.down, down);
        steps.edge = std::max({steps.edge, int(row[0]), int(row[w - 1])});
        if (r == 0 || r + 1 == h)
            for (int c = 0; c < w; ++c)
                steps.edge = std::max(steps.edge, int(row[c]));
    }
    return steps;
}
