// Vector arithmetic on world points, shared by the reslicing and surface code.
#pragma once

#include <cmath>

#include "common/matrix16d.h"
#include "common/vertex.h"

inline vertex3d operator+(const vertex3d& a, const vertex3d& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline vertex3d operator-(const vertex3d& a, const vertex3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline vertex3d operator*(double k, const vertex3d& a)
{
    return {k * a.x, k * a.y, k * a.z};
}
inline double dot(const vertex3d& a, const vertex3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline vertex3d cross(const vertex3d& a, const vertex3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const vertex3d& a)
{
    return std::sqrt(dot(a, a));
}
// Column c (0 to 3) of a rigid matrix: an axis, or the translation for 3.
inline vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}
// The rigid matrix with these axes as its first three columns and `origin` as its translation.
inline matrix16d matrix_of_axes(const vertex3d& x, const vertex3d& y, const vertex3d& z, const vertex3d& origin)
{
    matrix16d m;
    const vertex3d axes[4] = {x, y, z, origin};
    for (int c = 0; c < 4; ++c) {
        m[4 * c] = axes[c].x;
        m[4 * c + 1] = axes[c].y;
        m[4 * c + 2] = axes[c].z;
    }
    return m;
}
// v turned about the unit axis a by `radians` (right-handed): Rodrigues' formula.
inline vertex3d rotate_about(const vertex3d& v, const vertex3d& a, double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    return c * v + s * cross(a, v) + ((1 - c) * dot(a, v)) * a;
}
// The angle (degrees) of the turn that takes the axes of rigid matrix a to b's.
inline double turn_between_degrees(const matrix16d& a, const matrix16d& b)
{
    const double trace =
        dot(column(a, 0), column(b, 0)) + dot(column(a, 1), column(b, 1)) + dot(column(a, 2), column(b, 2));
    const double c = 0.5 * (trace - 1.0);
    return std::acos(c < -1.0 ? -1.0 : c > 1.0 ? 1.0 : c) * 57.29577951308232;
}
