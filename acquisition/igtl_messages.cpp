#include "igtl_messages.h"

#include <cmath>
#include <cstring>

#include "igtl_wire.h"

namespace {

vertex3d axis(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}

bool finite(const matrix16d& m)
{
    for (double v : m.m)
        if (!std::isfinite(v))
            return false;
    return true;
}

}  // namespace

void igtl_time_stamp(std::uint64_t ticks, unsigned* seconds, unsigned* fraction)
{
    *seconds = static_cast<unsigned>(ticks / 10000000u);
    *fraction = static_cast<unsigned>(((ticks % 10000000u) << 32) / 10000000u);
}

void world_to_igtl_matrix(const matrix16d& world, float (&m)[4][4])
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            m[r][c] = static_cast<float>(igtl_lps_ras[r] * world[4 * c + r]);
        m[r][3] = static_cast<float>(igtl_lps_ras[r] * world[12 + r] * igtl_mm_per_cm);
    }
    m[3][0] = m[3][1] = m[3][2] = 0.0f;
    m[3][3] = 1.0f;
}

matrix16d igtl_matrix_to_world(const float (&m)[4][4])
{
    matrix16d world;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            world[4 * c + r] = igtl_lps_ras[r] * m[r][c];
        world[12 + r] = igtl_lps_ras[r] * m[r][3] / igtl_mm_per_cm;
    }
    return world;
}

igtl_bytes_t pack_igtl_image(const std::string& device, const cip_t& frame, const matrix16d& image_to_world, double sx,
                             double sy, std::uint64_t ticks)
{
    if (frame.empty() || frame.width() > 65535 || frame.height() > 65535 || !finite(image_to_world) ||
        !std::isfinite(sx) || !std::isfinite(sy) || sx <= 0.0 || sy <= 0.0)
        return nullptr;
    const std::size_t w = static_cast<std::size_t>(frame.width()), h = static_cast<std::size_t>(frame.height());
    unsigned seconds = 0, fraction = 0;
    igtl_time_stamp(ticks, &seconds, &fraction);
    auto message = start_igtl_message("IMAGE", device, seconds, fraction, igtl_image_header_size + w * h);
    unsigned char* at = message.data() + igtl_header_size;
    put_be16(at, 1);  // image header version
    *at++ = 1;        // one component
    *at++ = 3;        // unsigned 8-bit
    *at++ = 2;        // little-endian (one byte a pixel: either)
    *at++ = 1;        // RAS
    put_be16(at, static_cast<std::uint16_t>(w));
    put_be16(at, static_cast<std::uint16_t>(h));
    put_be16(at, 1);
    // The i, j and k axes, each as long as its spacing in mm, then the centre.
    const double spacing[3] = {sx * igtl_mm_per_cm, sy * igtl_mm_per_cm, 1.0};
    for (int c = 0; c < 3; ++c) {
        const vertex3d a = axis(image_to_world, c);
        const double v[3] = {a.x, a.y, a.z};
        for (int r = 0; r < 3; ++r)
            put_be32f(at, static_cast<float>(igtl_lps_ras[r] * v[r] * spacing[c]));
    }
    const vertex3d centre = image_to_world * vertex3d{0.5 * double(w - 1) * sx, 0.5 * double(h - 1) * sy, 0.0};
    put_be32f(at, static_cast<float>(igtl_lps_ras[0] * centre.x * igtl_mm_per_cm));
    put_be32f(at, static_cast<float>(igtl_lps_ras[1] * centre.y * igtl_mm_per_cm));
    put_be32f(at, static_cast<float>(centre.z * igtl_mm_per_cm));
    // The whole image: no sub-volume.
    for (std::uint16_t v :
         {std::uint16_t(0), std::uint16_t(0), std::uint16_t(0), std::uint16_t(w), std::uint16_t(h), std::uint16_t(1)})
        put_be16(at, v);
    std::memcpy(at, frame.pixels(), w * h);
    finish_igtl_message(message);
    return std::make_shared<const std::vector<unsigned char>>(std::move(message));
}

igtl_bytes_t pack_igtl_transform(const std::string& device, const matrix16d& world, std::uint64_t ticks)
{
    if (!finite(world))
        return nullptr;
    unsigned seconds = 0, fraction = 0;
    igtl_time_stamp(ticks, &seconds, &fraction);
    auto message = start_igtl_message("TRANSFORM", device, seconds, fraction, 48);
    unsigned char* at = message.data() + igtl_header_size;
    float m[4][4];
    world_to_igtl_matrix(world, m);
    for (int c = 0; c < 4; ++c)  // the upper three rows, column by column
        for (int r = 0; r < 3; ++r)
            put_be32f(at, m[r][c]);
    finish_igtl_message(message);
    return std::make_shared<const std::vector<unsigned char>>(std::move(message));
}
