#include "surface_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace {

struct cut_segment_t {
    std::uint64_t from = 0, to = 0;  // edge keys: a crossing is named by its edge, whichever triangle meets it
    vertex3d p, q;
    bool used = false;
};

// Where edge (a, b) crosses the plane, computed from the edge's lower index so
// that both triangles sharing it get the same point.
cut_end_t edge_crossing(const surface_mesh_t& mesh, const std::vector<double>& height, std::uint32_t a, std::uint32_t b)
{
    if (a > b)
        std::swap(a, b);
    const double ha = height[a], hb = height[b];
    const double t = ha / (ha - hb);
    const double w = std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.5;
    return {lerp(mesh.points[a].position, mesh.points[b].position, w), {a, b}, {1.0 - w, w}};
}

vertex3d crossing(const surface_mesh_t& mesh, const std::vector<double>& height, std::uint32_t a, std::uint32_t b)
{
    return edge_crossing(mesh, height, a, b).position;
}

// Heights above the plane; empty when there is nothing to cut.
std::vector<double> heights(const surface_mesh_t& mesh, const plane_t& plane)
{
    std::vector<double> height;
    if (mesh.points.empty() || !(dot(plane.ex, plane.ex) > 0.0) || !(dot(plane.ey, plane.ey) > 0.0))
        return height;
    height.resize(mesh.points.size());
    for (std::size_t i = 0; i < height.size(); ++i)
        height[i] = dot(sub(mesh.points[i].position, plane.origin), plane.normal);
    return height;
}

// The edges (as their first corner, 0..2) where the triangle's boundary goes
// down through the plane and comes back up; false when it does not cross.
bool crossing_edges(const surface_triangle_t& t, const std::vector<double>& height, int* down, int* up)
{
    const auto& v = t.points;
    const std::size_t n = height.size();
    if (v[0] >= n || v[1] >= n || v[2] >= n)
        return false;
    const auto above = [&](std::uint32_t i) { return !(height[i] < 0.0); };
    *down = *up = -1;
    for (int e = 0; e < 3; ++e) {
        const bool a = above(v[e]), b = above(v[(e + 1) % 3]);
        if (a && !b)
            *down = e;
        else if (!a && b)
            *up = e;
    }
    return *down >= 0 && *up >= 0;
}

}  // namespace

plane_t plane_through(const vertex3d& origin, const vertex3d& ex, const vertex3d& ey)
{
    plane_t p;
    p.origin = origin;
    p.ex = ex;
    p.ey = ey;
    const vertex3d n = cross(ex, ey);
    const double l = length(n);
    p.normal = l > 0.0 ? mul(n, 1.0 / l) : vertex3d{0.0, 0.0, 1.0};
    return p;
}

std::vector<contour> cut_mesh(const surface_mesh_t& mesh, const plane_t& plane)
{
    std::vector<contour> out;
    const std::vector<double> height = heights(mesh, plane);
    if (height.empty())
        return out;

    // Each triangle with corners on both sides gives one segment, from the
    // edge where its boundary goes down through the plane to the edge where
    // it comes back up: seen from above, the inside is then on the left.
    std::vector<cut_segment_t> segments;
    std::unordered_map<std::uint64_t, std::size_t> starting;
    for (const surface_triangle_t& t : mesh.triangles) {
        const auto& v = t.points;
        int down = -1, up = -1;
        if (!crossing_edges(t, height, &down, &up))
            continue;
        cut_segment_t s;
        s.from = edge_key(v[down], v[(down + 1) % 3]);
        s.to = edge_key(v[up], v[(up + 1) % 3]);
        s.p = crossing(mesh, height, v[down], v[(down + 1) % 3]);
        s.q = crossing(mesh, height, v[up], v[(up + 1) % 3]);
        starting.emplace(s.from, segments.size());
        segments.push_back(s);
    }

    // Chains from segment to segment through shared edges; a chain that
    // cannot go on is walked back from its start too, and comes out open.
    const auto to_pixel = [&](const vertex3d& p) { return pixel_of(plane, p); };
    std::unordered_map<std::uint64_t, std::size_t> ending;
    for (std::size_t i = 0; i < segments.size(); ++i)
        ending.emplace(segments[i].to, i);
    for (std::size_t first = 0; first < segments.size(); ++first) {
        if (segments[first].used)
            continue;
        std::vector<std::size_t> chain{first};
        segments[first].used = true;
        bool closed = false;
        for (std::size_t at = first;;) {
            const auto next = starting.find(segments[at].to);
            if (next == starting.end() || segments[next->second].used) {
                closed = next != starting.end() && next->second == first;
                break;
            }
            at = next->second;
            segments[at].used = true;
            chain.push_back(at);
        }
        if (!closed) {
            std::vector<std::size_t> before;
            for (std::size_t at = first;;) {
                const auto prev = ending.find(segments[at].from);
                if (prev == ending.end() || segments[prev->second].used)
                    break;
                at = prev->second;
                segments[at].used = true;
                before.push_back(at);
            }
            chain.insert(chain.begin(), before.rbegin(), before.rend());
        }
        contour c;
        c.closed = closed;
        c.points.reserve(chain.size() + 1);
        if (!closed)
            c.points.push_back(to_pixel(segments[chain.front()].p));
        for (std::size_t s : chain) {
            const vertex2d q = to_pixel(segments[s].q);
            // Corners on the plane give zero-length steps.
            if (c.points.empty() || c.points.back() != q)
                c.points.push_back(q);
        }
        if (closed && c.points.size() > 1 && c.points.front() == c.points.back())
            c.points.pop_back();
        if (c.points.size() >= (closed ? 3u : 2u))
            out.push_back(std::move(c));
    }
    return out;
}

std::vector<triangle_cut_t> triangle_cuts(const surface_mesh_t& mesh, const plane_t& plane)
{
    std::vector<triangle_cut_t> out;
    const std::vector<double> height = heights(mesh, plane);
    if (height.empty())
        return out;
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const auto& v = mesh.triangles[i].points;
        int down = -1, up = -1;
        if (!crossing_edges(mesh.triangles[i], height, &down, &up))
            continue;
        triangle_cut_t cut;
        cut.triangle = i;
        cut.ends = {edge_crossing(mesh, height, v[down], v[(down + 1) % 3]),
                    edge_crossing(mesh, height, v[up], v[(up + 1) % 3])};
        // A corner on the plane with the others below: the triangle only touches it there.
        if (cut.ends[0].position != cut.ends[1].position)
            out.push_back(cut);
    }
    return out;
}
