// Pivot calibration of a tracked stylus: the tip offset against an
// independent linear least-squares solution of the same residuals, and the
// poses that cannot give one.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "calibration/pointer_calibration.h"
#include "common/matrix16d.h"

namespace {

// Poses of a stylus turning about its tip at `pivot` (world cm), the tip
// `tip` (cm) from the sensor in the sensor's frame; positions with noise.
std::vector<pointer_pose_t> pivoting(const vertex3d& tip, const vertex3d& pivot, int count, double noise_cm,
                                     std::uint32_t seed, double turn = 30.0)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> angle(-turn, turn);
    std::normal_distribution<double> jitter(0.0, noise_cm);
    std::vector<pointer_pose_t> poses;
    for (int i = 0; i < count; ++i) {
        const double az = 20.0 + angle(rng), el = -10.0 + angle(rng), roll = 35.0 + angle(rng);
        matrix16d r;
        r.forward(0, 0, 0, az, el, roll);
        const vertex3d turned = r * tip;
        poses.push_back({float(pivot.x - turned.x + jitter(rng)), float(pivot.y - turned.y + jitter(rng)),
                         float(pivot.z - turned.z + jitter(rng)), float(az), float(el), float(roll)});
    }
    return poses;
}

// The same residuals solved directly: (R_i - R_1) t = p_1 - p_i, by the normal
// equations in long double.
vertex3d linear_pivot(const std::vector<pointer_pose_t>& poses)
{
    long double a[3][3] = {}, b[3] = {};
    matrix16d first;
    first.forward(poses[0].data());
    for (std::size_t i = 1; i < poses.size(); ++i) {
        matrix16d m;
        m.forward(poses[i].data());
        long double d[3][3], rhs[3];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                d[r][c] = (long double)m[4 * c + r] - first[4 * c + r];
            rhs[r] = (long double)first[12 + r] - m[12 + r];
        }
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k)
                    a[r][c] += d[k][r] * d[k][c];
            for (int k = 0; k < 3; ++k)
                b[r] += d[k][r] * rhs[k];
        }
    }
    const auto det3 = [](long double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const long double det = det3(a);
    double out[3];
    for (int c = 0; c < 3; ++c) {
        long double s[3][3];
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                s[r][k] = k == c ? b[r] : a[r][k];
        out[c] = double(det3(s) / det);
    }
    return {out[0], out[1], out[2]};
}

TEST(PivotCalibration, TipAgreesWithTheLinearSolution)
{
    const vertex3d tip{0.42, -1.3, 15.7};
    for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        const std::vector<pointer_pose_t> poses = pivoting(tip, {12.0, -4.0, 30.0}, 40, 0.005, seed);
        const pivot_result_t r = solve_pivot(poses);
        ASSERT_TRUE(r.solved) << r.message;
        const vertex3d direct = linear_pivot(poses);
        // 0.001 mm is 1e-4 cm.
        EXPECT_NEAR(r.tip.x, direct.x, 1e-4);
        EXPECT_NEAR(r.tip.y, direct.y, 1e-4);
        EXPECT_NEAR(r.tip.z, direct.z, 1e-4);
        // And near the truth for 0.05 mm of noise (every residual is measured
        // from the first pose, so its noise is carried into the tip, magnified
        // by the narrowness of the turns).
        EXPECT_NEAR(r.tip.x, tip.x, 0.03);
        EXPECT_NEAR(r.tip.y, tip.y, 0.03);
        EXPECT_NEAR(r.tip.z, tip.z, 0.03);
        EXPECT_GT(r.rms, 0.0);
        EXPECT_LT(r.rms, 0.1);
        EXPECT_TRUE(r.message.StartsWith("Calibration: (")) << r.message;
        EXPECT_TRUE(r.message.Contains(" from   40 values\n")) << r.message;
        EXPECT_TRUE(r.message.EndsWith("convergence"));
    }
}

TEST(PivotCalibration, FourPosesAtLeastAndTheyMustTurn)
{
    const vertex3d tip{0.0, 0.0, 12.0};
    std::vector<pointer_pose_t> poses = pivoting(tip, {1.0, 2.0, 3.0}, 4, 0.01, 9);
    const std::vector<pointer_pose_t> three(poses.begin(), poses.begin() + 3);
    const pivot_result_t none = solve_pivot(three);
    EXPECT_FALSE(none.solved);
    EXPECT_TRUE(none.message.empty());
    EXPECT_TRUE(solve_pivot(poses).solved);

    // Held still: every pose the same.
    const std::vector<pointer_pose_t> still(10, poses.front());
    EXPECT_EQ(solve_pivot(still).message, "No new calibration\nPoints failed to converge");
    EXPECT_FALSE(solve_pivot(still).solved);
    // Turned about one axis only: the tip's place along it is unknown.
    std::vector<pointer_pose_t> spun;
    for (int i = 0; i < 12; ++i) {
        matrix16d r;
        r.forward(0, 0, 0, 30.0 * i, 0, 0);
        const vertex3d turned = r * tip;
        spun.push_back({float(5 - turned.x), float(6 - turned.y), float(7 - turned.z), float(30.0 * i), 0.0f, 0.0f});
    }
    EXPECT_EQ(solve_pivot(spun).message, "No new calibration\nPoints failed to converge");
    // A pose that is not a number.
    std::vector<pointer_pose_t> broken = poses;
    broken[2][4] = NAN;
    EXPECT_FALSE(solve_pivot(broken).solved);
}

TEST(PivotCalibration, AWanderingPointerIsNotACalibration)
{
    // Poses about a pivot that itself moves several centimetres.
    std::vector<pointer_pose_t> poses = pivoting({0.0, 0.0, 10.0}, {0.0, 0.0, 0.0}, 30, 0.0, 4);
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> drift(-3.0f, 3.0f);
    for (pointer_pose_t& p : poses)
        for (int k = 0; k < 3; ++k)
            p[std::size_t(k)] += drift(rng);
    const pivot_result_t r = solve_pivot(poses);
    EXPECT_FALSE(r.solved);
    EXPECT_TRUE(r.message.StartsWith("No new calibration\nRMS error ")) << r.message;
    EXPECT_TRUE(r.message.EndsWith("mm is too large"));
}

}  // namespace
