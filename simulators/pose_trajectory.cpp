#include "simulators/pose_trajectory.h"

#include <array>
#include <cmath>

#include "demo/sweep.h"

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

pose_trajectory_t demo_phantom_path()
{
    const probe_setup probe = demo_probe(640, 480);
    // One way takes as long as the demo recording, 300 frames at 25 a second.
    constexpr double one_way_seconds = 12.0;
    return [probe](double seconds) {
        const double t = std::fmod(std::fabs(seconds) / one_way_seconds, 2.0);
        const std::array<double, 6> v = demo_sweep_pose(t <= 1.0 ? t : 2.0 - t, probe);
        sim_pose_t p;
        for (int k = 0; k < 6; ++k)
            p.v[k] = static_cast<float>(v[static_cast<std::size_t>(k)]);
        return p;
    };
}
