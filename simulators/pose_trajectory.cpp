#include "simulators/pose_trajectory.h"

#include <cmath>

sim_pose_t default_sweep(double seconds)
{
    constexpr double two_pi = 6.283185307179586;
    sim_pose_t p;
    p.v[0] = static_cast<float>(5.0 * std::sin(two_pi * seconds / 8.0));
    p.v[1] = 2.0f;
    p.v[2] = 30.0f;
    // Periods unrelated to the sweep's, so that a pose seldom repeats exactly.
    p.v[3] = static_cast<float>(15.0 * std::sin(two_pi * seconds / 13.0));
    p.v[4] = static_cast<float>(10.0 * std::sin(two_pi * seconds / 9.0));
    p.v[5] = static_cast<float>(8.0 * std::sin(two_pi * seconds / 7.0));
    return p;
}

pose_trajectory_t fixed_pose(const sim_pose_t& p)
{
    return [p](double) { return p; };
}
