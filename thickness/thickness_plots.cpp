#include "thickness_plots.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr plot_colour_t black{0, 0, 0}, grey{128, 128, 128}, red{200, 30, 30}, blue{30, 60, 200}, green{20, 140, 40},
    orange{230, 120, 0};

plot_series_t series(const char* label, plot_colour_t colour, plot_style_t style,
                     plot_marker_t marker = plot_marker_t::square)
{
    plot_series_t s;
    s.label = label;
    s.colour = colour;
    s.style = style;
    s.marker = marker;
    return s;
}

// The density measurements, those used and the outliers, at x(point).
template <class X>
void add_measurements(plot_t* plot, const density_estimate_t& e, X x)
{
    plot_series_t used = series("Used density measurement", green, plot_style_t::points, plot_marker_t::circle);
    plot_series_t outlier = series("Density outlier", grey, plot_style_t::points, plot_marker_t::cross);
    for (const density_point_t& p : e.points)
        (p.used ? used : outlier).points.push_back({x(p), p.peak});
    plot->series.push_back(std::move(used));
    plot->series.push_back(std::move(outlier));
}

// A level across the plot's thickness range.
plot_series_t level(const char* label, plot_colour_t colour, double value, double t_max)
{
    plot_series_t s = series(label, colour, plot_style_t::lines);
    s.points = {{0.0, value}, {t_max, value}};
    return s;
}

}  // namespace

plot_t profile_plot(const point_fit_detail_t& d, bool data, bool function, bool steps)
{
    plot_t plot;
    plot.title = "Line profile";
    plot.x_label = "Distance outwards from the surface (mm)";
    plot.y_label = "Density (HU)";
    const std::size_t n = d.profile.values.size();
    if (n == 0 || !(d.step_mm > 0.0))
        return plot;
    auto x_of = [&](double sample) { return (d.surface_sample - sample) * d.step_mm; };
    if (data) {
        plot_series_t s = series("Data", black, plot_style_t::points, plot_marker_t::cross);
        for (std::size_t i = 0; i < n; ++i)
            if (d.profile.valid[i])
                s.points.push_back({x_of(double(i)), d.profile.values[i]});
        plot.series.push_back(std::move(s));
    }
    const bool fitted = d.fit.ok || d.fit.info != 0;
    if (function && fitted) {
        plot_series_t s = series("Fitted function", red, plot_style_t::lines);
        const int fine = 8 * int(n - 1);
        for (int k = 0; k <= fine; ++k) {
            const double at = double(k) * double(n - 1) / fine;
            s.points.push_back({x_of(at), cortex_value(d.fit.cortex, at)});
        }
        plot.series.push_back(std::move(s));
    }
    if (steps && fitted) {
        // The model without its blur: the density it assumes.
        cortex_t sharp = d.fit.cortex;
        sharp.sigma = 1e-6;
        sharp.rect = 0.0;
        plot_series_t s = series("Model steps", blue, plot_style_t::lines);
        const int fine = 64 * int(n - 1);
        for (int k = 0; k <= fine; ++k) {
            const double at = double(k) * double(n - 1) / fine;
            s.points.push_back({x_of(at), cortex_value(sharp, at)});
        }
        plot.series.push_back(std::move(s));
    }
    return plot;
}

plot_t cortical_density_plot(const density_estimate_t& e)
{
    plot_t plot;
    plot.title = "Cortical density";
    plot.x_label = "Real thickness (mm)";
    plot.y_label = "Apparent peak density (HU)";
    double t_max = 1.0;
    for (const density_point_t& p : e.points)
        if (std::isfinite(p.thickness))
            t_max = std::max(t_max, std::min(p.thickness, 20.0));
    if (e.ok) {
        // A cortex of thickness t blurred by a Gaussian of the estimated FWHM peaks at
        // background + (density - background) erf(t / (2 sqrt(2) sigma)).
        plot_series_t theory = series("Theoretical relationship", red, plot_style_t::lines);
        const double sigma = std::max(e.blur_fwhm, 1e-3) / fwhm_per_sigma;
        for (int k = 0; k <= 200; ++k) {
            const double t = t_max * k / 200.0;
            theory.points.push_back(
                {t, e.background + (e.density - e.background) * std::erf(t / (2.0 * std::sqrt(2.0) * sigma))});
        }
        plot.series.push_back(std::move(theory));
        plot.series.push_back(level("Presumed cortical density", blue, e.density, t_max));
        plot.series.push_back(level("Lower density boundary", orange, e.lower, t_max));
        plot.series.push_back(level("Upper density boundary", orange, e.upper, t_max));
    }
    add_measurements(&plot, e, [](const density_point_t& p) { return p.thickness; });
    return plot;
}

plot_t density_distribution_plot(const density_estimate_t& e)
{
    plot_t plot;
    plot.title = "Density distribution";
    plot.x_label = "Thickness presuming 1000 HU density (mm)";
    plot.y_label = "Apparent peak density (HU)";
    add_measurements(&plot, e,
                     [&](const density_point_t& p) { return p.thickness * (p.density - e.background) / 1000.0; });
    return plot;
}
