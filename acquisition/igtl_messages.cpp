#include "igtl_messages.h"

#include <cmath>
#include <cstring>

#include <igtlImageMessage.h>
#include <igtlTransformMessage.h>

namespace {

constexpr double mm_per_cm = 10.0;
// LPS to RAS and back: the same diagonal.
constexpr double flip[3] = {-1.0, -1.0, 1.0};

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

igtl_bytes_t packed(igtl::MessageBase& message)
{
    message.Pack();
    const auto* p = static_cast<const unsigned char*>(message.GetPackPointer());
    return std::make_shared<const std::vector<unsigned char>>(p, p + message.GetPackSize());
}

}  // namespace

void igtl_time_stamp(std::uint64_t ticks, unsigned* seconds, unsigned* nanoseconds)
{
    *seconds = static_cast<unsigned>(ticks / 10000000u);
    *nanoseconds = static_cast<unsigned>(ticks % 10000000u) * 100u;
}

void world_to_igtl_matrix(const matrix16d& world, float (&m)[4][4])
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            m[r][c] = static_cast<float>(flip[r] * world[4 * c + r]);
        m[r][3] = static_cast<float>(flip[r] * world[12 + r] * mm_per_cm);
    }
    m[3][0] = m[3][1] = m[3][2] = 0.0f;
    m[3][3] = 1.0f;
}

matrix16d igtl_matrix_to_world(const float (&m)[4][4])
{
    matrix16d world;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            world[4 * c + r] = flip[r] * m[r][c];
        world[12 + r] = flip[r] * m[r][3] / mm_per_cm;
    }
    return world;
}

igtl_bytes_t pack_igtl_image(const std::string& device, const cip_t& frame, const matrix16d& image_to_world, double sx,
                             double sy, std::uint64_t ticks)
{
    if (frame.empty() || frame.width() > 65535 || frame.height() > 65535 || !finite(image_to_world) ||
        !std::isfinite(sx) || !std::isfinite(sy) || sx <= 0.0 || sy <= 0.0)
        return nullptr;
    const int w = static_cast<int>(frame.width()), h = static_cast<int>(frame.height());
    igtl::ImageMessage::Pointer message = igtl::ImageMessage::New();
    message->SetDeviceName(device.c_str());
    unsigned seconds = 0, nanoseconds = 0;
    igtl_time_stamp(ticks, &seconds, &nanoseconds);
    igtl::TimeStamp::Pointer stamp = igtl::TimeStamp::New();
    stamp->SetTime(seconds, nanoseconds);
    message->SetTimeStamp(stamp);
    message->SetDimensions(w, h, 1);
    message->SetSpacing(static_cast<float>(sx * mm_per_cm), static_cast<float>(sy * mm_per_cm), 1.0f);
    message->SetScalarTypeToUint8();
    message->SetCoordinateSystem(igtl::ImageMessage::COORDINATE_RAS);
    message->SetEndian(igtl::ImageMessage::ENDIAN_LITTLE);
    // The directions of the i, j and k indices (unit vectors; the spacing carries the lengths).
    float directions[3][3];
    for (int c = 0; c < 3; ++c) {
        const vertex3d a = axis(image_to_world, c);
        const double v[3] = {a.x, a.y, a.z};
        for (int r = 0; r < 3; ++r)
            directions[c][r] = static_cast<float>(flip[r] * v[r]);
    }
    message->SetNormals(directions[0], directions[1], directions[2]);
    const vertex3d centre = image_to_world * vertex3d{0.5 * (w - 1) * sx, 0.5 * (h - 1) * sy, 0.0};
    message->SetOrigin(static_cast<float>(flip[0] * centre.x * mm_per_cm),
                       static_cast<float>(flip[1] * centre.y * mm_per_cm), static_cast<float>(centre.z * mm_per_cm));
    message->AllocateScalars();
    std::memcpy(message->GetScalarPointer(), frame.pixels(), static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    return packed(*message);
}

igtl_bytes_t pack_igtl_transform(const std::string& device, const matrix16d& world, std::uint64_t ticks)
{
    if (!finite(world))
        return nullptr;
    igtl::TransformMessage::Pointer message = igtl::TransformMessage::New();
    message->SetDeviceName(device.c_str());
    unsigned seconds = 0, nanoseconds = 0;
    igtl_time_stamp(ticks, &seconds, &nanoseconds);
    igtl::TimeStamp::Pointer stamp = igtl::TimeStamp::New();
    stamp->SetTime(seconds, nanoseconds);
    message->SetTimeStamp(stamp);
    igtl::Matrix4x4 m;
    world_to_igtl_matrix(world, m);
    message->SetMatrix(m);
    return packed(*message);
}
