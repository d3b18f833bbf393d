// Waits for a condition with a deadline instead of sleeping a fixed time, so
// that a loaded machine slows a test down rather than failing it.
#pragma once

#include <chrono>
#include <thread>

// True once pred() holds; false if it still does not after limit.
template <typename pred_t>
bool wait_until(pred_t pred, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
