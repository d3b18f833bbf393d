// Small vector helpers for the planar outline geometry.
#pragma once

#include <cmath>

#include "common/vertex.h"

inline vertex2d operator-(const vertex2d& a, const vertex2d& b) { return {a.x - b.x, a.y - b.y}; }
inline vertex2d operator+(const vertex2d& a, const vertex2d& b) { return {a.x + b.x, a.y + b.y}; }
inline vertex2d operator*(double s, const vertex2d& a) { return {s * a.x, s * a.y}; }
inline double cross(const vertex2d& a, const vertex2d& b) { return a.x * b.y - a.y * b.x; }
inline double dot(const vertex2d& a, const vertex2d& b) { return a.x * b.x + a.y * b.y; }
inline double distance_squared(const vertex2d& a, const vertex2d& b) { return dot(a - b, a - b); }

// Distance from p to the segment ab, measured to a when the segment has no length.
double distance_to_segment(const vertex2d& p, const vertex2d& a, const vertex2d& b);
