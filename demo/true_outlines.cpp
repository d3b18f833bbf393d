#include "true_outlines.h"

#include <cmath>
#include <numbers>

#include "common/vertex_math.h"

namespace {

// The part of a convex polygon where f(p) = f0 + fx x + fy y >= 0.
std::vector<vertex2d> clip(const std::vector<vertex2d>& polygon, double f0, double fx, double fy)
{
    std::vector<vertex2d> out;
    const auto f = [&](const vertex2d& p) { return f0 + fx * p.x + fy * p.y; };
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const vertex2d& a = polygon[i];
        const vertex2d& b = polygon[(i + 1) % polygon.size()];
        const double fa = f(a), fb = f(b);
        if (fa >= 0.0)
            out.push_back(a);
        if ((fa >= 0.0) != (fb >= 0.0)) {
            const double t = fa / (fa - fb);
            out.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    }
    return out;
}


}  // namespace

contour ellipse_outline(const ellipse2d& e, double sx, double sy, int n)
{
    contour c;
    if (!e.exists || !(sx > 0.0) || !(sy > 0.0))
        return c;
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * i / n;
        const double x = e.a * std::cos(t), y = e.b * std::sin(t);
        c.points.push_back({(e.cx + x * std::cos(e.angle) - y * std::sin(e.angle)) / sx,
                            (e.cy + x * std::sin(e.angle) + y * std::cos(e.angle)) / sy});
    }
    return c;
}

contour tube_outline(const tube_shape& t, const matrix16d& image_to_world, double sx, double sy, int n)
{
    contour c = ellipse_outline(section(t, image_to_world), sx, sy, n);
    if (c.points.empty())
        return c;
    const vertex3d axis{t.end.x - t.start.x, t.end.y - t.start.y, t.end.z - t.start.z};
    const double length2 = dot(axis, axis);
    // How far along the axis a pixel lies, as a linear function of (u, v):
    // between the two flat ends it runs from 0 to length^2.
    const vertex3d o = column(image_to_world, 3);
    const double f0 = dot({o.x - t.start.x, o.y - t.start.y, o.z - t.start.z}, axis);
    const double fu = sx * dot(column(image_to_world, 0), axis), fv = sy * dot(column(image_to_world, 1), axis);
    c.points = clip(clip(c.points, f0, fu, fv), length2 - f0, -fu, -fv);
    if (c.points.size() < 3)
        c.points.clear();
    return c;
}

void add_true_outlines(const phantom& body, const std::vector<matrix16d>& frames, double sx, double sy, int every,
                       object_table& table)
{
    if (every < 1)
        return;
    int object = 0;
    const auto name = [](const char* kind, std::size_t i, std::size_t count) {
        return count > 1 ? wxString::Format("%s %zu", kind, i + 1) : wxString(kind);
    };
    for (std::size_t i = 0; i < body.ellipsoids.size() && object < object_table::size; ++i, ++object) {
        table[object].name = name("Ellipsoid", i, body.ellipsoids.size());
        for (std::size_t f = 0; f < frames.size(); f += static_cast<std::size_t>(every)) {
            contour c = ellipse_outline(section(body.ellipsoids[i], frames[f]), sx, sy);
            if (c.points.size() >= 3)
                table[object].insert(static_cast<std::int32_t>(f), std::move(c));
        }
    }
    for (std::size_t i = 0; i < body.tubes.size() && object < object_table::size; ++i, ++object) {
        table[object].name = name("Vessel", i, body.tubes.size());
        for (std::size_t f = 0; f < frames.size(); f += static_cast<std::size_t>(every)) {
            contour c = tube_outline(body.tubes[i], frames[f], sx, sy);
            if (c.points.size() >= 3)
                table[object].insert(static_cast<std::int32_t>(f), std::move(c));
        }
    }
}
