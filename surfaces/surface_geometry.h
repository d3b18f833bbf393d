// The planes of outlined frames in space and the node lines that surface
// building lays from one plane to the next. World coordinates in cm.
#pragma once

#include <cmath>

#include "common/matrix16d.h"
#include "common/vertex.h"
#include "common/vertex_math.h"

inline vertex3d add(const vertex3d& a, const vertex3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vertex3d sub(const vertex3d& a, const vertex3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vertex3d mul(const vertex3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline vertex3d lerp(const vertex3d& a, const vertex3d& b, double s) { return add(a, mul(sub(b, a), s)); }

// A frame's plane: pixel (x, y) lies at origin + x ex + y ey.
struct plane_t {
    vertex3d origin, ex, ey;  // ex and ey: world cm per pixel
    vertex3d normal;          // unit
    bool operator==(const plane_t&) const = default;
};

plane_t plane_of(const matrix16d& image_to_world, double sx, double sy);
vertex2d pixel_of(const plane_t& plane, const vertex3d& p);
// The same plane, whichever way the frames face: nothing lies between them.
bool coincident(const plane_t& a, const plane_t& b);

// The node lines where they cross one plane: grid position (u, v), in pixels
// of the first plane of the sequence, lies at p + u a + v b.
struct fibre_map_t {
    vertex3d p, a, b;
    vertex3d at(double u, double v) const { return add(p, add(mul(a, u), mul(b, v))); }
};

// Where the node lines cross a plane, in that plane's pixels: the node line
// of grid position (u, v) meets it at (x0 + xu u + xv v, y0 + yu u + yv v).
struct fibre_pixels_t {
    double x0 = 0.0, xu = 0.0, xv = 0.0, y0 = 0.0, yu = 0.0, yv = 0.0;
    vertex2d at(double u, double v) const { return {x0 + xu * u + xv * v, y0 + yu * u + yv * v}; }
};
// The same as pixel_of(plane, fibres.at(u, v)), worked out once for a plane
// rather than at every node.
fibre_pixels_t fibre_pixels(const fibre_map_t& fibres, const plane_t& plane);

fibre_map_t first_fibres(const plane_t& first);
// Carries the node lines from plane `from` on to plane `to`, along the mean
// of the two normals, which is never parallel to either plane. False when the
// planes face each other edge on.
bool carry_fibres(const fibre_map_t& on_from, const plane_t& from, const plane_t& to, fibre_map_t* on_to);
// The grid position whose node line crosses `plane` at pixel `pixel`; false
// when the node lines run along the plane.
bool grid_position(const fibre_map_t& fibres, const plane_t& plane, const vertex2d& pixel, vertex2d* uv);
