// The thickness plots: a profile's data, fitted function and model steps
// placed along the normal from the surface point, and the density
// estimate's series with their names, the theoretical curve rising to the
// estimated density.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "model_profiles.h"
#include "thickness/thickness_plots.h"

namespace {

const plot_series_t* named(const plot_t& plot, const std::string& label)
{
    for (const plot_series_t& s : plot.series)
        if (s.label == label)
            return &s;
    return nullptr;
}

TEST(ThicknessPlots, AProfileAlongTheNormalFromTheSurface)
{
    point_fit_detail_t d;
    d.profile = profile_of(shell(1.6), 41);
    d.profile.valid[3] = 0;
    d.step_mm = 0.25;
    d.surface_sample = 12.0;
    d.fit = fit_profile(d.profile, {});
    ASSERT_TRUE(d.fit.ok);
    const plot_t plot = profile_plot(d, true, true, true);
    const plot_series_t* data = named(plot, "Data");
    const plot_series_t* function = named(plot, "Fitted function");
    const plot_series_t* steps = named(plot, "Model steps");
    ASSERT_TRUE(data && function && steps);
    EXPECT_EQ(data->points.size(), 40u);  // the sample without a value left out
    // Sample 0 lies 3 mm outside the surface point, the last 7 mm inside.
    EXPECT_DOUBLE_EQ(data->points.front().x, 3.0);
    EXPECT_DOUBLE_EQ(data->points.back().x, -7.0);
    // The steps are the unblurred model: the cortex's level just inside its outer edge.
    const double inside_edge_x = (12.0 - (d.fit.cortex.outer + 0.5)) * 0.25;
    const auto at = std::min_element(steps->points.begin(), steps->points.end(), [&](auto p, auto q) {
        return std::fabs(p.x - inside_edge_x) < std::fabs(q.x - inside_edge_x);
    });
    EXPECT_NEAR(at->y, d.fit.cortex.b, 1e-6);
    EXPECT_TRUE(profile_plot(d, false, true, false).series.size() == 1);
    EXPECT_TRUE(profile_plot(point_fit_detail_t{}, true, true, true).series.empty());
}

TEST(ThicknessPlots, TheDensityEstimatesSeries)
{
    density_estimate_t e;
    e.ok = true;
    e.density = 1600;
    e.background = 0;
    e.blur_fwhm = 1.2;
    e.lower = 1500;
    e.upper = 1700;
    e.points = {{4.0, 1590, 1588, true}, {0.5, 900, 700, false}};
    const plot_t plot = cortical_density_plot(e);
    EXPECT_EQ(plot.title, "Cortical density");
    for (const char* name : {"Theoretical relationship", "Presumed cortical density", "Lower density boundary",
                             "Upper density boundary", "Used density measurement", "Density outlier"})
        EXPECT_TRUE(named(plot, name)) << name;
    const plot_series_t* theory = named(plot, "Theoretical relationship");
    EXPECT_NEAR(theory->points.front().y, 0.0, 1e-9);
    EXPECT_NEAR(theory->points.back().y, 1600.0, 1.0);  // 4 mm under a 1.2 mm blur: all of it
    EXPECT_EQ(named(plot, "Density outlier")->points.front().x, 0.5);
    // Failed: the raw measurements only.
    e.ok = false;
    EXPECT_EQ(cortical_density_plot(e).series.size(), 2u);
    const plot_t spread = density_distribution_plot(e);
    EXPECT_EQ(spread.x_label, "Thickness presuming 1000 HU density (mm)");
    // The mass as a 1000 HU cortex would carry it: fitted density over background times thickness.
    EXPECT_NEAR(named(spread, "Used density measurement")->points.front().x, 4.0 * 1590 / 1000.0, 1e-12);
}

}  // namespace
