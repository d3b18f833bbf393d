#include "timestamp.h"

#include <chrono>

timestamp* master_clock = nullptr;

namespace {
std::int64_t steady_now()
{
    using namespace std::chrono;
    return duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

std::uint64_t timestamp::wall_clock_now()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<duration<std::int64_t, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch())
            .count());
}

timestamp::timestamp() : offset_(static_cast<std::int64_t>(wall_clock_now()) - steady_now()) {}

std::uint64_t timestamp::hundred_ns_time() const
{
    return static_cast<std::uint64_t>(steady_now() + offset_);
}
