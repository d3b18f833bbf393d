#include "phantom.h"

#include <cmath>
#include <numbers>

namespace {

double dot(const vertex3d& a, const vertex3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

vertex3d minus(const vertex3d& a, const vertex3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}

// Shape coordinates scaled to the unit sphere: |q| <= 1 inside.
vertex3d unit_sphere_coords(const ellipsoid_shape& e, const matrix16d& frame, const vertex3d& d)
{
    return {dot(column(frame, 0), d) / e.semi[0], dot(column(frame, 1), d) / e.semi[1],
            dot(column(frame, 2), d) / e.semi[2]};
}

}  // namespace

matrix16d ellipsoid_shape::frame() const
{
    matrix16d m;
    m.forward(centre.x, centre.y, centre.z, az, el, roll);
    return m;
}

std::uint8_t ellipsoid_label(std::size_t index)
{
    return static_cast<std::uint8_t>(2 + index);
}

std::uint8_t tube_label(const phantom& p, std::size_t index)
{
    return static_cast<std::uint8_t>(2 + p.ellipsoids.size() + index);
}

bool inside(const ellipsoid_shape& e, const vertex3d& p)
{
    const vertex3d q = unit_sphere_coords(e, e.frame(), minus(p, e.centre));
    return dot(q, q) <= 1.0;
}

bool inside(const tube_shape& t, const vertex3d& p)
{
    const vertex3d axis = minus(t.end, t.start);
    const double length2 = dot(axis, axis);
    if (length2 <= 0.0)
        return false;
    const vertex3d d = minus(p, t.start);
    const double along = dot(d, axis);  // times the axis length
    if (along < 0.0 || along > length2)
        return false;
    return dot(d, d) - along * along / length2 <= t.radius * t.radius;
}

bool inside(const skin_layer& s, const vertex3d& p)
{
    const double n = std::sqrt(dot(s.normal, s.normal));
    if (n <= 0.0)
        return false;
    return std::abs(dot(minus(p, s.point), s.normal)) <= 0.5 * s.thickness * n;
}

double volume(const ellipsoid_shape& e)
{
    return 4.0 / 3.0 * std::numbers::pi * e.semi[0] * e.semi[1] * e.semi[2];
}

double volume(const tube_shape& t)
{
    const vertex3d axis = minus(t.end, t.start);
    return std::numbers::pi * t.radius * t.radius * std::sqrt(dot(axis, axis));
}

bool ellipse2d::contains(double x, double y) const
{
    if (!exists)
        return false;
    const double c = std::cos(angle), s = std::sin(angle);
    const double along = ((x - cx) * c + (y - cy) * s) / a;
    const double across = (-(x - cx) * s + (y - cy) * c) / b;
    return along * along + across * across <= 1.0;
}

double ellipse2d::area() const
{
    return exists ? std::numbers::pi * a * b : 0.0;
}

namespace {

// The ellipse |q0 + x a1 + y a2|^2 <= level of plane points (x, y): a
// quadratic form x'Gx + 2b'x + |q0|^2 <= level.
ellipse2d quadric_section(const vertex3d& q0, const vertex3d& a1, const vertex3d& a2, double level)
{
    const double g11 = dot(a1, a1), g12 = dot(a1, a2), g22 = dot(a2, a2);
    const double b1 = dot(q0, a1), b2 = dot(q0, a2);
    const double det = g11 * g22 - g12 * g12;
    ellipse2d out;
    if (!(det > 0.0))
        return out;
    const double cx = -(g22 * b1 - g12 * b2) / det;
    const double cy = -(g11 * b2 - g12 * b1) / det;
    const double rhs = level - dot(q0, q0) - (b1 * cx + b2 * cy);
    if (!(rhs > 0.0))
        return out;
    const double mean = 0.5 * (g11 + g22);
    const double spread = std::hypot(0.5 * (g11 - g22), g12);
    out.exists = true;
    out.cx = cx;
    out.cy = cy;
    out.a = std::sqrt(rhs / (mean - spread));
    out.b = std::sqrt(rhs / (mean + spread));
    // The larger eigenvalue's direction is the short axis; the long one is square to it.
    out.angle = 0.5 * std::atan2(2.0 * g12, g11 - g22) + 0.5 * std::numbers::pi;
    return out;
}

// d with its part along the unit vector u removed.
vertex3d across_axis(const vertex3d& d, const vertex3d& u)
{
    const double along = dot(d, u);
    return {d.x - along * u.x, d.y - along * u.y, d.z - along * u.z};
}

}  // namespace

ellipse2d section(const ellipsoid_shape& e, const matrix16d& plane)
{
    // In unit-sphere coordinates a plane point (x, y) is q0 + x*a1 + y*a2.
    const matrix16d f = e.frame();
    return quadric_section(unit_sphere_coords(e, f, minus(column(plane, 3), e.centre)),
                           unit_sphere_coords(e, f, column(plane, 0)), unit_sphere_coords(e, f, column(plane, 1)),
                           1.0);
}

ellipse2d section(const tube_shape& t, const matrix16d& plane)
{
    const vertex3d axis = minus(t.end, t.start);
    const double length = std::sqrt(dot(axis, axis));
    if (!(length > 0.0))
        return {};
    const vertex3d u{axis.x / length, axis.y / length, axis.z / length};
    return quadric_section(across_axis(minus(column(plane, 3), t.start), u), across_axis(column(plane, 0), u),
                           across_axis(column(plane, 1), u), t.radius * t.radius);
}

phantom demo_phantom()
{
    // Body coordinates: the sweep runs along x from -3 to 3 cm, y is across the
    // image, z goes into the body from the probe face at z = 0.
    phantom p;
    p.skin.point = {0.0, 0.0, 0.2};
    p.skin.normal = {0.0, 0.0, 1.0};
    ellipsoid_shape organ;
    organ.centre = {-0.8, -0.9, 2.2};
    organ.semi[0] = 1.0;
    organ.semi[1] = 0.6;
    organ.semi[2] = 0.5;
    organ.az = 25.0;
    organ.el = 10.0;
    organ.roll = -15.0;
    p.ellipsoids.push_back(organ);
    tube_shape vessel;
    vessel.start = {-2.0, 1.5, 1.5};
    vessel.end = {2.0, 0.7, 3.0};
    vessel.radius = 0.3;
    p.tubes.push_back(vessel);
    return p;
}
