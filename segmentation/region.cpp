// Measuring a contour set and scan-converting it into signed labels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <wx/log.h>

#include "outline_model.h"
#include "planar_geometry.h"

namespace {

// A box larger than this many pixels is refused rather than allocated: outlines
// read from files may hold any finite coordinates.
constexpr double max_label_pixels = 16.0 * 1024 * 1024;  // a 4096 x 4096 frame
constexpr double frame_limit = 65535.0;  // the largest frame the recording reader accepts

bool usable(const contour& c) { return c.points.size() >= 3; }

// Area and centroid with holes counted by nesting, whatever their orientation.
void measure(contour_set& set)
{
    double sum = 0.0, cx = 0.0, cy = 0.0;
    for (std::size_t k = 0; k < set.contours.size(); ++k) {
        const contour& c = set.contours[k];
        if (!usable(c))
            continue;
        vertex2d centre;
        const double a = std::fabs(c.centroid_and_area(&centre));
        if (a == 0.0 || !std::isfinite(a))
            continue;
        int nesting = 0;
        for (std::size_t o = 0; o < set.contours.size(); ++o)
            if (o != k && set.contours[o].point_inside(c.points[0]))
                ++nesting;
        const double signed_area = nesting % 2 == 0 ? a : -a;
        sum += signed_area;
        cx += signed_area * centre.x;
        cy += signed_area * centre.y;
    }
    const double area = std::fabs(sum);
    if (!(area > 0.0) || !std::isfinite(area) || !std::isfinite(cx / sum) || !std::isfinite(cy / sum)) {
        set.area = 0.0;  // nothing measurable: no centroid either
        return;
    }
    set.area = area;
    set.centroid_x = cx / sum;
    set.centroid_y = cy / sum;
}

std::int16_t near_label(double distance, bool inside)
{
    const double scaled = 12.0 * std::min(distance, 2000.0);
    auto v = static_cast<std::int16_t>(std::lround(scaled));  // halves away from zero
    if (v == 0)
        v = 1;
    return inside ? v : static_cast<std::int16_t>(-v);
}

struct edge {
    vertex2d a, b;
};

}  // namespace

std::unique_ptr<region_labels> contour_set::region(int margin, bool area_only)
{
    measure(*this);
    if (area_only || !measured())
        return nullptr;

    std::vector<edge> edges;
    double min_x = std::numeric_limits<double>::infinity(), min_y = min_x;
    double max_x = -min_x, max_y = -min_x;
    for (const contour& c : contours) {
        if (!usable(c))
            continue;
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            const vertex2d& p = c.points[i];
            edges.push_back({p, c.points[(i + 1) % c.points.size()]});
            min_x = std::min(min_x, p.x);
            max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y);
            max_y = std::max(max_y, p.y);
        }
    }
    if (edges.empty())
        return nullptr;
    // The box in doubles, held within the largest frame widened by the margin,
    // before anything becomes an integer.
    margin = std::clamp(margin, 0, 1000);
    const double low = -margin, high = frame_limit - 1.0 + margin;
    const double x0 = std::clamp(std::floor(min_x) - margin, low, high);
    const double x1 = std::clamp(std::ceil(max_x) + margin, low, high);
    const double y0 = std::clamp(std::floor(min_y) - margin, low, high);
    const double y1 = std::clamp(std::ceil(max_y) + margin, low, high);
    const double width = x1 - x0 + 1.0, height = y1 - y0 + 1.0;
    if (width * height > max_label_pixels) {
        wxLogWarning("Outline on frame %d is too large to label (%.0f by %.0f pixels).", int(frame), width, height);
        return nullptr;
    }
    auto labels = std::make_unique<region_labels>();
    labels->x0 = static_cast<std::int32_t>(x0);
    labels->y0 = static_cast<std::int32_t>(y0);
    labels->width = static_cast<std::int32_t>(width);
    labels->height = static_cast<std::int32_t>(height);
    region_x = labels->x0;
    region_y = labels->y0;
    region_width = labels->width;
    region_height = labels->height;
    labels->labels.assign(static_cast<std::size_t>(labels->width) * static_cast<std::size_t>(labels->height),
                          static_cast<std::int16_t>(-region_labels::far));

    // Which rows an edge touches, as (first, last) row pairs clamped to the
    // box, listed row by row: a row then meets only its own edges.
    const std::int32_t h = labels->height, w = labels->width;
    const auto rows_of = [&](std::vector<std::size_t>& starts, std::vector<const edge*>& list, auto&& span) {
        starts.assign(static_cast<std::size_t>(h) + 1, 0);
        const auto clamped = [&](double r) { return static_cast<std::int32_t>(std::clamp(r, -1.0, double(h))); };
        for (int fill = 0; fill < 2; ++fill) {
            for (const edge& e : edges) {
                const auto [from, to] = span(e);
                if (!std::isfinite(from) || !std::isfinite(to))
                    continue;
                for (std::int32_t r = std::max(clamped(from), 0); r <= std::min(clamped(to), h - 1); ++r) {
                    if (fill == 0)
                        ++starts[static_cast<std::size_t>(r) + 1];
                    else
                        list[starts[static_cast<std::size_t>(r)]++] = &e;
                }
            }
            if (fill == 0) {
                for (std::size_t r = 1; r < starts.size(); ++r)
                    starts[r] += starts[r - 1];
                list.resize(starts.back());
            } else {  // each start moved on to the next row's: move back
                for (std::size_t r = starts.size() - 1; r > 0; --r)
                    starts[r] = starts[r - 1];
                starts[0] = 0;
            }
        }
    };
    std::vector<std::size_t> crossing_starts, near_starts;
    std::vector<const edge*> crossing_edges, near_list;
    // A row at y is crossed by an edge with one end above y and one at or below.
    rows_of(crossing_starts, crossing_edges, [&](const edge& e) {
        return std::pair{std::ceil(std::min(e.a.y, e.b.y) - y0), std::ceil(std::max(e.a.y, e.b.y) - y0) - 1.0};
    });
    // Edges near each row (within one pixel), for the distances of the border pixels.
    rows_of(near_starts, near_list, [&](const edge& e) {
        return std::pair{std::floor(std::min(e.a.y, e.b.y)) - 1.0 - y0, std::ceil(std::max(e.a.y, e.b.y)) + 1.0 - y0};
    });

    // Inside by the even-odd rule over all contours (holes are outside), one row at a time.
    std::vector<double> crossings;
    std::vector<std::uint8_t> inside(labels->labels.size());
    for (std::int32_t row = 0; row < h; ++row) {
        const double y = y0 + row;
        crossings.clear();
        for (std::size_t k = crossing_starts[static_cast<std::size_t>(row)];
             k < crossing_starts[static_cast<std::size_t>(row) + 1]; ++k) {
            const edge& e = *crossing_edges[k];
            if ((e.b.y > y) != (e.a.y > y))
                crossings.push_back(e.a.x + (y - e.a.y) * (e.b.x - e.a.x) / (e.b.y - e.a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        const std::size_t at = static_cast<std::size_t>(row) * static_cast<std::size_t>(w);
        // A pixel is inside when an odd number of crossings lie strictly to its
        // right, as contour::point_inside decides: from the even crossings on.
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
            const double from = std::max(std::ceil(crossings[k]), x0);
            const double to = std::min(std::ceil(crossings[k + 1]) - 1.0, x1);
            if (from <= to) {
                const std::size_t a = at + static_cast<std::size_t>(from - x0),
                                  b = at + static_cast<std::size_t>(to - x0) + 1;
                std::fill(labels->labels.begin() + static_cast<std::ptrdiff_t>(a),
                          labels->labels.begin() + static_cast<std::ptrdiff_t>(b), region_labels::far);
                std::fill(inside.begin() + static_cast<std::ptrdiff_t>(a),
                          inside.begin() + static_cast<std::ptrdiff_t>(b), std::uint8_t{1});
            }
        }
    }
    // Each row's near edges by their left end, with the widest one's width:
    // a border pixel's nearest edge passes within a pixel of it (the outline
    // runs between it and its neighbour), so the search starts there and
    // stops at the first edge farther across than the nearest so far.
    struct near_edge_t {
        double min_x, max_x;
        const edge* e;
    };
    std::vector<near_edge_t> near(near_list.size());
    std::vector<double> widest(static_cast<std::size_t>(h), 0.0);
    for (std::int32_t r = 0; r < h; ++r) {
        const std::size_t from = near_starts[static_cast<std::size_t>(r)],
                          to = near_starts[static_cast<std::size_t>(r) + 1];
        for (std::size_t k = from; k < to; ++k) {
            const edge& e = *near_list[k];
            near[k] = {std::min(e.a.x, e.b.x), std::max(e.a.x, e.b.x), &e};
            widest[static_cast<std::size_t>(r)] =
                std::max(widest[static_cast<std::size_t>(r)], near[k].max_x - near[k].min_x);
        }
        std::sort(near.begin() + static_cast<std::ptrdiff_t>(from), near.begin() + static_cast<std::ptrdiff_t>(to),
                  [](const near_edge_t& a, const near_edge_t& b) { return a.min_x < b.min_x; });
    }
    constexpr double reach = 1.5;  // pixels: more than the one the outline can be away
    std::vector<std::uint8_t> differs(static_cast<std::size_t>(w));
    // Every pixel with a 4-neighbour on the other side of the outline gets its
    // signed distance from the edges near its row.
    for (std::int32_t r = 0; r < h; ++r) {
        const std::uint8_t* here = inside.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
        const std::uint8_t* up = r > 0 ? here - w : nullptr;
        const std::uint8_t* down = r + 1 < h ? here + w : nullptr;
        const auto first = near.begin() + static_cast<std::ptrdiff_t>(near_starts[static_cast<std::size_t>(r)]);
        const auto last = near.begin() + static_cast<std::ptrdiff_t>(near_starts[static_cast<std::size_t>(r) + 1]);
        // Which pixels of the row differ from a 4-neighbour: a whole row at a
        // time without branches away from the box's edges.
        std::uint8_t* const flags = differs.data();
        for (std::int32_t c = 0; c < w; c += std::max(w - 1, 1)) {
            const std::uint8_t in = here[c];
            flags[c] = (c > 0 && here[c - 1] != in) || (c + 1 < w && here[c + 1] != in) || (up && up[c] != in) ||
                       (down && down[c] != in);
        }
        if (up && down) {
            for (std::int32_t c = 1; c + 1 < w; ++c) {
                const std::uint8_t in = here[c];
                flags[c] =
                    static_cast<std::uint8_t>((here[c - 1] ^ in) | (here[c + 1] ^ in) | (up[c] ^ in) | (down[c] ^ in));
            }
        } else {
            for (std::int32_t c = 1; c + 1 < w; ++c) {
                const std::uint8_t in = here[c];
                flags[c] = here[c - 1] != in || here[c + 1] != in || (up && up[c] != in) || (down && down[c] != in);
            }
        }
        // The flagged pixels are few: skip to each.
        for (std::int32_t c = 0; c < w; ++c) {
            const void* next = std::memchr(flags + c, 1, static_cast<std::size_t>(w - c));
            if (next == nullptr)
                break;
            c = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(next) - flags);
            const std::uint8_t in = here[c];
            const vertex2d p{x0 + c, y0 + r};
            const auto nearest_from = [&](auto from) {
                double nearest = std::numeric_limits<double>::infinity();
                for (auto it = from; it != last && it->min_x - p.x < nearest; ++it)
                    if (p.x - it->max_x < nearest)
                        nearest = std::min(nearest, distance_to_segment(p, it->e->a, it->e->b));
                return nearest;
            };
            const double lowest = p.x - reach - widest[static_cast<std::size_t>(r)];
            double nearest = nearest_from(
                std::lower_bound(first, last, lowest, [](const near_edge_t& n, double x) { return n.min_x < x; }));
            if (!(nearest <= reach))  // not as the outline runs: look at every edge
                nearest = nearest_from(first);
            if (std::isfinite(nearest))
                labels->labels[static_cast<std::size_t>(r) * w + c] = near_label(nearest, in != 0);
        }
    }
    return labels;
}
