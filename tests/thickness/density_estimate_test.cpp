// "Estimate cortical density": over a cortex whose thickness runs from thin
// to thick under a 2 mm blur, the real density and the blur come back from
// the thick part; a cortex that is thin everywhere cannot tell, and says so.
#include <gtest/gtest.h>

#include <cmath>

#include "thickness/density_estimate.h"
#include "cortex_volume.h"

namespace {

constexpr double pixel = 0.05;  // cm

// Cortex from x = 2 cm, `thin` to `thick` mm from one end of y to the other.
slice_volume_t tapered(double thin_mm, double thick_mm)
{
    const long height = 80;
    return cortex_volume(140, height, 10, pixel, [&](long y) {
        cortex_t m;
        m.a = 20;
        m.b = 1600;
        m.c = 200;
        m.outer = 40;
        m.inner = 40 + (thin_mm + (thick_mm - thin_mm) * double(y) / double(height - 1)) / (10.0 * pixel);
        m.sigma = 0.2 / fwhm_per_sigma / pixel;
        return m;
    });
}

surface_mesh_t face()
{
    surface_mesh_t mesh;
    for (int i = 0; i < 60; ++i) {
        surface_point_t p;
        p.position = {2.0, 0.2 + 0.06 * i, 0.45};
        p.normal = {-1, 0, 0};
        mesh.points.push_back(p);
    }
    return mesh;
}

TEST(DensityEstimate, TheThickCortexGivesTheDensityAndTheBlur)
{
    density_estimate_t e;
    ASSERT_TRUE(estimate_density(tapered(0.5, 8.0), face(), {}, 2, {}, &e));
    ASSERT_TRUE(e.ok);
    EXPECT_NEAR(e.density, 1600.0, 0.05 * 1600.0);
    EXPECT_NEAR(e.background, 20.0, 15.0);
    EXPECT_NEAR(e.in_fwhm, 2.0, 0.1);
    EXPECT_EQ(e.out_fwhm, 0.0);  // no line crosses the slices: nothing to tell it by
    EXPECT_EQ(e.points.size(), 60u);
    // Those over 6 mm (three blurs) count: about a quarter of the taper.
    const long used = std::count_if(e.points.begin(), e.points.end(), [](const density_point_t& p) { return p.used; });
    EXPECT_GT(used, 10);
    EXPECT_LT(used, 25);
    EXPECT_TRUE(e.text().StartsWith("Estimated real cortical density is 1")) << e.text();
    EXPECT_FALSE(e.text().Contains("nan"));

    // Thin everywhere: nothing resolved, the estimate fails without a number.
    density_estimate_t thin;
    ASSERT_TRUE(estimate_density(tapered(0.3, 1.0), face(), {}, 2, {}, &thin));
    EXPECT_FALSE(thin.ok);
    EXPECT_FALSE(thin.text().Contains("nan"));

    // Cancelled: false, the estimate held untouched.
    density_estimate_t held = e;
    EXPECT_FALSE(estimate_density(
        tapered(0.5, 8.0), face(), {}, 2, [](std::size_t d, std::size_t) { return d < 3; }, &held));
    EXPECT_EQ(held.density, e.density);
}

// The blur's two components from lines at several angles to the slices.
TEST(DensityEstimate, InPlaneAndOutOfPlaneBlurFromTheFittedBlurs)
{
    std::vector<point_result_t> fits;
    const double in = 1.2, out = 2.0;
    for (int i = 0; i < 40; ++i) {
        point_result_t r;
        r.across = 0.025 * i;  // 0 to ~1
        r.thickness = 10.0;
        r.density = 1500.0 + (i % 5);
        r.tissue = 0.0;
        r.blur = blur(r.across, in, out);
        fits.push_back(r);
    }
    const density_estimate_t e = estimate_from_fits(fits);
    ASSERT_TRUE(e.ok);
    EXPECT_NEAR(e.in_fwhm, in, 1e-9);
    EXPECT_NEAR(e.out_fwhm, out, 1e-9);
    EXPECT_NEAR(e.density, 1502.0, 1e-9);
    EXPECT_FALSE(e.doubtful);
}

}  // namespace
