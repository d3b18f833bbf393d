// The model's variants: an endocortical layer, metal at either end of the
// line, thresholding, the local peak as the density and the density
// post-corrected for the blur; each fitted back from profiles made with it,
// and each failing safely where it cannot measure.
#include <gtest/gtest.h>

#include <cmath>

#include "thickness/point_fit.h"
#include "model_profiles.h"

namespace {

cortex_t shell()
{
    return ::shell(1.6);
}

TEST(ModelVariants, TheEndocorticalLayerIsFittedWithinTheCortex)
{
    cortex_t truth = shell();
    truth.endo_layer = true;
    truth.endo = 3.5;
    // The layer's level lies half-way between cortex and inside.
    cortex_t plain = truth;
    plain.endo_layer = false;
    EXPECT_NEAR(cortex_value(truth, 21.0), 900.0, 30.0);
    EXPECT_NEAR(cortex_value(plain, 15.0), cortex_value(truth, 15.0), 5.0);

    fit_setup_t setup;
    setup.endo = true;
    setup.sigma = truth.sigma;
    const fit_result_t r = fit_profile(profile_of(truth, 41), setup);
    ASSERT_TRUE(r.ok) << r.info;
    EXPECT_TRUE(r.cortex.endo_layer);
    EXPECT_NEAR(r.cortex.endo, 3.5, 1e-2);
    EXPECT_NEAR(r.cortex.inner, truth.inner, 1e-2);
    EXPECT_NEAR(r.cortex.outer, truth.outer, 1e-2);
    EXPECT_LT(r.endo_error, 1.0);

    // Without such a layer the fit puts it at (nearly) nothing, inside the cortex either way.
    const fit_result_t none = fit_profile(profile_of(shell(), 41), setup);
    ASSERT_TRUE(none.ok);
    EXPECT_LT(none.cortex.endo, 0.3);
    EXPECT_GE(none.cortex.endo, -0.05);
    EXPECT_NEAR(none.thickness(), shell().inner - shell().outer, 0.05);
}

TEST(ModelVariants, MetalIsModelledAndTheSamplesBeyondItLeftOut)
{
    // A nail in the canal 6 samples inside the cortex: 9000 HU to the end of the line.
    cortex_t truth = shell();
    truth.metal_side = 1;
    truth.metal_edge = 29.0;
    truth.metal = 9000.0;
    const profile_t p = profile_of(truth, 41);
    double edge = 0.0;
    EXPECT_EQ(find_metal(p, 3000.0, 13.0, &edge), 1);
    EXPECT_NEAR(edge, 29.0, 0.1);  // half-way up to the metal

    fit_setup_t setup;
    setup.metal = true;
    setup.surface_sample = 13.0;
    setup.sigma = truth.sigma;
    setup.keep_stage = true;
    const fit_result_t r = fit_profile(p, setup);
    ASSERT_TRUE(r.ok) << r.info;
    EXPECT_EQ(r.cortex.metal_side, 1);
    EXPECT_GE(r.cortex.metal, 3000.0);  // never below metal's floor, where its barrier starts
    EXPECT_NEAR(r.thickness(), truth.inner - truth.outer, 0.1);
    EXPECT_NEAR(r.cortex.c, 200.0, 40.0);
    // Beyond the edge nothing weighs.
    for (std::size_t i = 30; i < 41; ++i)
        EXPECT_EQ(r.stage.weights[i], 0.0) << i;
    EXPECT_GT(r.stage.weights[20], 0.0);

    // A plate on the bone, outside, at the line's start.
    cortex_t plate = shell();
    plate.metal_side = -1;
    plate.metal_edge = 5.0;
    plate.metal = 7000.0;
    const profile_t q = profile_of(plate, 41);
    EXPECT_EQ(find_metal(q, 3000.0, 13.0, &edge), -1);
    EXPECT_NEAR(edge, 5.0, 0.1);
    const fit_result_t o = fit_profile(q, setup);
    ASSERT_TRUE(o.ok) << o.info;
    EXPECT_NEAR(o.thickness(), plate.inner - plate.outer, 0.1);

    // Metal along the whole line: nothing to fit, and said so.
    profile_t rod;
    rod.values.assign(41, 9000.0);
    rod.valid.assign(41, 1);
    const fit_result_t m = fit_profile(rod, setup);
    EXPECT_FALSE(m.ok);
    EXPECT_TRUE(m.all_metal);
    EXPECT_EQ(m.info, 0);
    // No metal: nothing found, and the fit is the plain one.
    EXPECT_EQ(find_metal(profile_of(shell(), 41), 3000.0, 13.0, &edge), 0);
    EXPECT_NEAR(fit_profile(profile_of(shell(), 41), setup).thickness(), shell().inner - shell().outer, 1e-2);
}

TEST(ModelVariants, ThresholdingMeasuresHalfWayCrossings)
{
    // A cortex many blurs thick: the crossings half-way to the peak are its edges.
    cortex_t thick = shell();
    thick.sigma = 1.0;
    const profile_t p = profile_of(thick, 41);
    EXPECT_NEAR(threshold_thickness(p, thick), thick.inner - thick.outer, 0.05);
    // Thin under the blur: the half-maximum width stays near the blur's, far above the cortex.
    cortex_t thin = shell();
    thin.inner = thin.outer + 1.0;
    thin.sigma = 2.0;
    const double measured = threshold_thickness(profile_of(thin, 41), thin);
    ASSERT_LT(measured, thickness_unknown);
    EXPECT_GT(measured, 3.0);
    // No crossing on one side (the line ends in the cortex), a model without an inner edge, a bad profile.
    cortex_t cut = shell();
    cut.inner = 45.0;
    EXPECT_EQ(threshold_thickness(profile_of(cut, 41), cut), thickness_unknown);
    cortex_t single = shell();
    single.inner_edge = false;
    EXPECT_EQ(threshold_thickness(p, single), thickness_unknown);
    profile_t invalid = p;
    invalid.valid.assign(41, 0);
    EXPECT_EQ(threshold_thickness(invalid, thick), thickness_unknown);
}

TEST(ModelVariants, LevelsRefitForAGivenBlurRecoverTheDensity)
{
    // With the true edges and blur the levels come back exactly, endocortical layer or not.
    for (bool endo : {false, true}) {
        cortex_t truth = shell();
        truth.endo_layer = endo;
        truth.endo = 2.0;
        const profile_t p = profile_of(truth, 41);
        cortex_t guess = truth;
        guess.a = guess.b = guess.c = 0.0;
        ASSERT_TRUE(refit_levels(p, {}, truth.sigma, &guess));
        EXPECT_NEAR(guess.a, 0.0, 1e-6);
        EXPECT_NEAR(guess.b, 1600.0, 1e-6);
        EXPECT_NEAR(guess.c, 200.0, 1e-6);
    }
    // A thin cortex seen with more blur than the scanner's: its density comes out lower than the
    // fitted level, spread as it is over the wider blur.
    cortex_t thin = shell();
    thin.inner = thin.outer + 2.0;
    thin.sigma = 2.5;
    cortex_t assumed = thin;
    ASSERT_TRUE(refit_levels(profile_of(thin, 41), {}, 1.5, &assumed));
    EXPECT_LT(assumed.b, 1600.0 - 100.0);
    // Nothing valid, or edges outside the line, determine nothing.
    profile_t none = profile_of(thin, 41);
    none.valid.assign(41, 0);
    EXPECT_FALSE(refit_levels(none, {}, 1.5, &assumed));
    cortex_t outside = thin;
    outside.outer = 100.0;
    outside.inner = 120.0;
    EXPECT_FALSE(refit_levels(profile_of(thin, 41), {}, 1.5, &outside));
}

}  // namespace

namespace {

// With everything free a thin cortex is a valley of the model (density up, thickness down, the same
// mass): a fit lost in it gives up after a bounded number of evaluations instead of ending at a density
// no bone has.
TEST(ModelVariants, FitsLostInTheModelsValleyGiveUpEarly)
{
    int failed = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        cortex_t thin = shell();
        thin.sigma = 1.7;
        thin.inner = thin.outer + 1.2 + 0.02 * seed;
        fit_setup_t alone;
        alone.recentre = false;
        alone.drop_inner = false;
        const fit_result_t r = fit_profile(profile_of(thin, 37, 30.0, seed), alone);
        EXPECT_LE(r.evaluations, 60 * 7 + 6);  // MINPACK checks its limit once per Jacobian
        if (r.ok)
            EXPECT_LT(r.cortex.b, 3000.0) << seed;
        else
            ++failed;
    }
    EXPECT_GT(failed, 0);  // some are lost: the case is real
}

}  // namespace
