#include "simulators/pose_trajectory.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "demo/sweep.h"
#include "demo/water_bath.h"

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

pose_trajectory_t water_bath_path(std::uint64_t seed, double celsius)
{
    const water_bath_t bath = make_water_bath(seed, celsius);
    // The level pose: the floor nearly flat across the image, half way down.
    std::array<float, 6> level = water_bath_poses(bath, 1, seed)[0];
    double flattest = 1e9;
    for (const auto& p : water_bath_poses(bath, 300, seed + 7)) {
        const double left = floor_row(bath, p.data(), 0),
                     right = floor_row(bath, p.data(), double(bath.probe.width - 1));
        const double badness =
            std::fabs(left - right) + std::fabs(0.5 * (left + right) - 0.5 * double(bath.probe.height));
        if (badness < flattest) {
            flattest = badness;
            level = p;
        }
    }
    const std::vector<std::array<float, 6>> turned = water_bath_poses(bath, 20, seed + 1);
    constexpr double still = 3.0, moving = 8.0, hold = 1.5;
    return [level, turned](double seconds) {
        const double t = std::fmod(std::fabs(seconds), still + moving + hold * double(turned.size()));
        sim_pose_t p;
        std::copy(level.begin(), level.end(), p.v);
        if (t < still)
            return p;
        if (t < still + moving) {
            // 1.6 cm up and down at 0.8 Hz: the floor moves some 170 rows and back.
            p.v[2] += static_cast<float>(1.6 * std::sin(2.0 * std::numbers::pi * 0.8 * (t - still)));
            return p;
        }
        const auto& q = turned[std::min(turned.size() - 1, std::size_t((t - still - moving) / hold))];
        std::copy(q.begin(), q.end(), p.v);
        return p;
    };
}
