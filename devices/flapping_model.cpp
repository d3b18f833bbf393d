#include "devices/flapping_model.h"

#include <algorithm>
#include <cmath>

namespace flap {

namespace {

constexpr double pi = 3.141592653589793;

matrix16d rotation_x(double degrees)
{
    const double a = degrees * pi / 180.0;
    matrix16d r;
    r[5] = std::cos(a);
    r[6] = std::sin(a);
    r[9] = -std::sin(a);
    r[10] = std::cos(a);
    return r;
}

matrix16d rotation_z(double degrees)
{
    const double a = degrees * pi / 180.0;
    matrix16d r;
    r[0] = std::cos(a);
    r[1] = std::sin(a);
    r[4] = -std::sin(a);
    r[5] = std::cos(a);
    return r;
}

matrix16d translation(double x, double y, double z)
{
    matrix16d t;
    t.forward(x, y, z);
    return t;
}

}  // namespace

double end_counts(long range_degrees)
{
    if (range_degrees <= 0)
        return 0.0;
    return std::min(static_cast<double>(range_degrees) / (2.0 * degrees_per_count), max_end);
}

sweep_plan_t plan_sweep(double end, long steps, double rate)
{
    sweep_plan_t plan;
    if (steps < 2 || !std::isfinite(rate) || rate <= 0.0 || !std::isfinite(end) || end <= 0.0)
        return plan;
    const double t = static_cast<double>(steps) / rate;  // the sweep's time
    double v = end / (4.0 * t);                          // 2R in t at 8·v counts a second
    if (v > start_speed) {
        // A trapezoid with ramps of v/acceleration that still ends in t.
        const double x = t * t - end / acceleration;
        if (x < 0.0)
            return plan;
        v = acceleration / 2.0 * (t - std::sqrt(x));
    }
    if (!(v > 0.0) || !std::isfinite(v))
        return plan;  // so slow (or so fast) that no speed is left
    plan.possible = true;
    plan.wanted = v;
    plan.capped = v > max_speed;
    plan.speed = std::min(v, max_speed);
    return plan;
}

double model_position(double e, double p0, double v)
{
    const double end = std::fabs(p0);
    if (!(e > 0.0) || !(v > 0.0) || end == 0.0 || !std::isfinite(e) || !std::isfinite(v))
        return p0;
    const double dir = p0 > 0.0 ? -1.0 : 1.0;
    const double dist = 2.0 * end;
    double d = 0.0;
    if (v <= start_speed) {
        const double tm = dist / (counts_per_speed * v);
        d = e < tm ? counts_per_speed * v * e : dist;
    } else {
        // The ramp cannot top a speed it has no room to reach: the peak of a triangle.
        v = std::min(v, std::sqrt(acceleration * dist / counts_per_speed));
        const double ta = v / acceleration;
        const double tm = dist / (counts_per_speed * v);
        const double half_a = counts_per_speed / 2.0 * acceleration;  // 4 × 120000
        if (e <= ta)
            d = half_a * e * e;
        else if (e <= tm)
            d = half_a * ta * ta + counts_per_speed * v * (e - ta);
        else if (e <= tm + ta)
            d = counts_per_speed * v * tm - half_a * (tm + ta - e) * (tm + ta - e);
        else
            d = dist;
    }
    return p0 + dir * std::min(d, dist);
}

bool sweep_transform(double position, long element, const sweep_geometry_t& g, matrix16d* w)
{
    if (!std::isfinite(position) || !std::isfinite(g.axis_depth) || !std::isfinite(g.elements.pitch))
        return false;
    // Without element geometry the probe has one line, element 0, on the axis.
    const long count = std::max(g.elements.count, 1L);
    if (element < -1 || element >= count)
        return false;
    const double tilt =
        element < 0 ? 0.0 : (static_cast<double>(element) - static_cast<double>(count - 1) / 2.0) * g.elements.pitch;
    const double d = g.axis_depth;
    *w = translation(0.0, -d, 0.0) * rotation_z(tilt) * rotation_x(position * degrees_per_count) * rotation_z(-tilt) *
         translation(0.0, d, 0.0);
    return true;
}

bool swept_pose(double position, long element, const sweep_geometry_t& g, const matrix16d& mcal, float* pose)
{
    if (pose == nullptr || !std::isfinite(position) || std::fabs(position) > max_end)
        return false;
    matrix16d w;
    if (!sweep_transform(position, element, g, &w))
        return false;
    for (int i = 0; i < 6; ++i)
        if (!std::isfinite(pose[i]))
            return false;
    matrix16d mpose;
    mpose.forward(pose);
    matrix16d mcal_inverse = mcal;
    mcal_inverse.invert();
    const matrix16d swept = mpose * mcal * w * mcal_inverse;
    double v[6];
    swept.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    for (int i = 0; i < 6; ++i)
        pose[i] = static_cast<float>(v[i]);
    return true;
}

}  // namespace flap
