// Isocentre calibration from fiducials touched at the middles of a phantom's
// faces: a known pose recovered with every fiducial or one missing, and the
// cases that must not give a pose.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "calibration/isocentre_calibration.h"
#include "common/vertex_math.h"

namespace {

using fiducials_t = std::array<std::optional<vertex3d>, 5>;

// The world points of the face middles for an isocentre pose, touched with
// up to `noise_cm` of error; `mirror` flips the phantom left to right.
fiducials_t touch_faces(const std::array<double, 6>& pose, double noise_cm, std::uint64_t seed, bool mirror = false)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, noise_cm);
    matrix16d to_world;
    to_world.inverse(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    fiducials_t out;
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& f = isocentre_face_middles[i];
        const vertex3d local{(mirror ? -1 : 1) * f[0] + noise(rng), f[1] + noise(rng), f[2] + noise(rng)};
        out[i] = to_world * local;
    }
    return out;
}

// The isocentre frame's origin and axes in the world, as the Isocentre view
// places its plane.
matrix16d isocentre_frame(const std::array<double, 6>& pose)
{
    matrix16d m;
    m.inverse(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    return m;
}

TEST(IsocentreCalibration, FindsThePhantomsPose)
{
    const std::array<std::array<double, 6>, 3> poses = {
        {{12, -30, 95, 35, -20, 110}, {-150, 40, 20, -120, 60, -45}, {0.5, 2, -3, 5, 3, -2}}};
    // Touched exactly with every fiducial or one missing, and with 0.2 mm of
    // error: the pose within a hundredth of a millimetre, then within a
    // millimetre.
    std::uint64_t seed = 1;
    for (const double noise : {0.0, 0.02})
        for (const auto& truth : poses)
            for (int missing = -1; missing < 5; ++missing, ++seed) {
                const double tolerance = noise == 0.0 ? 1e-3 : 0.1;
                fiducials_t f = touch_faces(truth, noise, seed);
                if (missing >= 0)
                    f[std::size_t(missing)].reset();
                const isocentre_result_t r = solve_isocentre(f, seed);
                ASSERT_TRUE(r.solved) << "missing " << missing << ": " << r.message;
                const matrix16d want = isocentre_frame(truth), got = isocentre_frame(r.pose);
                EXPECT_LT(length(column(want, 3) - column(got, 3)), tolerance) << "missing " << missing;
                for (int c = 0; c < 3; ++c)
                    EXPECT_GT(dot(column(want, c), column(got, c)), std::cos(tolerance * 5 * M_PI / 180))
                        << "axis " << c;
                EXPECT_LT(r.rms, 2 * noise + 1e-4);
                EXPECT_TRUE(r.message.StartsWith("Calibration: (")) << r.message;
                EXPECT_TRUE(r.message.Contains(" mm\nRMS Error ")) << r.message;
                EXPECT_TRUE(r.message.EndsWith("convergence")) << r.message;
            }
}

TEST(IsocentreCalibration, WhatMustNotGiveAPose)
{
    const std::array<double, 6> truth{12, -30, 95, 35, -20, 110};
    // Three fiducials: the solve does not start.
    fiducials_t three = touch_faces(truth, 0.02, 1);
    three[0].reset();
    three[4].reset();
    const isocentre_result_t not_started = solve_isocentre(three, 1);
    EXPECT_FALSE(not_started.started);
    EXPECT_FALSE(not_started.solved);
    EXPECT_TRUE(not_started.message.empty());
    // A phantom touched as if it were left-handed (the left and right buttons
    // swapped): no pose puts every fiducial on its side.
    const isocentre_result_t mirrored = solve_isocentre(touch_faces(truth, 0.0, 2, true), 2);
    EXPECT_TRUE(mirrored.started);
    EXPECT_FALSE(mirrored.solved);
    EXPECT_TRUE(mirrored.gave_up);
    EXPECT_EQ(mirrored.message, "No new calibration\nPoints failed to converge");
    // A fiducial that is not a number counts as missing.
    fiducials_t broken = touch_faces(truth, 0.02, 3);
    broken[1] = vertex3d{NAN, 0, 0};
    broken[2].reset();
    EXPECT_FALSE(solve_isocentre(broken, 3).started);
}

}  // namespace
