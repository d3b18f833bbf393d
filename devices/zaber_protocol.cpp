#include "devices/zaber_protocol.h"

#include <cmath>
#include <limits>

namespace zaber {

message_t encode(int device, int command, std::int32_t data)
{
    const auto u = static_cast<std::uint32_t>(data);  // two's complement, defined since C++20
    return {static_cast<unsigned char>(device),
            static_cast<unsigned char>(command),
            static_cast<unsigned char>(u & 0xFFu),
            static_cast<unsigned char>((u >> 8) & 0xFFu),
            static_cast<unsigned char>((u >> 16) & 0xFFu),
            static_cast<unsigned char>((u >> 24) & 0xFFu)};
}

std::optional<reply_t> decode(std::span<const unsigned char> record)
{
    if (record.size() != message_length)
        return std::nullopt;
    const std::uint32_t u = static_cast<std::uint32_t>(record[2]) | (static_cast<std::uint32_t>(record[3]) << 8) |
                            (static_cast<std::uint32_t>(record[4]) << 16) |
                            (static_cast<std::uint32_t>(record[5]) << 24);
    return reply_t{record[0], record[1], static_cast<std::int32_t>(u)};
}

std::optional<std::int32_t> to_data(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::round(value);  // half away from zero
    if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

}  // namespace zaber
