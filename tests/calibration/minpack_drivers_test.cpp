// The MINPACK drivers: what they refuse, and that they find a least-squares
// minimum whose answer is known in closed form, with its covariance.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "calibration/minpack_drivers.h"

namespace {

// A straight line through points with a fixed, uneven scatter.
struct line_data_t {
    std::vector<double> t, y;
    line_data_t()
    {
        for (int i = 0; i < 12; ++i) {
            t.push_back(0.5 * i);
            y.push_back(1.7 - 0.3 * t.back() + 0.05 * std::sin(3.7 * i));
        }
    }
    // Intercept and slope by the normal equations, and their covariance.
    void closed_form(double* a, double* b, double cov[4]) const
    {
        long double st = 0, sy = 0, stt = 0, sty = 0;
        const long double n = t.size();
        for (std::size_t i = 0; i < t.size(); ++i) {
            st += t[i];
            sy += y[i];
            stt += t[i] * t[i];
            sty += t[i] * y[i];
        }
        const long double det = n * stt - st * st;
        *b = double((n * sty - st * sy) / det);
        *a = double((sy - *b * st) / n);
        long double rss = 0;
        for (std::size_t i = 0; i < t.size(); ++i)
            rss += (*a + *b * t[i] - y[i]) * (*a + *b * t[i] - y[i]);
        const long double s2 = rss / (n - 2);
        cov[0] = double(s2 * stt / det);
        cov[1] = cov[2] = double(-s2 * st / det);
        cov[3] = double(s2 * n / det);
    }
};

TEST(MinpackDrivers, ImproperInputIsRefusedWithoutACall)
{
    int calls = 0;
    const lmder_function der = [&](int, int, const double*, double*, double*, int, int) { return ++calls, 0; };
    const lmdif_function dif = [&](int, int, const double*, double*, int) { return ++calls, 0; };
    std::vector<double> x(3, 0.5), f(5), jac(15);
    std::vector<int> ipvt(3);
    EXPECT_EQ(ks_lmder(der, 5, 0, x, f, jac, 5, 1e-8, ipvt), 0);   // no parameters
    EXPECT_EQ(ks_lmder(der, 2, 3, x, f, jac, 5, 1e-8, ipvt), 0);   // fewer residuals than parameters
    EXPECT_EQ(ks_lmder(der, 5, 3, x, f, jac, 4, 1e-8, ipvt), 0);   // ldfjac < m
    EXPECT_EQ(ks_lmder(der, 5, 3, x, f, jac, 5, -1.0, ipvt), 0);   // negative tolerance
    EXPECT_EQ(ks_lmder(der, 5, 3, x, f, jac, 5, NAN, ipvt), 0);
    EXPECT_EQ(ks_lmder(der, 6, 3, x, f, jac, 6, 1e-8, ipvt), 0);   // buffers shorter than the sizes
    EXPECT_EQ(ks_lmdif(dif, 2, 3, x, f, 1e-8), 0);
    EXPECT_EQ(ks_lmdif(dif, 5, 3, x, f, -1.0), 0);
    EXPECT_EQ(ks_lmdif(dif, 5, 4, x, f, 1e-8), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(x, std::vector<double>(3, 0.5));
}

TEST(MinpackDrivers, BothDriversFindTheClosedFormMinimum)
{
    const line_data_t d;
    double a = 0, b = 0, cov[4];
    d.closed_form(&a, &b, cov);
    const int m = int(d.t.size());
    const lmder_function der = [&](int, int, const double* x, double* f, double* jac, int ld, int iflag) {
        for (int i = 0; i < m; ++i) {
            if (iflag == 1)
                f[i] = x[0] + x[1] * d.t[i] - d.y[i];
            else {
                jac[i] = 1.0;
                jac[ld + i] = d.t[i];
            }
        }
        return 0;
    };
    std::vector<double> x{0.0, 0.0}, f(m), jac(2 * m);
    std::vector<int> ipvt(2);
    const int info = ks_lmder(der, m, 2, x, f, jac, m, std::sqrt(minpack_epsilon()), ipvt);
    EXPECT_GE(info, 1);
    EXPECT_LE(info, 4);
    EXPECT_NEAR(x[0], a, 1e-9);
    EXPECT_NEAR(x[1], b, 1e-9);

    const lmdif_function dif = [&](int, int, const double* p, double* r, int) {
        for (int i = 0; i < m; ++i)
            r[i] = p[0] + p[1] * d.t[i] - d.y[i];
        return 0;
    };
    std::vector<double> y{0.0, 0.0}, g(m), covariance;
    const int info2 = ks_lmdif(dif, m, 2, y, g, 1e-10, &covariance);
    EXPECT_GE(info2, 1);
    EXPECT_LE(info2, 4);
    EXPECT_NEAR(y[0], a, 1e-7);
    EXPECT_NEAR(y[1], b, 1e-7);
    ASSERT_EQ(covariance.size(), 4u);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(covariance[std::size_t(k)], cov[k], 1e-6 * std::fabs(cov[3]));

    // As many residuals as parameters: a solution, but no covariance.
    std::vector<double> z{0.0, 0.0}, h(2);
    const lmdif_function two = [&](int, int, const double* p, double* r, int) {
        r[0] = p[0] - 1.0;
        r[1] = p[1] + 2.0 + 0.1 * p[0] * p[0];
        return 0;
    };
    EXPECT_GE(ks_lmdif(two, 2, 2, z, h, 1e-10, &covariance), 1);
    EXPECT_TRUE(covariance.empty());
    EXPECT_NEAR(z[0], 1.0, 1e-7);
    EXPECT_NEAR(z[1], -2.1, 1e-7);
}

TEST(MinpackDrivers, AFunctionCanStopTheSolve)
{
    int calls = 0;
    const lmdif_function stop = [&](int, int, const double* p, double* r, int) {
        r[0] = p[0] - 3.0;
        r[1] = 2.0 * p[0];
        return ++calls > 3 ? -1 : 0;
    };
    std::vector<double> x{0.0}, f(2);
    EXPECT_LT(ks_lmdif(stop, 2, 1, x, f, 1e-10), 0);
    EXPECT_EQ(calls, 4);
}

}  // namespace

namespace {

// Whether a solution is pinned down: a line through points fixes both its
// parameters; residuals in which only their sum appears leave one free, and
// so does a parameter they never see.
TEST(MinpackDrivers, SolutionDeterminedTellsFreeDirections)
{
    const double xs[] = {0, 1, 2, 3};
    const lmdif_function line = [&](int, int, const double* p, double* f, int) {
        for (int i = 0; i < 4; ++i)
            f[i] = p[0] + p[1] * xs[i] - (1.0 + 2.0 * xs[i]);
        return 0;
    };
    const std::vector<double> at{1.0, 2.0};
    EXPECT_TRUE(solution_determined(line, 4, 2, at));
    const lmdif_function sum = [&](int, int, const double* p, double* f, int) {
        for (int i = 0; i < 4; ++i)
            f[i] = (p[0] + p[1]) * xs[i] - 3.0 * xs[i];
        return 0;
    };
    EXPECT_FALSE(solution_determined(sum, 4, 2, at));
    const lmdif_function unseen = [&](int, int, const double* p, double* f, int) {
        for (int i = 0; i < 4; ++i)
            f[i] = p[0] * xs[i];
        return 0;
    };
    EXPECT_FALSE(solution_determined(unseen, 4, 2, at));
    // Very different units do not matter: a parameter a million times
    // smaller in effect is still seen.
    const lmdif_function scaled = [&](int, int, const double* p, double* f, int) {
        for (int i = 0; i < 4; ++i)
            f[i] = p[0] + 1e-6 * p[1] * xs[i];
        return 0;
    };
    EXPECT_TRUE(solution_determined(scaled, 4, 2, at));
    EXPECT_FALSE(solution_determined(line, 1, 2, at));  // fewer residuals than parameters
}

}  // namespace
