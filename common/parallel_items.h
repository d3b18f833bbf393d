// Independent items of work shared among threads: each thread takes the next
// item in turn, so the order of finishing varies but every item's result,
// written to its own place, does not. The calling thread works too and is the
// only one to report progress (dialogs belong to it).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

// How many threads share the work: `threads`, or every core for 0 (1 to 64).
inline int parallel_workers(int threads)
{
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(threads > 0 ? threads : cores, 1, 64);
}

// Runs item(worker, i) for every i below count on parallel_workers(threads)
// threads (worker 0 is this one); after each of its own items this thread
// calls report(items done so far). An item or a report returning false stops
// the rest. True when every item ran.
inline bool run_items(std::size_t count, int threads, const std::function<bool(int worker, std::size_t i)>& item,
                      const std::function<bool(std::size_t done)>& report = {})
{
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    auto work = [&](int worker) {
        for (std::size_t i = next++; i < count && !stop; i = next++) {
            if (!item(worker, i)) {
                stop = true;
                return;
            }
            ++done;
            if (worker == 0 && report && !report(done))
                stop = true;
        }
    };
    if (report && !report(0))
        return false;
    std::vector<std::thread> helpers;
    for (int w = 1; w < parallel_workers(threads) && std::size_t(w) < count; ++w)
        helpers.emplace_back(work, w);
    work(0);
    for (std::thread& t : helpers)
        t.join();
    return !stop && done == count;
}
