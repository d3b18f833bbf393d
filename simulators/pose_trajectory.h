// The path a simulated tool follows: a pose for every moment. The default
// is a slow, smooth sweep like a probe moved over skin.
#pragma once

#include <cstdint>
#include <functional>

struct sim_pose_t {
    float v[6] = {};  // x, y, z (cm), azimuth, elevation, roll (degrees)
};

using pose_trajectory_t = std::function<sim_pose_t(double seconds)>;

// A back-and-forth sweep of 10 cm along x every 8 s, with gentle tilts.
sim_pose_t default_sweep(double seconds);
// The same pose at all times.
pose_trajectory_t fixed_pose(const sim_pose_t& p);
// Back and forth along the demo recording's sweep over the demo phantom, one
// way in 12 s, as the probe's sensor (with the demo probe's calibration).
pose_trajectory_t demo_phantom_path();
// Over a water bath (make-calib-demo's bath of this seed and temperature), in
// a 41 s loop: held still and level for 3 s, moved up and down for 8 s (for
// temporal calibration), then held for 1.5 s at each of 20 turned poses
// that see the floor (for lines to accept).
pose_trajectory_t water_bath_path(std::uint64_t seed, double celsius);
