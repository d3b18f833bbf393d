// Thickness at a point of a CT volume: a flat cortex of known thickness,
// density and blur, sampled on a pixel grid as a scanner would, is measured
// along the surface normal, tilted or not, alone or with a bundle; the
// settings configure the fit as the rules say; zero normals, normals along
// the slices in the in-frame mode and points outside the volume give nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "common/vertex_math.h"
#include "thickness/point_fit.h"
#include "cortex_volume.h"

namespace {

// A blur of several pixels, as a reconstructed CT image has, so that values
// between pixel centres interpolate well.
constexpr double pixel_cm = 0.05, slice_cm = 0.1;
constexpr long side = 100, slices = 40;
constexpr double outer_cm = 2.0, thickness_cm = 0.25, fwhm_cm = 0.2;

// Bone for x above 2 cm: cortex 1600 HU for 2.5 mm, trabecular 200 HU, soft tissue 0 HU,
// blurred along x by a Gaussian of 2 mm FWHM.
slice_volume_t slab(std::optional<long> padded_column = std::nullopt)
{
    cortex_t m;
    m.a = 0;
    m.b = 1600;
    m.c = 200;
    m.outer = outer_cm / pixel_cm;
    m.inner = (outer_cm + thickness_cm) / pixel_cm;
    m.sigma = fwhm_cm / fwhm_per_sigma / pixel_cm;
    return cortex_volume(side, side, slices, pixel_cm, [&](long) { return m; }, padded_column);
}

TEST(PointFit, AFlatCortexIsMeasuredAlongTheNormal)
{
    const slice_volume_t v = slab();
    thickness_config_t known;
    known.gauss_mm = 10.0 * fwhm_cm;
    known.b = 1600.0;
    const vertex3d surface{outer_cm, 2.5, 2.0}, out{-1, 0, 0};
    point_result_t r = fit_at_point(v, surface, out, known);
    ASSERT_TRUE(r.ok());
    EXPECT_NEAR(r.thickness, 10.0 * thickness_cm, 0.05);
    EXPECT_NEAR(r.surface, 0.0, 0.05);  // the outer edge at the surface point
    EXPECT_NEAR(r.joint, -10.0 * thickness_cm / 2.0, 0.05);
    EXPECT_NEAR(r.trabecular, 200.0, 10.0);
    EXPECT_NEAR(r.tissue, 0.0, 10.0);
    EXPECT_LT(r.thickness_error, 0.05);

    // A surface point 0.5 mm outside the bone, between pixels: the edge lies 0.5 mm inwards.
    r = fit_at_point(v, surface + vertex3d{-0.05, 0.013, 0.031}, out, known);
    ASSERT_TRUE(r.ok());
    EXPECT_NEAR(r.thickness, 10.0 * thickness_cm, 0.05);
    EXPECT_NEAR(r.surface, -0.5, 0.05);

    // A bundle of lines across the normal averages the same cortex.
    thickness_config_t bundle = known;
    bundle.width = 3;
    r = fit_at_point(v, surface, out, bundle);
    ASSERT_TRUE(r.ok());
    EXPECT_NEAR(r.thickness, 10.0 * thickness_cm, 0.05);

    // Blur and density unknown: the FWHM rule, which reads the width of the
    // blurred peak (wider than the cortex when the blur is not much smaller).
    thickness_config_t unknown;
    r = fit_at_point(v, surface, out, unknown);
    ASSERT_TRUE(r.ok());
    cortex_t seen;  // the true profile in 0.5 mm samples along this line
    seen.a = 0;
    seen.b = 1600;
    seen.c = 200;
    seen.outer = 12;
    seen.inner = 17;
    seen.sigma = fwhm_cm / fwhm_per_sigma / pixel_cm;
    EXPECT_NEAR(r.thickness, 0.5 * peak_fwhm(seen, 37), 0.05);
    EXPECT_GT(r.thickness, 10.0 * thickness_cm);
    EXPECT_NEAR(r.blur, 10.0 * fwhm_cm, 0.05);
}

TEST(PointFit, PointsWithoutAProfileGiveNothing)
{
    const slice_volume_t v = slab();
    thickness_config_t c;
    c.gauss_mm = 1.2;
    EXPECT_FALSE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {0, 0, 0}, c).ok());
    EXPECT_FALSE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {NAN, 0, 0}, c).ok());
    EXPECT_FALSE(fit_at_point(v, {50.0, 2.5, 2.0}, {-1, 0, 0}, c).ok());  // outside the volume
    c.in_frame = true;
    EXPECT_FALSE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {0.05, 0, -1}, c).ok());  // along the slice normal
    EXPECT_TRUE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {-1, 0, 0.2}, c).ok());
    c.line_cm = -1.0;
    EXPECT_FALSE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {-1, 0, 0}, c).ok());
    c.line_cm = NAN;
    EXPECT_FALSE(fit_at_point(v, {outer_cm, 2.5, 2.0}, {-1, 0, 0}, c).ok());

    // Padding across the cortex: those samples are invalid, never read as 0 HU.
    const slice_volume_t padded = slab(long(outer_cm / pixel_cm) + 1);
    double step = 0, across = 0;
    thickness_config_t plain;
    const profile_t p = sample_profile(padded, {outer_cm, 2.5, 2.0}, {-1, 0, 0}, plain, &step, &across);
    ASSERT_FALSE(p.values.empty());
    EXPECT_NE(std::count(p.valid.begin(), p.valid.end(), 0), 0);

    // One slice: a line across it has nothing to read; along it, whatever it finds, nothing undefined.
    cortex_t m;
    m.b = 1600;
    m.c = 200;
    m.outer = 40;
    m.inner = 45;
    m.sigma = 3;
    const slice_volume_t one = cortex_volume(side, side, 1, pixel_cm, [&](long) { return m; });
    thickness_config_t known;
    known.gauss_mm = 2.0;
    known.b = 1600.0;
    EXPECT_FALSE(fit_at_point(one, {outer_cm, 2.5, 0.0}, {0, 0, 1}, known).ok());
    const point_result_t along = fit_at_point(one, {outer_cm, 2.5, 0.0}, {-1, 0, 0}, known);
    EXPECT_TRUE(!along.ok() || std::isfinite(along.thickness));

    // Metal along the whole line, modelled or not: no result.
    cortex_t rod;
    rod.a = rod.b = rod.c = 9000;
    const slice_volume_t metal = cortex_volume(side, side, slices, pixel_cm, [&](long) { return rod; });
    thickness_config_t with_metal = known;
    with_metal.metal = true;
    EXPECT_FALSE(fit_at_point(metal, {outer_cm, 2.5, 2.0}, {-1, 0, 0}, with_metal).ok());
    EXPECT_FALSE(fit_at_point(metal, {outer_cm, 2.5, 2.0}, {-1, 0, 0}, known).ok());
}

TEST(PointFit, TheSettingsConfigureTheFitByTheRules)
{
    thickness_config_t c;
    // Nothing known: the blur is fitted and the FWHM rule replaces the density.
    fit_plan_t plan = plan_fit(c, 0.7, 0.0);
    EXPECT_FALSE(plan.setup.sigma);
    EXPECT_TRUE(plan.fwhm_rule);
    EXPECT_FALSE(plan.post_blur);
    // Blur known: fixed, in samples, from the in-plane FWHM (the line within the slice).
    c.gauss_mm = 1.4;
    c.b = 1500;
    plan = plan_fit(c, 0.7, 0.0);
    ASSERT_TRUE(plan.setup.sigma);
    EXPECT_NEAR(*plan.setup.sigma, 1.4 / fwhm_per_sigma / 0.7, 1e-12);
    EXPECT_FALSE(plan.fwhm_rule);
    EXPECT_EQ(*plan.setup.b, 1500);
    // The interpolation's own blur adds to the scanner's.
    EXPECT_NEAR(*plan_fit(c, 0.7, 0.0, 0.5).setup.sigma, std::hypot(1.4 / fwhm_per_sigma / 0.7, std::sqrt(0.5)),
                1e-12);
    // Along the slices the out-of-plane blur counts.
    c.rect_mm = 2.8;
    plan = plan_fit(c, 0.7, 1.0);
    EXPECT_NEAR(*plan.setup.sigma, 2.8 / fwhm_per_sigma / 0.7, 1e-12);
    // Post-correction needs the blur fitted; levels given stay fixed.
    c.post_blur = true;
    c.a = 10;
    c.c = 250;
    plan = plan_fit(c, 0.7, 0.0);
    EXPECT_FALSE(plan.setup.sigma);
    EXPECT_TRUE(plan.post_blur);
    EXPECT_EQ(*plan.setup.a, 10);
    EXPECT_EQ(*plan.setup.c, 250);
}

}  // namespace
