// The time base of every image and position time stamp: unsigned 64-bit counts
// of 100 ns. It follows a monotonic clock, offset once to wall time when the
// clock is created, so adjusting the system clock mid-recording can neither
// make time run backwards nor jump.
#pragma once

#include <cstdint>

class timestamp {
public:
    timestamp();
    std::uint64_t hundred_ns_time() const;
    void hundred_ns_time(std::uint64_t* out) const { *out = hundred_ns_time(); }

    static std::uint64_t wall_clock_now();  // the system time-of-day clock, 100 ns units
    // A time of the monotonic clock (CLOCK_MONOTONIC, 100 ns units), as drivers
    // stamp their buffers, on this clock: exact, since both count the same ticks.
    std::uint64_t from_monotonic(std::int64_t monotonic) const
    {
        return static_cast<std::uint64_t>(monotonic + offset_);
    }

private:
    std::int64_t offset_;  // wall time minus monotonic time at creation, 100 ns units
};

extern timestamp* master_clock;
