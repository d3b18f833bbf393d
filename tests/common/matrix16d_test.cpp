// Pose matrices: every pixel placed in space goes through these, so forward,
// inverse and decompose must undo each other exactly, including at the poles.
#include <array>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "common/matrix16d.h"

namespace {

constexpr double tol = 1e-9;

void expect_same_matrix(const matrix16d& a, const matrix16d& b, double eps = tol)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], eps) << "element " << i;
}

// The pose m decomposes into, checked to rebuild m.
std::array<double, 6> decompose_and_rebuild(const matrix16d& m, double eps)
{
    std::array<double, 6> p{};
    m.decompose(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5]);
    matrix16d rebuilt;
    rebuilt.forward(p[0], p[1], p[2], p[3], p[4], p[5]);
    expect_same_matrix(rebuilt, m, eps);
    return p;
}

// The rotation columns written out for the pose convention T·Rz(az)·Ry(el)·Rx(roll).
TEST(Matrix16d, ForwardMatchesTheWrittenOutConvention)
{
    matrix16d m;
    m.forward(1.0, 2.0, 3.0, 30.0, 20.0, 10.0);
    const double d = 3.141592653589793 / 180.0;
    const double ca = std::cos(30 * d), sa = std::sin(30 * d), ce = std::cos(20 * d), se = std::sin(20 * d);
    const double cr = std::cos(10 * d), sr = std::sin(10 * d);
    const double expected[16] = {ca * ce, sa * ce, -se, 0,
                                 ca * se * sr - sa * cr, sa * se * sr + ca * cr, ce * sr, 0,
                                 ca * se * cr + sa * sr, sa * se * cr - ca * sr, ce * cr, 0,
                                 1, 2, 3, 1};
    expect_same_matrix(m, matrix16d(expected), 1e-15);
}

// Composition order: A·B applies B first, as Mpose·Mcal·pixel needs; the
// translation-only forms move and move back.
TEST(Matrix16d, ProductAppliesRightFactorFirst)
{
    matrix16d rot, shift, back;
    rot.forward(0, 0, 0, 90, 0, 0);  // x -> y
    shift.forward(1, 0, 0);
    const vertex3d p = (rot * shift) * vertex3d{0, 0, 0};
    EXPECT_NEAR(p.x, 0.0, tol);
    EXPECT_NEAR(p.y, 1.0, tol);
    const vertex3d q = (shift * rot) * vertex3d{1, 0, 0};
    EXPECT_NEAR(q.x, 1.0, tol);
    EXPECT_NEAR(q.y, 1.0, tol);
    shift.forward(1, -2, 3);
    back.inverse(1, -2, 3);
    EXPECT_EQ((shift * vertex3d{1, 1, 1}), (vertex3d{2, -1, 4}));
    EXPECT_EQ((back * vertex3d{2, -1, 4}), (vertex3d{1, 1, 1}));
}

// The z = 0 shortcut must give the same point as the full product.
TEST(Matrix16d, PointProductWithAndWithoutZ)
{
    matrix16d m;
    m.forward(4, -2, 7, 12, -33, 71);
    const vertex3d a = m * vertex3d{1.5, -2.5, 0.0};
    const vertex3d b = m * vertex3d{1.5, -2.5, 1e-300};
    EXPECT_NEAR(a.x, b.x, 1e-12);
    EXPECT_NEAR(a.y, b.y, 1e-12);
    EXPECT_NEAR(a.z, b.z, 1e-12);
    const vertex3d c = m * vertex3d{0, 0, 2};
    EXPECT_NEAR(c.x, 4 + 2 * m[8], 1e-12);
    EXPECT_NEAR(c.z, 7 + 2 * m[10], 1e-12);
}

class RandomPoses : public ::testing::Test {
protected:
    std::mt19937_64 rng{12345};
    std::uniform_real_distribution<double> angle{-179.9, 179.9};
    std::uniform_real_distribution<double> elevation{-89.9, 89.9};
    std::uniform_real_distribution<double> length{-100.0, 100.0};
};

// Inverse and invert undo forward, for double and float poses, and decompose
// recovers the pose.
TEST_F(RandomPoses, InverseUndoesForwardAndDecomposeRecoversThePose)
{
    const matrix16d identity;
    for (int i = 0; i < 2000; ++i) {
        const double x = length(rng), y = length(rng), z = length(rng);
        const double a = angle(rng), e = elevation(rng), r = angle(rng);
        matrix16d f, inv;
        f.forward(x, y, z, a, e, r);
        inv.inverse(x, y, z, a, e, r);
        expect_same_matrix(f * inv, identity, 1e-12);
        expect_same_matrix(inv * f, identity, 1e-12);
        matrix16d invert_copy = f;
        invert_copy.invert();
        expect_same_matrix(invert_copy, inv, 1e-12);
        const float pose[6] = {float(x), float(y), float(z), float(a), float(e), float(r)};
        matrix16d ff, fi;
        ff.forward(pose);
        fi.inverse(pose);
        expect_same_matrix(ff * fi, identity, 1e-12);

        double dx, dy, dz, da, de, dr;
        f.decompose(&dx, &dy, &dz, &da, &de, &dr);
        EXPECT_EQ(dx, x);
        EXPECT_EQ(dy, y);
        EXPECT_EQ(dz, z);
        EXPECT_NEAR(da, a, 1e-6);
        EXPECT_NEAR(de, e, 1e-6);
        EXPECT_NEAR(dr, r, 1e-6);
    }
}

// Any rigid matrix, however built, decomposes into a pose that rebuilds it.
TEST_F(RandomPoses, DecomposeOfProductsRebuildsTheMatrix)
{
    for (int i = 0; i < 1000; ++i) {
        matrix16d a, b;
        a.forward(length(rng), length(rng), length(rng), angle(rng), elevation(rng), angle(rng));
        b.inverse(length(rng), length(rng), length(rng), angle(rng), elevation(rng), angle(rng));
        const auto p = decompose_and_rebuild(a * b, 1e-7);
        EXPECT_TRUE(p[3] >= -180.0 && p[3] <= 180.0 && p[5] >= -180.0 && p[5] <= 180.0) << p[3] << " " << p[5];
    }
}

// At ±90° elevation azimuth and roll are not separable: azimuth becomes 0 and
// the rotation is carried by roll. Just inside the pole threshold the general
// branch is used and stays finite; half turns sit on the clamping edges of acos.
TEST(Matrix16d, DecomposeAtThePolesAndHalfTurns)
{
    for (double el : {90.0, -90.0})
        for (double az : {-150.0, -30.0, 0.0, 45.0, 170.0})
            for (double roll : {-120.0, -10.0, 0.0, 60.0, 179.0}) {
                matrix16d m;
                m.forward(1, 2, 3, az, el, roll);
                const auto p = decompose_and_rebuild(m, 1e-7);
                EXPECT_EQ(p[4], el);
                EXPECT_EQ(p[3], 0.0);
            }
    for (double el : {89.99, -89.99, 89.9999, -89.9999}) {
        matrix16d m;
        m.forward(0, 0, 0, 35, el, -20);
        for (double v : decompose_and_rebuild(m, 1e-5))
            EXPECT_TRUE(std::isfinite(v)) << el;
    }
    matrix16d m;
    m.forward(0, 0, 0, 180, 0, 180);
    const auto p = decompose_and_rebuild(m, 1e-9);
    EXPECT_NEAR(std::fabs(p[3]), 180.0, 1e-9);
    EXPECT_NEAR(p[4], 0.0, 1e-9);
    EXPECT_NEAR(std::fabs(p[5]), 180.0, 1e-9);
}

}  // namespace
