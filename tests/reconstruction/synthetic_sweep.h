// Frames made in the tests themselves: flat images placed by hand, so every
// reslice value has an answer worked out from geometry alone.
#pragma once

#include <cstdint>
#include <functional>

#include "common/cip.h"
#include "common/matrix16d.h"
#include "reconstruction/reslice_frames.h"

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

inline cip_t filled_image(long w, long h, std::uint8_t value)
{
    cip_t img = cip_t::make_8bit(w, h);
    for (std::size_t i = 0; i < img.pixel_count(); ++i)
        img.pixels()[i] = value;
    return img;
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
    reslice_source src;
    src.sx = src.sy = src.pixel_size = scale;
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
