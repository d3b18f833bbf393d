#include "reslice_turns.h"

namespace {

constexpr double radians_per_degree = 3.141592653589793 / 180.0;

}  // namespace

reslice_settings turned_plane(const reslice_settings& s, const vertex3d& axis, double degrees)
{
    vertex3d a;
    if (!unit(axis, &a) || !std::isfinite(degrees))
        return s;
    const reslice_plane plane(s, 0.01);  // any pixel size: only its axes are used
    const double rad = degrees * radians_per_degree;
    reslice_settings out = s;
    out.centre = plane.centre();
    out.normal = rotate_about(plane.normal(), a, rad);
    out.up = plane.centre() + rotate_about(plane.up_axis(), a, rad);
    return out;
}

reslice_settings moved_plane(const reslice_settings& s, double cm)
{
    if (!std::isfinite(cm))
        return s;
    const reslice_plane plane(s, 0.01);
    const vertex3d shift = cm * plane.normal();
    reslice_settings out = s;
    out.centre = plane.centre() + shift;
    out.up = plane.centre() + plane.up_axis() + shift;
    out.normal = plane.normal();
    return out;
}
