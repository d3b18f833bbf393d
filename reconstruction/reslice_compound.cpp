#include "reslice_compound.h"

#include <algorithm>
#include <cmath>

namespace {

std::uint8_t running_average(std::uint8_t running, std::uint8_t next, unsigned seen)
{
    if (seen == 0 || running == 0)
        return next;
    const auto wn = static_cast<std::uint32_t>(65536.0 / (seen + 1) + 0.5);
    const std::uint32_t wo = 65536 - wn;
    const std::uint32_t f = (running * wo + next * wn + 32768) >> 16;
    return static_cast<std::uint8_t>(std::max<std::uint32_t>(1, f));
}

int doppler_rank(std::uint8_t v)
{
    return v >= 192 ? v - 64 : v;
}

int velocity(std::uint8_t v)
{
    if (v < 128)
        return 0;
    return v < 192 ? -(v - 127) : v - 192;
}

std::uint8_t velocity_code(long vel)
{
    vel = std::clamp(vel, -64L, 63L);
    return static_cast<std::uint8_t>(vel < 0 ? 127 - vel : 192 + vel);
}

}  // namespace

std::uint8_t compound_grey(reslice_compounding_t how, std::uint8_t running, std::uint8_t next, unsigned seen)
{
    if (next == 0)
        return running;
    switch (how) {
    case reslice_compounding_t::minimum:
        return (running == 0 || next < running) ? next : running;
    case reslice_compounding_t::average:
        return running_average(running, next, seen);
    case reslice_compounding_t::maximum:
    default:
        return std::max(running, next);
    }
}

std::uint8_t compound_doppler(reslice_compounding_t how, std::uint8_t running, std::uint8_t next, unsigned seen)
{
    if (next == 0)
        return running;
    if (running == 0)
        return next;
    switch (how) {
    case reslice_compounding_t::minimum:
        return doppler_rank(next) < doppler_rank(running) ? next : running;
    case reslice_compounding_t::average:
        if (running < 128 && next < 128)
            return running_average(running, next, seen);
        {
            const double j = seen == 0 ? 1.0 : static_cast<double>(seen);
            return velocity_code(std::lround((j * velocity(running) + velocity(next)) / (j + 1.0)));
        }
    case reslice_compounding_t::maximum:
    default:
        return doppler_rank(next) > doppler_rank(running) ? next : running;
    }
}
