// The triangle mesh of one built surface, as plain data: what the surface
// interpolation fills, the 3D view draws and the surface files save and read.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/vertex.h"
#include "segmentation/outline_model.h"

// What smoothing may do with a point.
enum surface_point_kind_t : std::int32_t {
    SURF_POINT_ORDINARY = 0,
    SURF_POINT_ON_OUTLINE_PLANE = 1,  // lies on the plane of a drawn outline
    SURF_POINT_FIXED = 2,             // smoothing never moves it
};

struct surface_point_t {
    vertex3d position;  // world cm
    vertex3d normal;    // unit length, pointing out of the object
    surface_point_kind_t kind = SURF_POINT_ORDINARY;
};

struct surface_triangle_t {
    std::array<std::uint32_t, 3> points{};  // indices into surface_mesh_t::points
    // The side of its sequence the triangle was formed on (0 or 1), checked
    // against the sequence's direction by the volume; 2 always counts.
    std::int32_t tag = 2;
    bool operator==(const surface_triangle_t&) const = default;
};

struct surface_mesh_t {
    std::vector<surface_point_t> points;
    std::vector<surface_triangle_t> triangles;
    // One colour per point when the surface is coloured with the recorded
    // data; empty otherwise, and the object's colour is used.
    std::vector<rgb_t> colours;

    bool coloured() const { return !colours.empty() && colours.size() == points.size(); }
};

// One key for the edge between points a and b, whichever way it is walked.
inline std::uint64_t edge_key(std::uint32_t a, std::uint32_t b)
{
    return a < b ? (std::uint64_t{a} << 32) | b : (std::uint64_t{b} << 32) | a;
}
