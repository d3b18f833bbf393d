// The master clock stamps every frame and pose; it must never run backwards
// and must count 100 ns ticks of wall time.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "common/timestamp.h"

namespace {

TEST(MasterClock, NeverRunsBackwards)
{
    const timestamp clock;
    std::uint64_t last = clock.hundred_ns_time();
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t now = clock.hundred_ns_time();
        ASSERT_GE(now, last);
        last = now;
    }
}

TEST(MasterClock, CountsHundredNanosecondTicksOfWallTime)
{
    const timestamp clock;
    const std::uint64_t wall = timestamp::wall_clock_now();
    const std::uint64_t t0 = clock.hundred_ns_time();
    // Started at wall time: within a second of the system clock.
    EXPECT_LT(t0 > wall ? t0 - wall : wall - t0, 10000000u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::uint64_t t1;
    clock.hundred_ns_time(&t1);
    EXPECT_GE(t1 - t0, 500000u);  // at least 50 ms in 100 ns ticks
    EXPECT_LT(t1 - t0, 50000000u);
}

}  // namespace
