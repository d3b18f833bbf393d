// Points in pixel, frame and world coordinates.
#pragma once

#include <cstdint>

struct vertex2d {  // pixel coordinates, x right, y down
    double x = 0.0, y = 0.0;
    bool operator==(const vertex2d&) const = default;
};

struct vertex3d {  // world coordinates in cm
    double x = 0.0, y = 0.0, z = 0.0;
    bool operator==(const vertex3d&) const = default;
};

struct vertex2s {  // 16-bit pixel coordinates
    std::int16_t x = 0, y = 0;
    bool operator==(const vertex2s&) const = default;
};

struct vertex3s {  // 16-bit pixel coordinates and frame number
    std::int16_t x = 0, y = 0, z = 0;
    bool operator==(const vertex3s&) const = default;
};
