// The tracker's measurement volume, published when a tracker is found so the
// display can draw where tools are seen.
#pragma once

#include <array>

struct sensor_volume_t {
    int kind = 0;            // 0 none, 1 Fastrak, 2 Ascension, 3 Polaris, 4 Liberty/Patriot
    double range = 0.0;      // nominal range (Fastrak, Ascension, Liberty/Patriot)
    double flag = 0.0;       // Fastrak: 1.0 for the short-range transmitter
    std::array<double, 10> shape{};  // Polaris volume shape parameters (mm)
    int shape_count = 0;     // how many of shape are set
};
