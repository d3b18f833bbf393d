#include "slab_section.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double shrink = 1e-5;
constexpr double on_plane = 1e-9;  // cm: corners this close count as lying in the plane

double turn(const vertex2d& o, const vertex2d& a, const vertex2d& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Convex hull, counter-clockwise; coincident points collapse.
std::vector<vertex2d> convex_hull(std::vector<vertex2d> pts)
{
    std::sort(pts.begin(), pts.end(), [](const vertex2d& a, const vertex2d& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    if (pts.size() < 3)
        return pts;
    std::vector<vertex2d> hull(2 * pts.size());
    std::size_t k = 0;
    for (const vertex2d& p : pts) {
        while (k >= 2 && turn(hull[k - 2], hull[k - 1], p) <= 0.0)
            --k;
        hull[k++] = p;
    }
    for (std::size_t i = pts.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && turn(hull[k - 2], hull[k - 1], pts[i]) <= 0.0)
            --k;
        hull[k++] = pts[i];
    }
    hull.resize(k - 1);
    return hull;
}

}  // namespace

std::vector<vertex2d> slab_section(const reslice_plane& plane, double offset, const matrix16d& image_to_world,
                                   const frame_grid& grid, double half_thickness)
{
    const double h = std::isfinite(half_thickness) ? std::max(0.0, half_thickness) : 0.0;
    const double x0 = -0.5 * grid.sx + shrink, x1 = std::max(x0, (static_cast<double>(grid.columns) - 0.5) * grid.sx - shrink);
    const double y0 = -0.5 * grid.sy + shrink, y1 = std::max(y0, (static_cast<double>(grid.rows) - 0.5) * grid.sy - shrink);
    // Corner i: x from bit 0, y from bit 1, z from bit 2.
    std::array<vertex3d, 8> world;
    std::array<double, 8> dist;
    for (int i = 0; i < 8; ++i) {
        const vertex3d local{(i & 1) ? x1 : x0, (i & 2) ? y1 : y0, (i & 4) ? h : -h};
        world[i] = image_to_world * local;
        dist[i] = dot(world[i] - plane.centre(), plane.normal()) - offset;
        if (!finite(world[i]) || !std::isfinite(dist[i]))
            return {};
    }
    std::vector<vertex3d> hits;
    for (int i = 0; i < 8; ++i)
        if (std::fabs(dist[i]) <= on_plane)
            hits.push_back(world[i]);
    for (int a = 0; a < 8; ++a)
        for (int bit = 1; bit < 8; bit <<= 1) {
            const int b = a | bit;
            if (b == a)
                continue;
            const double da = dist[a], db = dist[b];
            if ((da > on_plane && db < -on_plane) || (da < -on_plane && db > on_plane)) {
                const double t = da / (da - db);
                hits.push_back(world[a] + t * (world[b] - world[a]));
            }
        }
    std::vector<vertex2d> pts;
    pts.reserve(hits.size());
    for (const vertex3d& p : hits) {
        const vertex3d r = plane.world_to_reslice(p);
        if (!std::isfinite(r.x) || !std::isfinite(r.y))
            return {};
        pts.push_back({r.x, r.y});
    }
    return convex_hull(std::move(pts));
}

std::vector<reslice_span> row_spans(const std::vector<vertex2d>& polygon, long width, long height)
{
    std::vector<reslice_span> spans;
    row_spans(polygon, width, height, spans);
    return spans;
}

void row_spans(const std::vector<vertex2d>& polygon, long width, long height, std::vector<reslice_span>& spans)
{
    spans.clear();
    if (polygon.empty() || width < 1 || height < 1)
        return;
    double ymin = polygon[0].y, ymax = polygon[0].y;
    for (const vertex2d& p : polygon) {
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    // Clamp in floating point first: far-away frames give coordinates no long can hold.
    const double first_row = std::max(0.0, std::ceil(ymin - 1e-9));
    const double last_row = std::min(static_cast<double>(height - 1), std::floor(ymax + 1e-9));
    if (!(first_row <= last_row))
        return;
    // Walk each edge over the rows it crosses, rather than every edge for
    // every row: a frame's section spans hundreds of rows but has few edges.
    const long row0 = static_cast<long>(first_row), rows = static_cast<long>(last_row) - row0 + 1;
    // Kept between calls: a reslice asks once per frame.
    thread_local std::vector<double> xmin, xmax;
    xmin.assign(static_cast<std::size_t>(rows), INFINITY);
    xmax.assign(static_cast<std::size_t>(rows), -INFINITY);
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const vertex2d& p = polygon[i];
        const vertex2d& q = polygon[i + 1 < n ? i + 1 : 0];
        const double lo = std::min(p.y, q.y) - 1e-9, hi = std::max(p.y, q.y) + 1e-9;
        const double from = std::max(first_row, std::ceil(lo)), to = std::min(last_row, std::floor(hi));
        if (!(from <= to))
            continue;
        const bool flat = std::fabs(q.y - p.y) < 1e-12;
        for (long y = static_cast<long>(from); y <= static_cast<long>(to); ++y) {
            double a = p.x, b = q.x;
            if (!flat) {
                const double t = std::clamp((static_cast<double>(y) - p.y) / (q.y - p.y), 0.0, 1.0);
                a = b = p.x + t * (q.x - p.x);
            }
            const auto r = static_cast<std::size_t>(y - row0);
            xmin[r] = std::min({xmin[r], a, b});
            xmax[r] = std::max({xmax[r], a, b});
        }
    }
    spans.reserve(static_cast<std::size_t>(rows));
    for (long r = 0; r < rows; ++r) {
        const double first = std::max(0.0, std::ceil(xmin[static_cast<std::size_t>(r)] - 1e-9));
        const double last = std::min(static_cast<double>(width - 1), std::floor(xmax[static_cast<std::size_t>(r)] + 1e-9));
        if (first <= last)
            spans.push_back({row0 + r, static_cast<long>(first), static_cast<long>(last)});
    }
}
