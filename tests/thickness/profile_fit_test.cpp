// The cortex model and its fit: blurred profiles made from the model are
// fitted back (noise-free exactly, with noise without bias), fixed values
// stay fixed, an unsupported inner edge is dropped, and profiles without a
// cortex or with too few samples give no result; the helpers' edge cases
// and the guards against overflow and division by zero.
#include <gtest/gtest.h>

#include <cmath>

#include "thickness/profile_fit.h"
#include "model_profiles.h"
#include "thickness/techniques.h"

namespace {

cortex_t shell()
{
    return ::shell(2.1);
}

TEST(ProfileModel, BlurredStepsAndTheHelpersEdgeCases)
{
    // Far from the edges the levels; at an edge half-way; the box blur keeps the halves.
    cortex_t m = shell();
    EXPECT_NEAR(cortex_value(m, -50), 0.0, 1e-9);
    const double tail = 0.5 * std::erfc(2.5 / std::sqrt(2.0));  // each edge 2.5 sigma away
    EXPECT_NEAR(cortex_value(m, 17.55), 1600.0 - 1600.0 * tail - 1400.0 * tail, 1e-9);
    EXPECT_NEAR(cortex_value(m, 100), 200.0, 1e-9);
    cortex_t single = m;
    single.inner_edge = false;
    EXPECT_NEAR(cortex_value(single, 12.3), 800.0, 1e-9);
    single.rect = 3.0;
    EXPECT_NEAR(cortex_value(single, 12.3), 800.0, 1e-9);
    EXPECT_LT(cortex_value(single, 13.3),
              cortex_value(cortex_t{single.a, single.b, single.c, 12.3, 0, 2.1, 0, false}, 13.3));

    EXPECT_DOUBLE_EQ(blur(0.3, 1.5, 1e10), 1.5);
    EXPECT_DOUBLE_EQ(blur(1.0, 1.5, 2.5), 2.5);
    EXPECT_DOUBLE_EQ(blur(0.0, 1.5, 2.5), 1.5);
    double in = -1, out = -1;
    EXPECT_FALSE(calc_blur(2, 1, 1, 1, 4, &in, &out));  // c e - a^2 = 0
    EXPECT_EQ(in, 0.0);
    EXPECT_EQ(out, 0.0);
    EXPECT_FALSE(calc_blur(0, -1, 1, 0, 1, &in, &out));  // x <= 0
    ASSERT_TRUE(calc_blur(0, 4, 1, 9, 1, &in, &out));    // x = 4, out^2 = 9 + 4
    EXPECT_DOUBLE_EQ(in, 2.0);
    EXPECT_DOUBLE_EQ(out, std::sqrt(13.0));
    ASSERT_TRUE(calc_blur(0, 9, 1, -8.5, 1, &in, &out));  // out^2 = 0.5 < 9 / 9
    EXPECT_DOUBLE_EQ(out, in / 3.0);

    // Weights stay finite in [0, 1] wherever the cortex was put, even off the line.
    for (double loc : {-5.0, 0.0, 0.5, 10.0, 39.0, 40.0, 1e6, std::nan("")})
        for (bool quartic : {false, true}) {
            std::vector<double> w(41, 1.0);
            update_weighting_location(w, loc, quartic, false);
            for (double v : w)
                ASSERT_TRUE(std::isfinite(v) && v >= 0.0 && v <= 1.0) << loc;
        }
    std::vector<double> w(41, 0.5);
    update_weighting_location(w, 20.0, false, true);
    EXPECT_NEAR(w[20], 0.5, 1e-12);  // at the cortex the weight is 1: multiplied in
    EXPECT_LT(w[0], 0.5);
    std::vector<double> tiny(2, 0.3);
    update_weighting_location(tiny, 1.0, false, false);
    EXPECT_EQ(tiny, std::vector<double>(2, 1.0));

    // Barriers: at most 1 in order, steep out of it, never infinite.
    EXPECT_LE(barrier(-0.5), 1e-40);
    EXPECT_DOUBLE_EQ(barrier(0.0), 1.0);
    EXPECT_GT(barrier(0.05), 1e4);
    EXPECT_TRUE(std::isfinite(barrier(1e6)));
    EXPECT_GT(barrier(10.0), barrier(5.0));
}

TEST(ProfileFit, ModelProfilesAreFittedBack)
{
    const cortex_t truth = shell();
    const fit_result_t r = fit_profile(profile_of(truth, 41), {});
    ASSERT_TRUE(r.ok) << r.info;
    EXPECT_NEAR(r.cortex.outer, truth.outer, 1e-3);
    EXPECT_NEAR(r.cortex.inner, truth.inner, 1e-3);
    EXPECT_NEAR(r.cortex.sigma, truth.sigma, 1e-3);
    EXPECT_NEAR(r.cortex.b, truth.b, 0.5);
    EXPECT_NEAR(r.cortex.c, truth.c, 0.5);
    EXPECT_NEAR(r.thickness(), truth.inner - truth.outer, 1e-3);
    EXPECT_FALSE(r.inner_dropped);

    // Everything but the edges fixed: only they move, and land right.
    fit_setup_t fixed;
    fixed.sigma = truth.sigma;
    fixed.a = truth.a;
    fixed.b = truth.b;
    fixed.c = truth.c;
    const fit_result_t e = fit_profile(profile_of(truth, 41), fixed);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.cortex.sigma, truth.sigma);
    EXPECT_EQ(e.cortex.b, truth.b);
    EXPECT_EQ(e.sigma_error, thickness_unknown);
    EXPECT_NEAR(e.thickness(), truth.inner - truth.outer, 1e-4);

    // 30 HU of noise over many profiles: the thickness without bias.
    double sum = 0.0;
    int fitted = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        const fit_result_t n = fit_profile(profile_of(truth, 41, 30.0, seed), {});
        if (!n.ok)
            continue;
        sum += n.thickness() - (truth.inner - truth.outer);
        ++fitted;
        EXPECT_LT(n.outer_error, 1.0);
    }
    EXPECT_GE(fitted, 38);
    EXPECT_LT(std::fabs(sum / fitted), 0.1);
}

TEST(ProfileFit, UnsupportedInnerEdgesAreDroppedAndEmptyProfilesGiveNothing)
{
    cortex_t plateau = shell();
    plateau.c = plateau.b;  // no inner step: bone all the way in
    const fit_result_t r = fit_profile(profile_of(plateau, 41), {});
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.inner_dropped);
    EXPECT_EQ(r.thickness(), thickness_unknown);
    EXPECT_NEAR(r.cortex.outer, plateau.outer, 1e-2);

    // Flat, all invalid, too few valid samples, values that are not numbers.
    profile_t flat;
    flat.values.assign(41, 300.0);
    flat.valid.assign(41, 1);
    EXPECT_FALSE(fit_profile(flat, {}).ok);
    profile_t none = profile_of(shell(), 41);
    none.valid.assign(41, 0);
    EXPECT_FALSE(fit_profile(none, {}).ok);
    profile_t few = profile_of(shell(), 41);
    std::fill(few.valid.begin() + 4, few.valid.end(), 0);  // 4 samples: not even the outer edge alone fits
    const fit_result_t f = fit_profile(few, {});
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.info, 0);  // no solve at all
    profile_t nan = profile_of(shell(), 41);
    nan.values[20] = std::nan("");
    nan.values[21] = INFINITY;
    EXPECT_TRUE(fit_profile(nan, {}).ok);  // those samples are left out, the rest fit
    profile_t mismatched = profile_of(shell(), 41);
    mismatched.valid.pop_back();
    EXPECT_FALSE(fit_profile(mismatched, {}).ok);
    // Saturated: a wall of 3071 HU with nothing outside.
    profile_t wall;
    wall.values.assign(41, 3071.0);
    wall.valid.assign(41, 1);
    EXPECT_FALSE(fit_profile(wall, {}).ok);
}

// Techniques write their switches and fix their controls; "HRTC" gives a
// bundle only when none was set; "Manual" and unknown types change nothing.
TEST(ThicknessTechniques, EachWritesItsSwitches)
{
    thickness_switches_t s;
    s.a = 12.0;
    s.fwhm = true;
    EXPECT_TRUE(apply_technique(0, &s).empty());
    EXPECT_TRUE(apply_technique(99, &s).empty());
    EXPECT_EQ(s.a, 12.0);
    EXPECT_TRUE(s.fwhm);

    s.b = 1700.0;
    s.rect = 0.4;
    EXPECT_EQ(apply_technique(4, &s).size(), 7u);  // "CBM v2": the five switches, A and C
    EXPECT_TRUE(s.post_blur && !s.fwhm && !s.endo_model);
    EXPECT_EQ(s.a, 1e10);
    EXPECT_EQ(s.b, 1700.0);  // left as it was
    EXPECT_EQ(s.rect, 0.4);
    apply_technique(5, &s);
    EXPECT_TRUE(s.post_blur && s.endo_model);
    apply_technique(2, &s);
    EXPECT_TRUE(s.fwhm && !s.post_blur && !s.endo_model);
    EXPECT_EQ(s.b, 1e10);
    EXPECT_EQ(s.rect, 1e10);

    s.width = 0;
    apply_technique(7, &s);
    EXPECT_EQ(s.width, 4);
    EXPECT_TRUE(s.threshold && s.endo_model);
    s.width = 2;
    apply_technique(7, &s);
    EXPECT_EQ(s.width, 2);
    EXPECT_STREQ(thickness_technique_names[7], "HRTC");
}

}  // namespace
