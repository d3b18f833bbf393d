#include "surface_curves.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <queue>
#include <utility>

#include "common/vertex_math.h"
#include "surfaces/landmark_names.h"
#include "surfaces/surface_interp.h"

namespace {

// The nearest point to p of the triangle abc (closest-point regions of the triangle).
vertex3d nearest_on_triangle(const vertex3d& p, const vertex3d& a, const vertex3d& b, const vertex3d& c)
{
    const vertex3d ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0)
        return a;
    const vertex3d bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0.0 && d4 <= d3)
        return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0)
        return a + (d1 / (d1 - d3)) * ab;
    const vertex3d cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0.0 && d5 <= d6)
        return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0)
        return a + (d2 / (d2 - d6)) * ac;
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0)
        return b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b);
    const double denominator = va + vb + vc;
    if (!(std::fabs(denominator) > 0.0))
        return a;  // a degenerate triangle
    return a + (vb / denominator) * ab + (vc / denominator) * ac;
}

// The distance between segments pq and ab, from their closest points.
double segment_distance(const vertex3d& p, const vertex3d& q, const vertex3d& a, const vertex3d& b)
{
    // Closest points of two segments (clamped parameters).
    const vertex3d d1 = q - p, d2 = b - a, r = p - a;
    const double aa = dot(d1, d1), ee = dot(d2, d2), f = dot(d2, r);
    double s = 0.0, t = 0.0;
    if (aa <= 0.0 && ee <= 0.0)
        return length(p - a);
    if (aa <= 0.0) {
        t = std::clamp(f / ee, 0.0, 1.0);
    } else {
        const double c = dot(d1, r);
        if (ee <= 0.0) {
            s = std::clamp(-c / aa, 0.0, 1.0);
        } else {
            const double bb = dot(d1, d2), denominator = aa * ee - bb * bb;
            s = denominator > 0.0 ? std::clamp((bb * f - c * ee) / denominator, 0.0, 1.0) : 0.0;
            t = (bb * s + f) / ee;
            if (t < 0.0) {
                t = 0.0;
                s = std::clamp(-c / aa, 0.0, 1.0);
            } else if (t > 1.0) {
                t = 1.0;
                s = std::clamp((bb - c) / aa, 0.0, 1.0);
            }
        }
    }
    return length((p + s * d1) - (a + t * d2));
}

// Shortest path over the mesh's edges from one point to another, both ends included.
std::vector<std::uint32_t> shortest_path(const std::vector<std::vector<std::uint32_t>>& neighbours,
                                         const surface_mesh_t& mesh, std::uint32_t from, std::uint32_t to)
{
    const std::size_t n = mesh.points.size();
    std::vector<double> cost(n, std::numeric_limits<double>::infinity());
    std::vector<std::uint32_t> back(n, std::numeric_limits<std::uint32_t>::max());
    using entry = std::pair<double, std::uint32_t>;
    std::priority_queue<entry, std::vector<entry>, std::greater<>> open;
    cost[from] = 0.0;
    open.push({0.0, from});
    while (!open.empty()) {
        const auto [c, v] = open.top();
        open.pop();
        if (v == to)
            break;
        if (c > cost[v])
            continue;
        for (std::uint32_t w : neighbours[v]) {
            const double next = c + length(mesh.points[w].position - mesh.points[v].position);
            if (next < cost[w]) {
                cost[w] = next;
                back[w] = v;
                open.push({next, w});
            }
        }
    }
    std::vector<std::uint32_t> path;
    if (!std::isfinite(cost[to]))
        return path;
    for (std::uint32_t v = to; v != from; v = back[v])
        path.push_back(v);
    path.push_back(from);
    std::reverse(path.begin(), path.end());
    return path;
}

surface_mesh_t patch_of(const surface_mesh_t& mesh, const std::vector<std::size_t>& triangles)
{
    surface_mesh_t out;
    std::vector<std::uint32_t> index(mesh.points.size(), std::numeric_limits<std::uint32_t>::max());
    for (std::size_t t : triangles) {
        surface_triangle_t tri = mesh.triangles[t];
        for (std::uint32_t& v : tri.points) {
            if (index[v] == std::numeric_limits<std::uint32_t>::max()) {
                index[v] = static_cast<std::uint32_t>(out.points.size());
                out.points.push_back(mesh.points[v]);
                if (mesh.coloured())
                    out.colours.push_back(mesh.colours[v]);
            }
            v = index[v];
        }
        out.triangles.push_back(tri);
    }
    return out;
}

}  // namespace

wxString default_curve_name(const curve_set& curves, int object)
{
    for (std::size_t i = 1;; ++i) {
        const wxString name = wxString::Format("Curve %zu", i);
        if (std::none_of(curves.curves.begin(), curves.curves.end(),
                         [&](const curve_t& c) { return c.object == object && c.name == name; }))
            return name;
    }
}

bool check_curve_name(const curve_set& curves, int object, const wxString& name, std::optional<std::size_t> self,
                      wxString* why)
{
    if (name.empty()) {
        *why = "Surface curve name must not be empty.";
        return false;
    }
    if (has_control_character(name)) {
        *why = "Surface curve name must not contain control characters such as a new line.";
        return false;
    }
    for (std::size_t i = 0; i < curves.curves.size(); ++i)
        if ((!self || *self != i) && curves.curves[i].object == object && curves.curves[i].name == name) {
            *why = "Surface curve must have a different name to all other curves for this object.";
            return false;
        }
    return true;
}

std::size_t add_curve_point(curve_set& curves, int object, const vertex3d& p, double close_distance)
{
    std::optional<std::size_t> last;
    for (std::size_t i = 0; i < curves.curves.size(); ++i)
        if (curves.curves[i].object == object)
            last = i;
    if (!last || curves.curves[*last].closed) {
        curve_t c;
        c.object = object;
        c.name = default_curve_name(curves, object);
        curves.curves.push_back(std::move(c));
        last = curves.curves.size() - 1;
    }
    curve_t& c = curves.curves[*last];
    if (c.points.size() >= 3 && length(p - c.points.front()) <= close_distance)
        c.closed = true;
    else
        c.points.push_back(p);
    return *last;
}

std::optional<std::size_t> curve_near_segment(const curve_set& curves, int object, const vertex3d& p,
                                              const vertex3d& q, double reach)
{
    std::optional<std::size_t> best;
    double nearest = reach;
    for (std::size_t i = 0; i < curves.curves.size(); ++i) {
        const curve_t& c = curves.curves[i];
        if (object >= 0 && c.object != object)
            continue;
        const std::size_t n = c.points.size();
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t next = k + 1 < n ? k + 1 : (c.closed ? 0 : k);
            const double d = segment_distance(p, q, c.points[k], c.points[next]);
            if (d <= nearest) {
                nearest = d;
                best = i;
            }
        }
    }
    return best;
}

vertex3d nearest_surface_point(const surface_interp& surface, const vertex3d& p)
{
    vertex3d best = p;
    double nearest = std::numeric_limits<double>::infinity();
    for (const surface_sequence_t& s : surface.get_seq()) {
        const std::size_t n = s.mesh.points.size();
        for (const surface_triangle_t& t : s.mesh.triangles) {
            if (t.points[0] >= n || t.points[1] >= n || t.points[2] >= n)
                continue;
            const vertex3d on = nearest_on_triangle(p, s.mesh.points[t.points[0]].position,
                                                    s.mesh.points[t.points[1]].position,
                                                    s.mesh.points[t.points[2]].position);
            const double d = length(on - p);
            if (d < nearest) {
                nearest = d;
                best = on;
            }
        }
    }
    return best;
}

void reattach_curves(curve_set& curves, int object, const surface_interp& surface)
{
    for (curve_t& c : curves.curves)
        if (c.object == object)
            for (vertex3d& p : c.points)
                p = nearest_surface_point(surface, p);
}

std::optional<mesh_split_t> split_mesh(const surface_mesh_t& mesh, const curve_t& curve)
{
    const std::size_t n = mesh.points.size();
    if (!curve.closed || curve.points.size() < 3 || n == 0 || n >= std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    // The mesh point nearest each curve point, repeats dropped.
    std::vector<std::uint32_t> stops;
    for (const vertex3d& p : curve.points) {
        std::uint32_t best = 0;
        double nearest = std::numeric_limits<double>::infinity();
        for (std::uint32_t i = 0; i < n; ++i) {
            const double d = length(mesh.points[i].position - p);
            if (d < nearest) {
                nearest = d;
                best = i;
            }
        }
        if (stops.empty() || stops.back() != best)
            stops.push_back(best);
    }
    while (stops.size() > 1 && stops.front() == stops.back())
        stops.pop_back();
    if (stops.size() < 3)
        return std::nullopt;

    std::vector<std::vector<std::uint32_t>> neighbours(n);
    std::map<std::uint64_t, std::vector<std::size_t>> edge_triangles;
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const auto& v = mesh.triangles[t].points;
        if (v[0] >= n || v[1] >= n || v[2] >= n)
            return std::nullopt;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = v[k], b = v[(k + 1) % 3];
            neighbours[a].push_back(b);
            edge_triangles[edge_key(a, b)].push_back(t);
        }
    }
    // The curve carried onto the mesh's edges.
    std::map<std::uint64_t, bool> cut;
    for (std::size_t k = 0; k < stops.size(); ++k) {
        const std::vector<std::uint32_t> path = shortest_path(neighbours, mesh, stops[k], stops[(k + 1) % stops.size()]);
        if (path.size() < 2)
            return std::nullopt;
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            cut[edge_key(path[i], path[i + 1])] = true;
    }
    // Triangles reached from one another without crossing the cut.
    std::vector<int> part(mesh.triangles.size(), -1);
    std::vector<std::vector<std::size_t>> parts;
    for (std::size_t seed = 0; seed < mesh.triangles.size(); ++seed) {
        if (part[seed] >= 0)
            continue;
        const int id = static_cast<int>(parts.size());
        parts.emplace_back();
        std::vector<std::size_t> stack{seed};
        part[seed] = id;
        while (!stack.empty()) {
            const std::size_t t = stack.back();
            stack.pop_back();
            parts.back().push_back(t);
            const auto& v = mesh.triangles[t].points;
            for (int k = 0; k < 3; ++k) {
                const std::uint64_t e = edge_key(v[k], v[(k + 1) % 3]);
                if (cut.count(e))
                    continue;
                for (std::size_t other : edge_triangles[e])
                    if (part[other] < 0) {
                        part[other] = id;
                        stack.push_back(other);
                    }
            }
        }
    }
    if (parts.size() != 2)
        return std::nullopt;
    if (parts[0].size() < parts[1].size())
        std::swap(parts[0], parts[1]);
    return mesh_split_t{patch_of(mesh, parts[0]), patch_of(mesh, parts[1])};
}

void close_holes(surface_mesh_t& mesh)
{
    // Directed edges used by one triangle only; the cap runs them backwards.
    std::map<std::uint64_t, int> uses;
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k)
            ++uses[edge_key(t.points[k], t.points[(k + 1) % 3])];
    std::map<std::uint32_t, std::uint32_t> next;  // boundary, walked against the triangles' own turn
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t.points[k], b = t.points[(k + 1) % 3];
            if (uses[edge_key(a, b)] == 1)
                next[b] = a;
        }
    while (!next.empty()) {
        std::vector<std::uint32_t> loop;
        std::uint32_t at = next.begin()->first;
        while (next.count(at)) {
            loop.push_back(at);
            const std::uint32_t to = next[at];
            next.erase(at);
            at = to;
        }
        if (loop.size() < 3)
            continue;
        vertex3d centre;
        for (std::uint32_t v : loop)
            centre = centre + mesh.points[v].position;
        surface_point_t middle;
        middle.position = (1.0 / double(loop.size())) * centre;
        const auto m = static_cast<std::uint32_t>(mesh.points.size());
        mesh.points.push_back(middle);
        if (!mesh.colours.empty())
            mesh.colours.push_back(mesh.colours[loop.front()]);
        for (std::size_t i = 0; i < loop.size(); ++i)
            mesh.triangles.push_back({{loop[i], loop[(i + 1) % loop.size()], m}, 2});
    }
}
