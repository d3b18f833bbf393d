#include "reslice_sweeps.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int footprint_directions = 16;

vertex2d operator-(const vertex2d& a, const vertex2d& b) { return {a.x - b.x, a.y - b.y}; }
double cross2(const vertex2d& a, const vertex2d& b) { return a.x * b.y - a.y * b.x; }
double dot2(const vertex2d& a, const vertex2d& b) { return a.x * b.x + a.y * b.y; }

// Twice the signed area; positive for counter-clockwise in x-right, y-up axes.
double signed_area2(const std::vector<vertex2d>& p)
{
    double a = 0.0;
    for (std::size_t i = 0, n = p.size(); i < n; ++i)
        a += cross2(p[i], p[(i + 1) % n]);
    return a;
}

double extent(const std::vector<vertex2d>& p)
{
    double e = 0.0;
    for (const vertex2d& v : p)
        e = std::max({e, std::fabs(v.x), std::fabs(v.y)});
    return e;
}

// Whether the polygon encloses an area that is not lost in rounding.
bool has_area(const std::vector<vertex2d>& p)
{
    if (p.size() < 3)
        return false;
    const double a = std::fabs(signed_area2(p)), e = extent(p);
    return std::isfinite(a) && std::isfinite(e) && a > 1e-12 * e * e && a > 1e-300;
}

void drop_repeats(std::vector<vertex2d>& p)
{
    const auto same = [](const vertex2d& a, const vertex2d& b) {
        return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) <= 1e-12 * (1.0 + std::fabs(a.x) + std::fabs(a.y));
    };
    p.erase(std::unique(p.begin(), p.end(), same), p.end());
    while (p.size() > 1 && same(p.front(), p.back()))
        p.pop_back();
}

// Keeps the part of the convex polygon where kx x + ky y + c >= 0.
void clip_half_plane(std::vector<vertex2d>& poly, double kx, double ky, double c)
{
    const std::size_t n = poly.size();
    if (n == 0)
        return;
    std::vector<vertex2d> out;
    out.reserve(n + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const vertex2d& p = poly[i];
        const vertex2d& q = poly[(i + 1) % n];
        const double fp = kx * p.x + ky * p.y + c, fq = kx * q.x + ky * q.y + c;
        const bool in_p = fp >= 0.0, in_q = fq >= 0.0;
        if (in_p)
            out.push_back(p);
        if (in_p != in_q) {
            const double t = fp / (fp - fq);  // the signs differ, so never 0 / 0
            out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
        }
    }
    drop_repeats(out);
    poly.swap(out);
}

vertex2d centroid(const std::vector<vertex2d>& p)
{
    const double a2 = signed_area2(p);
    vertex2d c{};
    if (has_area(p)) {
        for (std::size_t i = 0, n = p.size(); i < n; ++i) {
            const vertex2d& u = p[i];
            const vertex2d& v = p[(i + 1) % n];
            const double k = cross2(u, v);
            c.x += (u.x + v.x) * k;
            c.y += (u.y + v.y) * k;
        }
        return {c.x / (3.0 * a2), c.y / (3.0 * a2)};
    }
    for (const vertex2d& v : p) {
        c.x += v.x;
        c.y += v.y;
    }
    const double n = static_cast<double>(std::max<std::size_t>(1, p.size()));
    return {c.x / n, c.y / n};
}

// The footprint of a set of points: the polygon bounded by their extremes in
// footprint_directions directions, pushed out by `margin`.
std::vector<vertex2d> bounded_outline(const std::vector<vertex2d>& pts, double margin)
{
    if (pts.empty())
        return {};
    double h[footprint_directions];
    vertex2d d[footprint_directions];
    for (int k = 0; k < footprint_directions; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / footprint_directions;
        d[k] = {std::cos(angle), std::sin(angle)};
        h[k] = -INFINITY;
        for (const vertex2d& p : pts)
            h[k] = std::max(h[k], dot2(p, d[k]));
        h[k] += margin;
    }
    // Directions 0, 4, 8 and 12 are the axes: their extremes make the starting box.
    const int right = 0, top = footprint_directions / 4, left = footprint_directions / 2, bottom = 3 * top;
    std::vector<vertex2d> poly{{-h[left], -h[bottom]}, {h[right], -h[bottom]}, {h[right], h[top]}, {-h[left], h[top]}};
    for (int k = 0; k < footprint_directions; ++k)
        if (k % top != 0)
            clip_half_plane(poly, -d[k].x, -d[k].y, h[k]);
    return poly;
}

void bounds(const std::vector<vertex2d>& p, vertex2d* lo, vertex2d* hi)
{
    *lo = {INFINITY, INFINITY};
    *hi = {-INFINITY, -INFINITY};
    for (const vertex2d& v : p) {
        lo->x = std::min(lo->x, v.x);
        lo->y = std::min(lo->y, v.y);
        hi->x = std::max(hi->x, v.x);
        hi->y = std::max(hi->y, v.y);
    }
}

bool overlap(const std::vector<vertex2d>& a, const std::vector<vertex2d>& b)
{
    vertex2d alo, ahi, blo, bhi;
    bounds(a, &alo, &ahi);
    bounds(b, &blo, &bhi);
    if (alo.x > bhi.x || blo.x > ahi.x || alo.y > bhi.y || blo.y > ahi.y)
        return false;
    std::vector<vertex2d> common = a;
    return clip_intersection_to_poly(common, b) && has_area(common);
}

}  // namespace

void assign_sweeps(reslice_source* source, std::vector<long> first_frames)
{
    long last = 0;
    for (std::size_t i = 0; i < source->frames.size(); ++i) {
        const reslice_frame& f = source->frames[i];
        last = std::max(last, f.number >= 0 ? f.number : static_cast<long>(i));
    }
    first_frames = kept_sweep_firsts(std::move(first_frames), last);

    for (std::size_t i = 0; i < source->frames.size(); ++i) {
        reslice_frame& f = source->frames[i];
        const long n = f.number >= 0 ? f.number : static_cast<long>(i);
        const auto after = std::upper_bound(first_frames.begin(), first_frames.end(), n);
        f.sweep = std::max(0L, static_cast<long>(after - first_frames.begin()) - 1);
    }
    source->sweeps = sweep_partitions(*source, std::max<std::size_t>(1, first_frames.size()));
}

std::vector<long> kept_sweep_firsts(std::vector<long> first_frames, long last)
{
    // Boundaries past the last frame would only add empty sweeps; a corrupt
    // list must not make millions of them.
    for (long& b : first_frames)
        b = std::max(0L, b);
    std::sort(first_frames.begin(), first_frames.end());
    first_frames.erase(std::unique(first_frames.begin(), first_frames.end()), first_frames.end());
    first_frames.erase(std::upper_bound(first_frames.begin(), first_frames.end(), last), first_frames.end());
    return first_frames;
}

std::vector<sweep_partition> sweep_partitions(const reslice_source& source, std::size_t count)
{
    std::vector<sweep_partition> parts(count);
    if (count == 0)
        return parts;

    // The common normal: the mean depth axis, else any frame's, else +z.
    vertex3d depth_sum{};
    vertex3d origin{};
    long used = 0;
    for (const reslice_frame& f : source.frames) {
        const vertex3d y = column(f.image_to_world, 1);
        const vertex3d o = column(f.image_to_world, 3);
        if (!finite(y) || !finite(o))
            continue;
        depth_sum = depth_sum + y;
        origin = origin + o;
        ++used;
    }
    vertex3d n{0.0, 0.0, 1.0};
    if (!unit(depth_sum, &n)) {
        for (const reslice_frame& f : source.frames)
            if (unit(column(f.image_to_world, 1), &n))
                break;
    }
    if (used > 0)
        origin = (1.0 / static_cast<double>(used)) * origin;  // keeps the 2D coordinates small
    if (!finite(origin))
        origin = {};
    const vertex3d a = any_perpendicular(n), b = cross(n, a);

    std::vector<std::vector<vertex2d>> corners(count);
    const double sx = std::isfinite(source.sx) ? source.sx : 0.0, sy = std::isfinite(source.sy) ? source.sy : 0.0;
    for (const reslice_frame& f : source.frames) {
        if (f.sweep < 0 || static_cast<std::size_t>(f.sweep) >= count)
            continue;
        const double w = static_cast<double>(f.image.width()) * sx, h = static_cast<double>(f.image.height()) * sy;
        for (int c = 0; c < 4; ++c) {
            const vertex3d p = f.image_to_world * vertex3d{(c & 1) ? w : 0.0, (c & 2) ? h : 0.0, 0.0} - origin;
            const vertex2d q{dot(p, a), dot(p, b)};
            if (std::isfinite(q.x) && std::isfinite(q.y))
                corners[static_cast<std::size_t>(f.sweep)].push_back(q);
        }
    }
    std::vector<std::vector<vertex2d>> outline(count);
    for (std::size_t s = 0; s < count; ++s)
        outline[s] = bounded_outline(corners[s], 0.0);

    // Cuts decided on the uncut outlines, so the order of the sweeps does not matter.
    struct cut_t {
        double kx, ky, c;
    };
    std::vector<std::vector<cut_t>> cuts(count);
    std::vector<vertex2d> centre(count);
    for (std::size_t s = 0; s < count; ++s)
        centre[s] = centroid(outline[s]);
    for (std::size_t i = 0; i < count; ++i) {
        if (!has_area(outline[i]))
            continue;
        for (std::size_t j = i + 1; j < count; ++j) {
            if (!has_area(outline[j]) || !overlap(outline[i], outline[j]))
                continue;
            vertex2d d = centre[j] - centre[i];
            const double len = std::hypot(d.x, d.y);
            if (!(len > 1e-9) || !std::isfinite(len))
                continue;
            d = {d.x / len, d.y / len};
            double reach_i = -INFINITY, reach_j = INFINITY;
            for (const vertex2d& v : outline[i])
                reach_i = std::max(reach_i, dot2(v, d));
            for (const vertex2d& v : outline[j])
                reach_j = std::min(reach_j, dot2(v, d));
            if (!(reach_j < reach_i))
                continue;
            const double middle = 0.5 * (reach_i + reach_j);
            cuts[i].push_back({-d.x, -d.y, middle});
            cuts[j].push_back({d.x, d.y, -middle});
        }
    }
    for (std::size_t s = 0; s < count; ++s) {
        std::vector<vertex2d> poly = bounded_outline(corners[s], sweep_partition_margin);
        for (const cut_t& c : cuts[s])
            clip_half_plane(poly, c.kx, c.ky, c.c);
        parts[s].normal = n;
        parts[s].polygon.reserve(poly.size());
        for (const vertex2d& v : poly)
            parts[s].polygon.push_back(origin + v.x * a + v.y * b);
    }
    return parts;
}

bool partitioning_active(const reslice_source& source)
{
    return source.sweep_view.partitioning && source.sweeps.size() >= 2;
}

std::vector<vertex2d> partition_section(const reslice_plane& plane, double offset, const sweep_partition& partition,
                                        long adjustment)
{
    vertex3d n;
    const std::size_t count = partition.polygon.size();
    if (count < 3 || !unit(partition.normal, &n) || !std::isfinite(offset))
        return {};
    vertex3d mid{};
    for (const vertex3d& p : partition.polygon)
        mid = mid + p;
    mid = (1.0 / static_cast<double>(count)) * mid;
    if (!finite(mid))
        return {};
    const double scale = static_cast<double>(std::clamp(adjustment, 1L, 1000L)) / 100.0;
    const vertex3d a = any_perpendicular(n), b = cross(n, a);
    std::vector<vertex2d> q;
    q.reserve(count);
    for (const vertex3d& p : partition.polygon) {
        const vertex3d d = p - mid;
        q.push_back({scale * dot(d, a), scale * dot(d, b)});
    }
    drop_repeats(q);
    if (!has_area(q))
        return {};
    if (signed_area2(q) < 0.0)
        std::reverse(q.begin(), q.end());

    // Reslice pixel (x, y) lands at r0 + x rx + y ry in the partition's 2D frame.
    const vertex3d o = plane.reslice_to_world(0.0, 0.0, offset);
    const vertex3d ex = plane.reslice_to_world(1.0, 0.0, offset) - o;
    const vertex3d ey = plane.reslice_to_world(0.0, 1.0, offset) - o;
    const vertex2d r0{dot(o - mid, a), dot(o - mid, b)};
    const vertex2d rx{dot(ex, a), dot(ex, b)}, ry{dot(ey, a), dot(ey, b)};
    // Frame outlines are only needed over the image; a margin keeps edge pixels whole.
    const double w = static_cast<double>(plane.width()), h = static_cast<double>(plane.height());
    std::vector<vertex2d> cut{{-2.0, -2.0}, {w + 1.0, -2.0}, {w + 1.0, h + 1.0}, {-2.0, h + 1.0}};
    for (std::size_t i = 0; i < q.size() && !cut.empty(); ++i) {
        const vertex2d& p = q[i];
        const vertex2d e = q[(i + 1) % q.size()] - p;
        const double len = std::hypot(e.x, e.y);
        // Inside: cross(e, r - p) >= 0, which is linear in (x, y).
        const double kx = cross2(e, rx) / len, ky = cross2(e, ry) / len, c = cross2(e, r0 - p) / len;
        if (!std::isfinite(kx) || !std::isfinite(ky) || !std::isfinite(c))
            return {};
        if (std::fabs(kx) + std::fabs(ky) < 1e-12) {
            // The plane runs along this side of the prism: wholly in or wholly out.
            if (c < 0.0)
                return {};
            continue;
        }
        clip_half_plane(cut, kx, ky, c);
    }
    return has_area(cut) ? cut : std::vector<vertex2d>{};
}

std::vector<std::vector<vertex2d>> partition_sections(const reslice_plane& plane, double offset,
                                                      const reslice_source& source)
{
    const std::size_t n = source.sweeps.size();
    std::vector<std::vector<vertex2d>> cuts(n);
    if (n == 0)
        return cuts;
    const sweep_display& view = source.sweep_view;
    const long shown = std::clamp(view.shown, 0L, static_cast<long>(n) - 1);
    for (std::size_t s = 0; s < n; ++s) {
        if (view.single_sweep && static_cast<long>(s) != shown)
            continue;
        if (source.sweeps[s].polygon.size() < 2)
            continue;
        cuts[s] = partition_section(plane, offset, source.sweeps[s], view.adjustment);
    }
    return cuts;
}

bool clip_intersection_to_poly(std::vector<vertex2d>& polygon, const std::vector<vertex2d>& clip)
{
    if (polygon.size() > max_clipped_vertices) {
        polygon.clear();
        return false;
    }
    if (!has_area(clip)) {
        polygon.clear();
        return true;
    }
    const double orientation = signed_area2(clip) > 0.0 ? 1.0 : -1.0;
    for (std::size_t i = 0, n = clip.size(); i < n && !polygon.empty(); ++i) {
        const vertex2d& p = clip[i];
        const vertex2d e = clip[(i + 1) % n] - p;
        if (e.x == 0.0 && e.y == 0.0)
            continue;
        // orientation * cross(e, r - p) >= 0
        clip_half_plane(polygon, -orientation * e.y, orientation * e.x, orientation * (e.y * p.x - e.x * p.y));
        if (polygon.size() > max_clipped_vertices) {
            polygon.clear();
            return false;
        }
    }
    return true;
}

bool inside_convex(const std::vector<vertex2d>& polygon, const vertex2d& p, double tolerance)
{
    if (!has_area(polygon))
        return false;
    const double orientation = signed_area2(polygon) > 0.0 ? 1.0 : -1.0;
    for (std::size_t i = 0, n = polygon.size(); i < n; ++i) {
        const vertex2d& a = polygon[i];
        const vertex2d e = polygon[(i + 1) % n] - a;
        const double len = std::hypot(e.x, e.y);
        if (!(len > 0.0))
            continue;
        if (orientation * cross2(e, p - a) / len < -tolerance)
            return false;
    }
    return true;
}
