// The memory of this process as the kernel counts it, for benchmarks that
// measure a peak in a fresh child process.
#pragma once

#include <fstream>
#include <string>

inline long status_kb(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return 0;
}

inline long peak_rss_kb() { return status_kb("VmHWM:"); }
inline long current_rss_kb() { return status_kb("VmRSS:"); }
