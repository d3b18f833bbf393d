#include "matrix16d.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {
constexpr double deg_to_rad = 3.141592653589793 / 180.0;
constexpr double rad_to_deg = 57.29577951308232;
constexpr double pole_limit = 0.99999999;

// acos of a ratio that rounding may push just outside [-1, 1].
double clamped_acos(double r)
{
    if (r <= -1.0)
        return 3.141592653589793;
    if (r >= 1.0)
        return 0.0;
    return std::acos(r);
}
}  // namespace

matrix16d::matrix16d(const double* values)
{
    std::memcpy(m, values, sizeof m);
}

void matrix16d::zero()
{
    for (double& v : m)
        v = 0.0;
}

void matrix16d::identity()
{
    zero();
    m[0] = m[5] = m[10] = m[15] = 1.0;
}

void matrix16d::forward(double x, double y, double z)
{
    identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void matrix16d::forward(double x, double y, double z, double az, double el, double roll)
{
    const double a = az * deg_to_rad, e = el * deg_to_rad, r = roll * deg_to_rad;
    const double ca = std::cos(a), sa = std::sin(a);
    const double ce = std::cos(e), se = std::sin(e);
    const double cr = std::cos(r), sr = std::sin(r);
    m[0] = ca * ce;
    m[1] = sa * ce;
    m[2] = -se;
    m[3] = 0.0;
    m[4] = ca * se * sr - sa * cr;
    m[5] = sa * se * sr + ca * cr;
    m[6] = ce * sr;
    m[7] = 0.0;
    m[8] = ca * se * cr + sa * sr;
    m[9] = sa * se * cr - ca * sr;
    m[10] = ce * cr;
    m[11] = 0.0;
    m[12] = x;
    m[13] = y;
    m[14] = z;
    m[15] = 1.0;
}

void matrix16d::forward(const float* p)
{
    forward(p[0], p[1], p[2], p[3], p[4], p[5]);
}

void matrix16d::inverse(double x, double y, double z)
{
    forward(-x, -y, -z);
}

void matrix16d::inverse(double x, double y, double z, double az, double el, double roll)
{
    forward(x, y, z, az, el, roll);
    invert();
}

void matrix16d::inverse(const float* p)
{
    inverse(p[0], p[1], p[2], p[3], p[4], p[5]);
}

void matrix16d::invert()
{
    // Transpose the rotation, then translation = -R^T t.
    const double t[3] = {m[12], m[13], m[14]};
    std::swap(m[1], m[4]);
    std::swap(m[2], m[8]);
    std::swap(m[6], m[9]);
    for (int row = 0; row < 3; ++row)
        m[12 + row] = -(m[row] * t[0] + m[4 + row] * t[1] + m[8 + row] * t[2]);
}

void matrix16d::decompose(double* x, double* y, double* z, double* az, double* el, double* roll) const
{
    *x = m[12];
    *y = m[13];
    *z = m[14];
    double a, e, r;
    if (m[2] < -pole_limit) {
        e = 90.0 / rad_to_deg;
        a = 0.0;
        r = clamped_acos(m[8]);
        if ((std::sin(r) > 0.0) != (m[4] > 0.0))
            r = -r;
    } else if (m[2] > pole_limit) {
        e = -90.0 / rad_to_deg;
        a = 0.0;
        r = clamped_acos(m[5]);
        if ((std::sin(r) < 0.0) != (m[4] > 0.0))
            r = -r;
    } else {
        e = std::asin(-m[2]);
        const double ce = std::cos(e);
        a = clamped_acos(m[0] / ce);
        if ((std::sin(a) * ce > 0.0) != (m[1] > 0.0))
            a = -a;
        r = clamped_acos(m[10] / ce);
        if ((ce * std::sin(r) > 0.0) != (m[6] > 0.0))
            r = -r;
    }
    *az = a * rad_to_deg;
    *el = e * rad_to_deg;
    *roll = r * rad_to_deg;
}

matrix16d matrix16d::operator*(const matrix16d& b) const
{
    matrix16d c;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row)
            c.m[4 * col + row] = m[row] * b.m[4 * col] + m[4 + row] * b.m[4 * col + 1] +
                                 m[8 + row] * b.m[4 * col + 2] + m[12 + row] * b.m[4 * col + 3];
    return c;
}

vertex3d operator*(const matrix16d& a, const vertex3d& v)
{
    const double* m = a.m;
    vertex3d r{m[0] * v.x + m[4] * v.y + m[12], m[1] * v.x + m[5] * v.y + m[13], m[2] * v.x + m[6] * v.y + m[14]};
    if (v.z != 0.0) {
        r.x += m[8] * v.z;
        r.y += m[9] * v.z;
        r.z += m[10] * v.z;
    }
    return r;
}
