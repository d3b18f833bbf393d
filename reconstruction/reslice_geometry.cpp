#include "reslice_geometry.h"

#include <algorithm>
#include <cmath>

bool finite(const vertex3d& a)
{
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

bool unit(const vertex3d& a, vertex3d* out)
{
    if (!finite(a))
        return false;
    const double len = length(a);
    // Tiny lengths give directions dominated by rounding.
    if (!(len > 1e-12) || !std::isfinite(len))
        return false;
    *out = (1.0 / len) * a;
    return true;
}

vertex3d any_perpendicular(const vertex3d& n)
{
    // Cross with the world axis least aligned with n, so the result is never small.
    const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    const vertex3d axis = (ax <= ay && ax <= az) ? vertex3d{1, 0, 0} : (ay <= az ? vertex3d{0, 1, 0} : vertex3d{0, 0, 1});
    vertex3d p;
    unit(cross(n, axis), &p);
    return p;
}

double whole_steps(double ratio)
{
    const double nearest = std::round(ratio);
    if (std::fabs(ratio - nearest) <= 1e-9 * std::max(1.0, std::fabs(nearest)))
        return nearest;
    return std::floor(ratio);
}

long clamp_reslice_size(std::int64_t requested)
{
    return static_cast<long>(std::clamp<std::int64_t>(requested, reslice_min_size, reslice_max_size));
}

reslice_plane::reslice_plane(const reslice_settings& settings, double pixel_size)
{
    if (std::isfinite(pixel_size) && pixel_size > 0.0) {
        s_ = pixel_size;
    } else {
        s_ = 0.01;
        sound_ = false;
    }
    width_ = clamp_reslice_size(settings.width);
    height_ = clamp_reslice_size(settings.height);
    sound_ = sound_ && width_ == settings.width && height_ == settings.height;

    centre_ = settings.centre;
    if (!finite(centre_)) {
        centre_ = {};
        sound_ = false;
    }
    if (!unit(settings.normal, &n_)) {
        n_ = {0.0, 0.0, 1.0};
        sound_ = false;
    }
    // Keep only the part of the up direction across the normal.
    const vertex3d towards_up = finite(settings.up) ? settings.up - centre_ : vertex3d{};
    const vertex3d across = towards_up - dot(towards_up, n_) * n_;
    if (!unit(across, &u_) || length(across) < 1e-9 * std::max(1.0, length(towards_up))) {
        u_ = any_perpendicular(n_);
        sound_ = false;
    }
    e_ = cross(u_, n_);
    origin_ = centre_ - (0.5 * width_ * s_) * e_ - (0.5 * height_ * s_) * u_;
}

vertex3d reslice_plane::reslice_to_world(double x, double y, double z) const
{
    return origin_ + (x * s_) * e_ + (y * s_) * u_ + z * n_;
}

vertex3d reslice_plane::world_to_reslice(const vertex3d& in) const
{
    const vertex3d d = in - origin_;
    return {dot(d, e_) / s_, dot(d, u_) / s_, dot(d, n_)};
}
