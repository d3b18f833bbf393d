#include "overlap.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <wx/log.h>

#include "segmentation/grassfire.h"

namespace {

constexpr int supersample = 4;
constexpr double max_union_pixels = 16.0 * 1024 * 1024;

bool edges_cross(const contour& a, const contour& b)
{
    const std::size_t na = a.points.size(), nb = b.points.size();
    vertex2d at;
    for (std::size_t i = 0; i < na; ++i)
        for (std::size_t j = 0; j < nb; ++j)
            if (segment_intersection(a.points[i], a.points[(i + 1) % na], b.points[j], b.points[(j + 1) % nb], &at))
                return true;
    return false;
}

std::size_t root(std::vector<std::size_t>& parent, std::size_t i)
{
    while (parent[i] != i)
        i = parent[i] = parent[parent[i]];
    return i;
}

// The union of the group, scan-converted at `scale` pixels per frame pixel and
// traced back into outlines in frame pixels.
std::vector<contour> union_outlines(const std::vector<const contour*>& group)
{
    double min_x = INFINITY, min_y = INFINITY, max_x = -INFINITY, max_y = -INFINITY;
    for (const contour* c : group)
        for (const vertex2d& p : c->points) {
            min_x = std::min(min_x, p.x);
            max_x = std::max(max_x, p.x);
            min_y = std::min(min_y, p.y);
            max_y = std::max(max_y, p.y);
        }
    const double x0 = std::floor(min_x) - 1.0, y0 = std::floor(min_y) - 1.0;
    const double cols = (std::ceil(max_x) + 1.0 - x0) * supersample + 1.0;
    const double rows = (std::ceil(max_y) + 1.0 - y0) * supersample + 1.0;
    if (!(cols * rows <= max_union_pixels)) {
        wxLogWarning("Overlapping outlines too large to join (%.0f by %.0f pixels); they are left as drawn.",
                     cols / supersample, rows / supersample);
        return {};
    }
    const long w = static_cast<long>(cols), h = static_cast<long>(rows);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    std::vector<double> crossings;
    for (long r = 0; r < h; ++r) {
        const double y = y0 + static_cast<double>(r) / supersample;
        for (const contour* c : group) {
            // Inside this contour by the even-odd rule, added to the union.
            crossings.clear();
            const std::size_t n = c->points.size();
            for (std::size_t i = 0, prev = n - 1; i < n; prev = i++) {
                const vertex2d& a = c->points[prev];
                const vertex2d& b = c->points[i];
                if ((b.y > y) != (a.y > y))
                    crossings.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
            }
            std::sort(crossings.begin(), crossings.end());
            for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
                const double from = std::max(std::ceil((crossings[k] - x0) * supersample), 0.0);
                const double to = std::min(std::ceil((crossings[k + 1] - x0) * supersample) - 1.0, cols - 1.0);
                for (double x = from; x <= to; ++x)
                    image[static_cast<std::size_t>(r) * w + static_cast<std::size_t>(x)] = 1;
            }
        }
    }
    grassfire_settings settings;
    settings.hole_type = 0;  // holes of the union stay holes
    settings.window.lo = settings.window.hi = 1;
    grassfire_classes classes;
    classes.bits[1] = grassfire_classes::selected;
    const contour_set traced =
        grassfire::segment(image_view(image.data(), w, h), grassfire::no_seed, 0, 0, settings, classes);
    std::vector<contour> outlines;
    for (contour c : traced.contours) {
        for (vertex2d& p : c.points)
            p = {x0 + p.x / supersample, y0 + p.y / supersample};
        c.closed = true;
        c.simplify(0.02);  // drops the tracing's collinear points, keeps its corners
        if (c.points.size() >= 3)
            outlines.push_back(std::move(c));
    }
    return outlines;
}

}  // namespace

std::size_t make_non_overlapping(contour_set& set, std::size_t first, std::size_t last)
{
    if (set.contours.empty() || first > last || first >= set.contours.size())
        return 0;
    last = std::min(last, set.contours.size() - 1);
    const std::size_t n = last - first + 1;
    std::vector<std::size_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (set.contours[first + i].points.size() >= 3 && set.contours[first + j].points.size() >= 3 &&
                edges_cross(set.contours[first + i], set.contours[first + j]))
                parent[root(parent, j)] = root(parent, i);
    std::vector<contour> kept, joined;
    std::size_t groups = 0;
    std::vector<char> done(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (done[i])
            continue;
        std::vector<const contour*> group;
        for (std::size_t j = i; j < n; ++j)
            if (root(parent, j) == root(parent, i)) {
                group.push_back(&set.contours[first + j]);
                done[j] = 1;
            }
        std::vector<contour> outlines = group.size() > 1 ? union_outlines(group) : std::vector<contour>{};
        if (outlines.empty()) {
            for (const contour* c : group)
                kept.push_back(*c);
        } else {
            ++groups;
            for (contour& c : outlines)
                joined.push_back(std::move(c));
        }
    }
    if (groups == 0)
        return 0;
    std::vector<contour> result(set.contours.begin(), set.contours.begin() + static_cast<std::ptrdiff_t>(first));
    result.insert(result.end(), kept.begin(), kept.end());
    result.insert(result.end(), joined.begin(), joined.end());
    result.insert(result.end(), set.contours.begin() + static_cast<std::ptrdiff_t>(last) + 1, set.contours.end());
    set.contours = std::move(result);
    set.area = -1.0;
    return groups;
}
