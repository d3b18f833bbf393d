// One reslice plane: its settings record and the mapping between reslice
// pixels and world coordinates (cm).
#pragma once

#include <cstdint>

#include "common/vertex.h"
#include "common/vertex_math.h"

enum class reslice_compounding_t : int { maximum = 0, minimum = 1, average = 2 };

inline constexpr long reslice_min_size = 1;
inline constexpr long reslice_max_size = 4096;

struct reslice_settings {
    vertex3d normal{0.0, 0.0, 1.0};
    vertex3d centre{};              // cm
    vertex3d up{0.0, 1.0, 0.0};     // cm; the image y axis points from the centre towards it
    std::int64_t width = 256, height = 256;
    double slice_half_thickness = 0.0;  // cm; 0 is a single plane
    double bscan_half_thickness = 0.0;  // cm given to each frame on either side
    reslice_compounding_t compounding = reslice_compounding_t::maximum;
    bool linear = true;
    std::int32_t surface = -1;  // the surface the reslice is cropped to; negative for none
    bool enabled = true;
};

bool finite(const vertex3d& a);
// Unit vector along a, or false (and *out untouched) when a is zero or not finite.
bool unit(const vertex3d& a, vertex3d* out);
// Some unit vector perpendicular to the unit vector n.
vertex3d any_perpendicular(const vertex3d& n);

// The whole part of a ratio of lengths (a count of pixels or spacings), where
// a ratio within a tiny relative tolerance of a whole number counts as that
// number: 0.58 / 0.02 is 28.999999999999996 in floating point, and a plain
// floor would lose the last slice or pixel to rounding.
double whole_steps(double ratio);

// Clamps a requested image size to what the buffers may hold.
long clamp_reslice_size(std::int64_t requested);

// The plane of a reslice with an orthonormal frame: x along e = u × n, y along
// u, z along n. Built from settings that may be degenerate: a zero or non-finite
// normal becomes +z, an up point on the centre or along the normal gets some
// perpendicular up direction, an up direction not perpendicular to the normal
// is made so, sizes are clamped and a bad pixel size becomes 0.01 cm.
class reslice_plane {
public:
    reslice_plane() : reslice_plane(reslice_settings{}, 0.01) {}
    reslice_plane(const reslice_settings& settings, double pixel_size);

    vertex3d reslice_to_world(double x, double y, double z) const;
    vertex3d world_to_reslice(const vertex3d& in) const;  // x, y in pixels, z in cm

    const vertex3d& normal() const { return n_; }
    const vertex3d& up_axis() const { return u_; }
    const vertex3d& x_axis() const { return e_; }
    const vertex3d& centre() const { return centre_; }
    long width() const { return width_; }
    long height() const { return height_; }
    double pixel_size() const { return s_; }
    // False when the settings needed mending.
    bool was_sound() const { return sound_; }

private:
    vertex3d n_, u_, e_, centre_, origin_;
    long width_ = 1, height_ = 1;
    double s_ = 0.01;
    bool sound_ = true;
};
