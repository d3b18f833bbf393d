#include "point_fit.h"

#include <algorithm>
#include <cmath>

#include "common/vertex_math.h"
#include "volumes/slice_volume.h"

namespace {

// Two unit vectors across d.
void across(const vertex3d& d, vertex3d* e1, vertex3d* e2)
{
    const vertex3d pick = std::fabs(d.x) < 0.9 ? vertex3d{1, 0, 0} : vertex3d{0, 1, 0};
    *e1 = cross(d, pick);
    *e1 = (1.0 / length(*e1)) * *e1;
    *e2 = cross(d, *e1);
}

// The share of the line outside the surface.
double outside_fraction(const thickness_config_t& c)
{
    return c.inner_layer || c.outer_layer ? 0.4 : 1.0 / 3.0;
}

}  // namespace

profile_t sample_profile(const slice_volume_t& volume, const vertex3d& point, const vertex3d& normal,
                         const thickness_config_t& config, double* step_mm, double* across_slices,
                         double* interpolation_variance)
{
    profile_t p;
    const double size = length(normal);
    const double pixel = 0.5 * (volume.xscale() + volume.yscale());
    if (!(size > 0.0) || !std::isfinite(size) || !(config.line_cm > 0.0) || !std::isfinite(config.line_cm) ||
        !(pixel > 0.0))
        return p;
    vertex3d d = (1.0 / size) * normal;
    if (config.in_frame) {
        // Within the slice plane: what is left of the normal there.
        const vertex3d in_plane = d - dot(d, volume.slice_normal()) * volume.slice_normal();
        if (dot(in_plane, in_plane) <= 0.01)
            return p;
        d = (1.0 / length(in_plane)) * in_plane;
    }
    // Two samples a pixel: a sample is the unit of the fit's blur, which must be able to go below a
    // pixel's (a scanner's blur is often under two pixels' FWHM).
    const double step = 0.5 * pixel;
    const int n = std::clamp(int(std::lround(config.line_cm / step)) + 1, 3, 4096);
    const double length_cm = step * double(n - 1);
    *step_mm = 10.0 * step;
    *across_slices = std::fabs(dot(d, volume.slice_normal()));
    if (interpolation_variance) {
        // Linear interpolation between voxels blurs a profile by a variance of a sixth of their
        // spacing squared along each axis the line runs across (on average over where samples fall).
        const double r2 = *across_slices * *across_slices, h = volume.slice_spacing();
        *interpolation_variance = ((1.0 - r2) * pixel * pixel + r2 * h * h) / 6.0 / (step * step);
    }
    // The surface point on a sample: whole samples outside it.
    const double outside = std::round(outside_fraction(config) * double(n - 1)) * step;
    const vertex3d start = point + outside * d;
    const vertex3d end = point - (length_cm - outside) * d;  // inwards

    const long w = std::clamp(config.width, 0L, 16L);
    vertex3d e1, e2;
    across(d, &e1, &e2);
    const auto samples = static_cast<std::size_t>(n);
    std::vector<double> sum(samples, 0.0), values(samples);
    std::vector<int> count(samples, 0);
    std::vector<char> valid(samples);
    for (long i = -w; i <= w; ++i)
        for (long j = -w; j <= w; ++j) {
            if (i * i + j * j > w * w)
                continue;  // the bundle is round
            const vertex3d shift = (double(i) * pixel) * e1 + (double(j) * pixel) * e2;
            volume.sample_on_line(start + shift, end + shift, n, values.data(), valid.data());
            for (std::size_t k = 0; k < samples; ++k)
                if (valid[k]) {
                    sum[k] += values[k];
                    ++count[k];
                }
        }
    p.values.resize(samples);
    p.valid.resize(samples);
    for (std::size_t k = 0; k < samples; ++k) {
        p.valid[k] = count[k] > 0;
        p.values[k] = count[k] > 0 ? sum[k] / count[k] : 0.0;
    }
    return p;
}

fit_plan_t plan_fit(const thickness_config_t& config, double step_mm, double across_slices,
                    double interpolation_variance)
{
    fit_plan_t plan;
    if (config.fit_all)
        return plan;
    const bool blur_known = config.gauss_mm < thickness_unknown && config.gauss_mm > 0.0;
    const bool fit_blur = !blur_known || config.post_blur || config.endo_model;
    plan.post_blur = config.post_blur && blur_known;  // an estimated blur cannot correct the density
    if (blur_known) {
        const double fwhm =
            blur(across_slices, config.gauss_mm, config.rect_mm > 0.0 ? config.rect_mm : thickness_unknown);
        const double scanner = fwhm / fwhm_per_sigma / step_mm;
        plan.known_sigma = std::max(std::sqrt(scanner * scanner + std::max(0.0, interpolation_variance)), 1e-3);
        if (!fit_blur)
            plan.setup.sigma = plan.known_sigma;
    }
    plan.setup.endo = config.endo_model;
    plan.setup.metal = config.metal;
    if (config.a < thickness_unknown)
        plan.setup.a = config.a;
    if (config.c < thickness_unknown)
        plan.setup.c = config.c;
    plan.fwhm_rule = config.fwhm_rule;
    // The local peak stands in for the density (fixed in fit_at_point once the profile is known).
    const bool density_known = config.b < thickness_unknown || config.local_density;
    if (density_known)
        plan.setup.b = config.b;
    else if (fit_blur)
        plan.fwhm_rule = true;  // the density and the blur cannot both come from one profile
    return plan;
}

double peak_fwhm(const cortex_t& model, int samples)
{
    // On a fine grid along the line: where the model rises above, and falls
    // back below, half-way from the outside level to its peak.
    const int fine = 16 * std::max(samples - 1, 1);
    double peak = -1e300;
    for (int i = 0; i <= fine; ++i)
        peak = std::max(peak, cortex_value(model, double(i) * double(samples - 1) / fine));
    // Half-way up from outside, half-way down to inside: a thick cortex measures its own thickness.
    const double rise_at = 0.5 * (peak + model.a), fall_at = 0.5 * (peak + (model.inner_edge ? model.c : model.b));
    double rise = -1.0, fall = -1.0;
    double previous = cortex_value(model, 0.0);
    for (int i = 1; i <= fine; ++i) {
        const double x = double(i) * double(samples - 1) / fine, v = cortex_value(model, x);
        const double x0 = x - double(samples - 1) / fine;
        if (rise < 0.0 && previous < rise_at && v >= rise_at)
            rise = x0 + (rise_at - previous) / (v - previous) * (x - x0);
        else if (rise >= 0.0 && previous >= fall_at && v < fall_at) {
            fall = x0 + (previous - fall_at) / (previous - v) * (x - x0);
            break;
        }
        previous = v;
    }
    return rise >= 0.0 && fall > rise ? fall - rise : thickness_unknown;
}

double threshold_thickness(const profile_t& p, const cortex_t& m)
{
    const long n = long(p.values.size());
    if (n < 3 || long(p.valid.size()) != n || !m.inner_edge)
        return thickness_unknown;
    auto ok = [&](long i) {
        return i >= 0 && i < n && p.valid[std::size_t(i)] && std::isfinite(p.values[std::size_t(i)]);
    };
    auto at = [&](long i) { return p.values[std::size_t(i)]; };
    // The profile's peak within the fitted cortex (a sample either side for a thin one).
    long peak = -1;
    for (long i = std::max(0L, long(std::floor(m.outer)) - 1); i <= std::min(n - 1, long(std::ceil(m.inner)) + 1); ++i)
        if (ok(i) && (peak < 0 || at(i) > at(peak)))
            peak = i;
    if (peak < 0)
        return thickness_unknown;
    const double rise_at = 0.5 * (m.a + at(peak)), fall_at = 0.5 * (m.c + at(peak));
    double rise = -1.0, fall = -1.0;
    for (long i = peak; ok(i - 1) && ok(i); --i)
        if (at(i - 1) < rise_at && at(i) >= rise_at) {
            rise = double(i - 1) + (rise_at - at(i - 1)) / (at(i) - at(i - 1));
            break;
        }
    for (long i = peak; ok(i) && ok(i + 1); ++i)
        if (at(i) >= fall_at && at(i + 1) < fall_at) {
            fall = double(i) + (at(i) - fall_at) / (at(i) - at(i + 1));
            break;
        }
    return rise >= 0.0 && fall > rise ? fall - rise : thickness_unknown;
}

bool refit_levels(const profile_t& p, std::span<const double> weights, double sigma, cortex_t* model)
{
    // The model is linear in the levels: v = a (1 - S_outer) + b (S_outer - S_inner) + c S_inner,
    // the inner step shared with the endocortical layer when there is one.
    cortex_t unit = *model;
    unit.sigma = sigma;
    unit.metal_side = 0;
    double ata[3][3] = {}, atb[3] = {};
    const int k = model->inner_edge ? 3 : 2;
    for (std::size_t i = 0; i < p.values.size(); ++i) {
        const double w = weights.empty() ? 1.0 : weights[i];
        if (!p.valid[i] || !std::isfinite(p.values[i]) || !(w > 0.0))
            continue;
        double basis[3];
        for (int j = 0; j < k; ++j) {
            unit.a = j == 0;
            unit.b = j == 1;
            unit.c = j == 2;
            basis[j] = cortex_value(unit, double(i));
        }
        // Metal's blur into the sample is no level's: taken off first.
        double metal_part = 0.0;
        if (model->metal_side != 0) {
            cortex_t with = *model, without = *model;
            with.sigma = without.sigma = sigma;
            without.metal_side = 0;
            metal_part = cortex_value(with, double(i)) - cortex_value(without, double(i));
        }
        for (int r = 0; r < k; ++r) {
            atb[r] += w * w * basis[r] * (p.values[i] - metal_part);
            for (int c = 0; c < k; ++c)
                ata[r][c] += w * w * basis[r] * basis[c];
        }
    }
    // Gaussian elimination with partial pivoting; a (near) singular system determines nothing.
    double scale = 0.0;
    for (int r = 0; r < k; ++r)
        scale = std::max(scale, ata[r][r]);
    for (int col = 0; col < k; ++col) {
        int pivot = col;
        for (int r = col + 1; r < k; ++r)
            if (std::fabs(ata[r][col]) > std::fabs(ata[pivot][col]))
                pivot = r;
        if (!(std::fabs(ata[pivot][col]) > 1e-12 * scale))
            return false;
        std::swap(ata[pivot], ata[col]);
        std::swap(atb[pivot], atb[col]);
        for (int r = col + 1; r < k; ++r) {
            const double f = ata[r][col] / ata[col][col];
            for (int c = col; c < k; ++c)
                ata[r][c] -= f * ata[col][c];
            atb[r] -= f * atb[col];
        }
    }
    double x[3] = {};
    for (int r = k - 1; r >= 0; --r) {
        double v = atb[r];
        for (int c = r + 1; c < k; ++c)
            v -= ata[r][c] * x[c];
        x[r] = v / ata[r][r];
    }
    if (!std::isfinite(x[0]) || !std::isfinite(x[1]) || !std::isfinite(x[2]))
        return false;
    model->a = x[0];
    model->b = x[1];
    if (k == 3)
        model->c = x[2];
    return true;
}

point_result_t fit_at_point(const slice_volume_t& volume, const vertex3d& point, const vertex3d& normal,
                            const thickness_config_t& config, point_fit_detail_t* detail)
{
    point_result_t r;
    double step_mm = 0.0, across_slices = 0.0, interpolation = 0.0;
    const profile_t profile = sample_profile(volume, point, normal, config, &step_mm, &across_slices, &interpolation);
    if (profile.values.empty())
        return r;
    const int n = int(profile.values.size());
    const double surface_sample = std::round(outside_fraction(config) * double(n - 1));
    fit_plan_t plan = plan_fit(config, step_mm, across_slices, interpolation);
    plan.setup.surface_sample = surface_sample;
    plan.setup.keep_stage = detail != nullptr;
    if (config.local_density && !(config.b < thickness_unknown) && !config.fit_all) {
        double peak = -1e300;
        for (int i = 0; i < n; ++i)
            if (profile.valid[std::size_t(i)] &&
                (!config.metal || profile.values[std::size_t(i)] <= plan.setup.metal_level))
                peak = std::max(peak, profile.values[std::size_t(i)]);
        if (peak > -1e300)
            plan.setup.b = peak;
    }
    fit_result_t fit = fit_profile(profile, plan.setup);
    if (detail)
        *detail = {profile, step_mm, surface_sample, plan, fit};
    if (!fit.ok || !fit.cortex.inner_edge)
        return r;
    cortex_t m = fit.cortex;
    // From the line's start to the surface point.
    const double surface_at = surface_sample * step_mm;
    double thickness = m.inner - m.outer - (m.endo_layer ? m.endo : 0.0);
    double density = m.b;
    if (config.threshold && !config.fit_all) {
        thickness = threshold_thickness(profile, m);
    } else if (plan.fwhm_rule) {
        thickness = peak_fwhm(m, n);
        // Under the FWHM rule the level between the edges only shapes the peak: the density is the peak as seen.
        density = -1e300;
        for (int i = 0; i < 16 * (n - 1); ++i)
            density = std::max(density, cortex_value(m, double(i) / 16.0));
    }
    if (!(thickness < thickness_unknown) || !std::isfinite(thickness))
        return r;
    if (plan.post_blur) {
        cortex_t corrected = m;
        if (refit_levels(profile, fit.stage.weights.empty() ? std::span<const double>() : fit.stage.weights,
                         plan.known_sigma, &corrected))
            density = corrected.b;
    }
    r.thickness = thickness * step_mm;
    r.thickness_error = fit.outer_error < thickness_unknown && fit.inner_error < thickness_unknown
                            ? std::hypot(fit.outer_error, fit.inner_error) * step_mm
                            : thickness_unknown;
    r.density = density;
    r.surface = surface_at - m.outer * step_mm;
    r.joint = surface_at - 0.5 * (m.outer + m.inner) * step_mm;
    r.joint_error = r.thickness_error < thickness_unknown ? 0.5 * r.thickness_error : thickness_unknown;
    // The scanner's blur: the fitted one without the sampling's own.
    r.blur = std::sqrt(std::max(0.0, m.sigma * m.sigma - interpolation)) * fwhm_per_sigma * step_mm;
    r.blur_error = fit.sigma_error < thickness_unknown ? fit.sigma_error * fwhm_per_sigma * step_mm : thickness_unknown;
    if (m.endo_layer) {
        r.endo = m.endo * step_mm;
        r.endo_error = fit.endo_error < thickness_unknown ? fit.endo_error * step_mm : thickness_unknown;
    }
    r.trabecular = m.c;
    r.trabecular_error = fit.c_error;
    r.tissue = m.a;
    r.across = across_slices;
    return r;
}
