#include "density_estimate.h"

#include <algorithm>
#include <cmath>

#include "volumes/slice_volume.h"

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void mean_sd(const std::vector<double>& v, double* mean, double* sd)
{
    double s = 0.0, q = 0.0;
    for (double x : v)
        s += x;
    *mean = v.empty() ? 0.0 : s / double(v.size());
    for (double x : v)
        q += (x - *mean) * (x - *mean);
    *sd = v.size() > 1 ? std::sqrt(q / double(v.size() - 1)) : 0.0;
}

}  // namespace

wxString density_estimate_t::text() const
{
    return wxString::Format(
        "Estimated real cortical density is %.0lf+/-%.0lf HU (background %.0lf+/-%.0lf HU). \nEstimated FWHM blur is "
        "%.2lf (modelled) or %.2lf mm (in), %.2lf mm (out).",
        density, density_sd, background, background_sd, blur_fwhm, in_fwhm, out_fwhm);
}

density_estimate_t estimate_from_fits(const std::vector<point_result_t>& fits)
{
    density_estimate_t e;
    // The blur: fitted sigma^2 against the squared share of the line across
    // the slices, a straight line from the in-plane to the out-of-plane blur.
    double a = 0, b = 0, c = 0, d = 0, ee = 0;
    std::vector<double> fwhms, all_fwhms;
    for (const point_result_t& r : fits)
        if (r.ok() && r.blur != thickness_unknown && std::isfinite(r.blur))
            all_fwhms.push_back(r.blur);
    // Only where the cortex is resolved (twice the blur) does the fit tell the blur from the
    // thickness. Judged against the blur of all fits, not each point's own: choosing by its own would
    // keep the points whose blur the noise made small, and bias the estimate low.
    const double typical = all_fwhms.empty() ? 0.0 : median(all_fwhms);
    for (const point_result_t& r : fits) {
        if (!r.ok() || r.blur == thickness_unknown || !std::isfinite(r.blur))
            continue;
        if (r.thickness < 2.0 * typical)
            continue;
        const double sigma = r.blur / fwhm_per_sigma, u = r.across * r.across;
        a += u;
        b += sigma * sigma;
        c += 1.0;
        d += u * sigma * sigma;
        ee += u * u;
        fwhms.push_back(r.blur);
    }
    double in = 0.0, out = 0.0;
    if (calc_blur(a, b, c, d, ee, &in, &out)) {
        e.in_fwhm = in * fwhm_per_sigma;
        e.out_fwhm = out * fwhm_per_sigma;
    } else if (c > 0.0) {
        e.in_fwhm = std::sqrt(b / c) * fwhm_per_sigma;  // all lines alike: the blur they share
    }
    double ignored = 0.0;
    mean_sd(fwhms, &e.blur_fwhm, &ignored);

    // The density: the levels fitted where the cortex is thick against the
    // blur (two and a half times its FWHM, where a blurred cortex shows 99.7% of its density), outliers
    // beyond 3 robust deviations left out.
    std::vector<double> thick_densities, backgrounds;
    std::vector<std::size_t> candidates;  // the points behind thick_densities
    for (const point_result_t& r : fits) {
        if (!r.ok())
            continue;
        density_point_t p;
        p.thickness = r.thickness;
        p.density = r.density;
        p.peak = r.density;
        if (r.blur != thickness_unknown && r.thickness > 2.5 * typical && std::isfinite(r.density)) {
            thick_densities.push_back(r.density);
            backgrounds.push_back(r.tissue);
            candidates.push_back(e.points.size());
        }
        e.points.push_back(p);
    }
    if (thick_densities.size() < 5)
        return e;  // too little thick cortex: "Cortical density estimation failed."
    const double m = median(thick_densities);
    std::vector<double> deviations;
    for (double v : thick_densities)
        deviations.push_back(std::fabs(v - m));
    const double spread = std::max(1.4826 * median(deviations), 1.0);
    e.lower = m - 3.0 * spread;
    e.upper = m + 3.0 * spread;
    std::vector<double> used, used_background;
    for (std::size_t i = 0; i < thick_densities.size(); ++i)
        if (thick_densities[i] >= e.lower && thick_densities[i] <= e.upper) {
            used.push_back(thick_densities[i]);
            used_background.push_back(backgrounds[i]);
            e.points[candidates[i]].used = true;
        }
    mean_sd(used, &e.density, &e.density_sd);
    mean_sd(used_background, &e.background, &e.background_sd);
    e.ok = std::isfinite(e.density) && used.size() >= 5;
    e.doubtful = used.size() < 20 || e.density_sd > 0.1 * std::fabs(e.density);
    return e;
}

bool estimate_density(const slice_volume_t& volume, const surface_mesh_t& mesh, const thickness_config_t& config,
                      int threads, const thickness_progress_t& progress, density_estimate_t* estimate)
{
    thickness_config_t free = config;
    free.fit_all = true;
    std::vector<point_result_t> fits(mesh.points.size());
    const bool finished = for_each_point(fits.size(), threads, progress, [&](std::size_t i) {
        fits[i] = fit_at_point(volume, mesh.points[i].position, mesh.points[i].normal, free);
    });
    if (!finished)
        return false;
    *estimate = estimate_from_fits(fits);
    return true;
}
