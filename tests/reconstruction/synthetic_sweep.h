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
