// Planes of frames and the node lines between them.
#include "surface_geometry.h"

namespace {

constexpr double parallel_tolerance = 1e-9;
constexpr double same_plane_cm = 1e-6;

vertex3d unit(const vertex3d& v)
{
    const double l = length(v);
    return l > 0.0 ? mul(v, 1.0 / l) : vertex3d{};
}

}  // namespace

plane_t plane_of(const matrix16d& m, double sx, double sy)
{
    plane_t p;
    p.origin = column(m, 3);
    p.ex = mul(column(m, 0), sx);
    p.ey = mul(column(m, 1), sy);
    p.normal = unit(cross(p.ex, p.ey));
    return p;
}

vertex2d pixel_of(const plane_t& plane, const vertex3d& p)
{
    const vertex3d d = sub(p, plane.origin);
    return {dot(d, plane.ex) / dot(plane.ex, plane.ex), dot(d, plane.ey) / dot(plane.ey, plane.ey)};
}

fibre_pixels_t fibre_pixels(const fibre_map_t& fibres, const plane_t& plane)
{
    const double xx = dot(plane.ex, plane.ex), yy = dot(plane.ey, plane.ey);
    const vertex3d d = sub(fibres.p, plane.origin);
    return {dot(d, plane.ex) / xx, dot(fibres.a, plane.ex) / xx, dot(fibres.b, plane.ex) / xx,
            dot(d, plane.ey) / yy, dot(fibres.a, plane.ey) / yy, dot(fibres.b, plane.ey) / yy};
}

bool coincident(const plane_t& a, const plane_t& b)
{
    return std::fabs(dot(a.normal, b.normal)) > 1.0 - parallel_tolerance &&
           std::fabs(dot(sub(b.origin, a.origin), a.normal)) < same_plane_cm;
}

fibre_map_t first_fibres(const plane_t& first) { return {first.origin, first.ex, first.ey}; }

bool carry_fibres(const fibre_map_t& on_from, const plane_t& from, const plane_t& to, fibre_map_t* on_to)
{
    const double facing = dot(from.normal, to.normal) < 0.0 ? -1.0 : 1.0;
    const vertex3d t = unit(add(from.normal, mul(to.normal, facing)));
    const double across = dot(t, to.normal);
    if (!(std::fabs(across) > 1e-6))
        return false;
    // Every point moves along t onto `to`: an affine map, so the lines stay a grid.
    on_to->p = add(on_from.p, mul(t, dot(sub(to.origin, on_from.p), to.normal) / across));
    on_to->a = sub(on_from.a, mul(t, dot(on_from.a, to.normal) / across));
    on_to->b = sub(on_from.b, mul(t, dot(on_from.b, to.normal) / across));
    return std::isfinite(length(on_to->p)) && std::isfinite(length(on_to->a)) && std::isfinite(length(on_to->b));
}

bool grid_position(const fibre_map_t& fibres, const plane_t& plane, const vertex2d& pixel, vertex2d* uv)
{
    // pixel = P0 + u Pa + v Pb in the plane's own pixels; solve for (u, v).
    const vertex2d p0 = pixel_of(plane, fibres.p);
    const vertex2d pa = pixel_of(plane, add(plane.origin, fibres.a));
    const vertex2d pb = pixel_of(plane, add(plane.origin, fibres.b));
    const double det = pa.x * pb.y - pa.y * pb.x;
    if (!(std::fabs(det) > 1e-9))
        return false;
    const double dx = pixel.x - p0.x, dy = pixel.y - p0.y;
    uv->x = (dx * pb.y - dy * pb.x) / det;
    uv->y = (pa.x * dy - pa.y * dx) / det;
    return std::isfinite(uv->x) && std::isfinite(uv->y);
}
