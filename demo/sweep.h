// The demo probe and its path: a linear probe whose image covers 6.4 x 4.8 cm
// whatever its pixel count, moved by hand about 6 cm along the body with a
// little tilt, twist and sideways drift. Everything is a fixed function of the
// frame count, so a recording can be rebuilt from its ground-truth file.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"

struct probe_setup {
    // Image plane (cm, origin at pixel 0,0) to sensor: x y z az el roll.
    std::array<double, 6> calibration{};
    double sx = 0.01, sy = 0.01;  // cm per pixel across and down
    long width = 640, height = 480;

    matrix16d calibration_matrix() const;
};

struct sweep_pose {
    counted_array_ptr<float> pose;  // sensor to tracker: x y z cm, az el roll degrees
    std::uint64_t time = 0;         // 100 ns ticks
};

inline constexpr double demo_image_width_cm = 6.4;
inline constexpr double demo_image_depth_cm = 4.8;
inline constexpr double demo_sweep_length_cm = 6.0;
inline constexpr std::uint64_t demo_first_time = 17092836000000000ULL;  // 2024-03-01 09:00 UTC
inline constexpr std::uint64_t demo_frame_ticks = 400000;               // 25 frames a second

probe_setup demo_probe(long width, long height);

// The sensor pose (x y z cm, azimuth elevation roll degrees) a fraction s
// (0 to 1) of the way along the demo sweep.
std::array<double, 6> demo_sweep_pose(double s, const probe_setup& probe);

// One pose per frame; empty when frames < 1.
std::vector<sweep_pose> demo_sweep(int frames, const probe_setup& probe);

// Image plane to world for a stored pose: Mpose * Mcal, so that pixel (u, v)
// lands at this matrix times (u * sx, v * sy, 0).
matrix16d image_to_world(const float* pose, const probe_setup& probe);
