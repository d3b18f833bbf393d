// Vector arithmetic on world points, shared by the reslicing and surface code.
#pragma once

#include <cmath>

#include "common/vertex.h"

inline vertex3d operator+(const vertex3d& a, const vertex3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vertex3d operator-(const vertex3d& a, const vertex3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vertex3d operator*(double k, const vertex3d& a) { return {k * a.x, k * a.y, k * a.z}; }
inline double dot(const vertex3d& a, const vertex3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vertex3d cross(const vertex3d& a, const vertex3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const vertex3d& a) { return std::sqrt(dot(a, a)); }
