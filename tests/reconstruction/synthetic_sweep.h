// Frames made in the tests themselves: flat images placed by hand, so every
// reslice value has an answer worked out from geometry alone.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "common/cip.h"
#include "common/matrix16d.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_internals.h"

// A frame whose image plane is z = z0 of the world (image x along world x,
// image y along world y, origin at (x0, y0, z0)); flipped frames face -z.
inline reslice_frame flat_frame(const cip_t& image, double x0, double y0, double z0, bool flipped = false)
{
    reslice_frame f;
    f.image = image;
    matrix16d m;
    // Roll 180 degrees turns the normal round; move the origin so pixel (0, 0) stays put.
    m.forward(x0, y0, z0, 0.0, 0.0, flipped ? 180.0 : 0.0);
    f.image_to_world = m;
    return f;
}

// An image whose pixel (u, v) is value(u, v).
inline cip_t painted_image(long w, long h, const std::function<std::uint8_t(long, long)>& value)
{
    cip_t img = cip_t::make_8bit(w, h);
    for (long v = 0; v < h; ++v)
        for (long u = 0; u < w; ++u)
            img.pixels()[v * w + u] = value(u, v);
    return img;
}

inline cip_t filled_image(long w, long h, std::uint8_t value)
{
    return painted_image(w, h, [value](long, long) { return value; });
}

// A source whose frame and reslice pixels are all s cm.
inline reslice_source source_of(double s, std::vector<reslice_frame> frames = {})
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = s;
    src.frames = std::move(frames);
    return src;
}

// A size x size plane through `centre`, its y axis along `up_dir`.
inline reslice_settings plane_at(const vertex3d& normal, const vertex3d& centre, long size, bool linear,
                                 double bscan_half, const vertex3d& up_dir = {0.0, 1.0, 0.0})
{
    reslice_settings s;
    s.normal = normal;
    s.centre = centre;
    s.up = centre + up_dir;
    s.width = s.height = size;
    s.linear = linear;
    s.bscan_half_thickness = bscan_half;
    return s;
}

inline reslice_internals built(const reslice_source& src, const reslice_settings& s)
{
    reslice_internals r;
    r.set_settings(s);
    EXPECT_TRUE(r.build_reslice(src));
    return r;
}

inline double polygon_area(const std::vector<vertex2d>& p)
{
    double a = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i)
        a += p[i].x * p[(i + 1) % p.size()].y - p[(i + 1) % p.size()].x * p[i].y;
    return std::fabs(a) / 2.0;
}

// Frames z = -1 .. 1 cm, 0.05 cm apart, 100 x 100 pixels of 0.02 cm, through a
// sphere of radius 0.7 cm at the origin: 200 inside, 50 outside.
namespace sphere {
constexpr long side = 100;
constexpr double scale = 0.02;
constexpr double spacing = 0.05;
constexpr double radius = 0.7;
}  // namespace sphere

inline reslice_source sphere_sweep()
{
    using namespace sphere;
    reslice_source src = source_of(scale);
    for (int k = 0; k <= 40; ++k) {
        const double z = -1.0 + k * spacing;
        const cip_t img = painted_image(side, side, [z](long u, long v) {
            const double x = -1.0 + u * scale, y = -1.0 + v * scale;
            return std::uint8_t(x * x + y * y + z * z < radius * radius ? 200 : 50);
        });
        src.frames.push_back(flat_frame(img, -1.0, -1.0, z));
    }
    return src;
}
