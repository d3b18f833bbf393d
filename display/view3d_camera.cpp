#include "view3d_camera.h"

#include <cmath>
#include <utility>

#include "common/vertex_math.h"

namespace {

constexpr double radians_per_degree = 3.141592653589793 / 180.0;

bool unit_of(const vertex3d& a, vertex3d* out)
{
    const double n = length(a);
    if (!std::isfinite(n) || n <= 0.0)
        return false;
    *out = (1.0 / n) * a;
    return true;
}

std::function<void()>& listener()
{
    static std::function<void()> l;
    return l;
}

}  // namespace

vertex3d view3d_camera_t::right() const
{
    return cross(forward, up);
}

view3d_camera_t view3d_camera_t::from_turns(double yaw_degrees, double pitch_degrees)
{
    // The rows of Rx(pitch) Rz(yaw) are the screen axes in world terms.
    const double c = std::cos(yaw_degrees * radians_per_degree), s = std::sin(yaw_degrees * radians_per_degree);
    const double cp = std::cos(pitch_degrees * radians_per_degree), sp = std::sin(pitch_degrees * radians_per_degree);
    view3d_camera_t camera;
    camera.up = {cp * s, cp * c, -sp};
    camera.forward = {-sp * s, -sp * c, -cp};
    return camera;
}

bool view3d_camera_t::orient(const vertex3d& f, const vertex3d& u)
{
    vertex3d nf, nu;
    if (!unit_of(f, &nf) || !unit_of(u - dot(u, nf) * nf, &nu))
        return false;
    // Parallel within rounding is parallel: the remainder is rounding noise.
    if (length(u - dot(u, nf) * nf) < 1e-9 * length(u))
        return false;
    forward = nf;
    up = nu;
    return true;
}

void view3d_camera_t::rotate(double degrees)
{
    forward = rotate_about(forward, up, degrees * radians_per_degree);
}

void view3d_camera_t::twist(double degrees)
{
    up = rotate_about(up, forward, degrees * radians_per_degree);
}

void view3d_camera_t::tilt(double degrees)
{
    const vertex3d axis = right();
    forward = rotate_about(forward, axis, degrees * radians_per_degree);
    up = rotate_about(up, axis, degrees * radians_per_degree);
}

view3d_camera_t& session_view3d_camera()
{
    static view3d_camera_t camera = view3d_camera_t::from_turns(120.0, -60.0);
    return camera;
}

void set_view3d_camera_listener(std::function<void()> l)
{
    listener() = std::move(l);
}

void view3d_camera_changed()
{
    if (listener())
        listener()();
}
