#include "profile_fit.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "calibration/minpack_drivers.h"

namespace {

constexpr double barrier_cap = 6.0;     // 10^6 at a violation of 0.06 samples
constexpr double metal_floor = 3000.0;  // HU
constexpr double metal_reach = 4.0;     // samples of a metal edge's blur kept out of the pre-analysis
// A fit still going after this many evaluations is lost in a valley of the model (a thin cortex whose
// density runs off towards metal's as it thins to nothing, everything free): it would fail or end at
// absurd values; sound fits need a few dozen.
constexpr int max_evaluations_per_parameter = 60;

// The parameters of one fit in MINPACK's vector, in their fixed order.
template <class Visit>
void for_each_free(const fit_free_t& l, cortex_t& m, Visit visit)
{
    if (l.sigma)
        visit(m.sigma);
    visit(m.outer);
    if (l.inner)
        visit(m.inner);
    if (l.endo)
        visit(m.endo);
    if (l.a)
        visit(m.a);
    if (l.b)
        visit(m.b);
    if (l.c)
        visit(m.c);
    if (l.metal)
        visit(m.metal);
}

cortex_t model_of(const fit_free_t& l, const cortex_t& start, const double* x)
{
    cortex_t m = start;
    int k = 0;
    for_each_free(l, m, [&](double& v) { v = x[k++]; });
    m.inner_edge = l.inner;
    m.endo_layer = l.inner && l.endo;
    return m;
}

std::vector<double> vector_of(const fit_free_t& l, cortex_t m)
{
    std::vector<double> x;
    for_each_free(l, m, [&](double& v) { x.push_back(v); });
    return x;
}

struct one_fit_t {
    int info = 0, evaluations = 0;
    cortex_t model;
    std::vector<double> covariance;
    double cost = 0.0;
};

// Weights of 0 leave a sample out.
one_fit_t solve(const profile_t& p, std::span<const double> weights, const fit_free_t& l, const cortex_t& start)
{
    const int n = int(p.values.size());
    std::vector<int> used;
    for (int i = 0; i < n; ++i)
        if (p.valid[std::size_t(i)] && std::isfinite(p.values[std::size_t(i)]) && weights[std::size_t(i)] > 0.0)
            used.push_back(i);
    const int barriers = 2 + (l.inner ? 2 : 0) + (l.sigma ? 2 : 0) + (l.endo ? 2 : 0) + (l.metal ? 1 : 0);
    const int m = int(used.size()) + barriers;
    const double last = double(n - 1);
    auto residuals = [&](int, int, const double* x, double* f, int) {
        for (int k = 0; k < l.count(); ++k)
            if (!std::isfinite(x[k]))
                return -1;  // a non-finite parameter ends the fit as a failure
        const cortex_t model = model_of(l, start, x);
        int r = 0;
        for (int i : used)
            f[r++] = weights[std::size_t(i)] * (cortex_value(model, double(i)) - p.values[std::size_t(i)]);
        // Edges within the line and in order; sigma between 1 sample and a quarter of the line.
        f[r++] = barrier(-model.outer);
        f[r++] = barrier(model.outer - last);
        if (l.inner) {
            f[r++] = barrier(model.outer - model.inner);
            f[r++] = barrier(model.inner - last);
        }
        if (l.sigma) {
            f[r++] = barrier(1.0 - model.sigma);
            f[r++] = barrier(model.sigma - 0.25 * last);
        }
        if (l.endo) {  // the layer within the cortex
            f[r++] = barrier(-model.endo);
            f[r++] = barrier(model.endo - (model.inner - model.outer));
        }
        if (l.metal)  // metal is denser than any bone: a metal level of at least metal_floor
            f[r++] = barrier((metal_floor - model.metal) / 100.0);
        for (int k = 0; k < r; ++k)
            if (!std::isfinite(f[k]))
                return -1;
        return 0;
    };
    one_fit_t out;
    std::vector<double> x = vector_of(l, start);
    std::vector<double> fvec(static_cast<std::size_t>(m));
    out.info = ks_lmdif(residuals, m, l.count(), x, fvec, 1e-8, &out.covariance,
                        max_evaluations_per_parameter * (l.count() + 1), &out.evaluations);
    out.model = model_of(l, start, x.data());
    for (std::size_t k = 0; k < used.size(); ++k)
        out.cost += fvec[k] * fvec[k];
    return out;
}

// The weighted squared deviations of the samples a solve used from their weighted mean: the cost of
// a profile without any cortex.
double flat_cost(const profile_t& p, const std::vector<double>& weights)
{
    double sum = 0.0, weight = 0.0, flat = 0.0;
    auto used = [&](std::size_t i) { return p.valid[i] && std::isfinite(p.values[i]) && weights[i] > 0.0; };
    for (std::size_t i = 0; i < weights.size(); ++i)
        if (used(i)) {
            sum += weights[i] * weights[i] * p.values[i];
            weight += weights[i] * weights[i];
        }
    const double mean = weight > 0.0 ? sum / weight : 0.0;
    for (std::size_t i = 0; i < weights.size(); ++i)
        if (used(i))
            flat += weights[i] * weights[i] * (p.values[i] - mean) * (p.values[i] - mean);
    return flat;
}

bool converged(int info)
{
    return info >= 1 && info <= 3;
}

}  // namespace

double barrier(double v)
{
    const double e = 100.0 * v;
    if (!(e > barrier_cap))
        return std::pow(10.0, std::max(e, -300.0));
    // Past the cap: the tangent line, so the Jacobian stays finite.
    return std::pow(10.0, barrier_cap) * (1.0 + std::log(10.0) * (e - barrier_cap));
}

double fit_result_t::thickness() const
{
    return ok && cortex.inner_edge ? cortex.inner - cortex.outer : thickness_unknown;
}

void find_edges(const profile_t& p, double* outer, double* inner)
{
    const std::size_t n = p.values.size();
    *outer = double(n - 1) / 6.0;
    *inner = 5.0 * double(n - 1) / 6.0;
    std::vector<std::size_t> good;
    for (std::size_t i = 0; i < n; ++i)
        if (p.valid[i] && std::isfinite(p.values[i]))
            good.push_back(i);
    if (good.size() < 5)
        return;
    std::size_t peak = good.front();
    for (std::size_t i : good)
        if (p.values[i] > p.values[peak])
            peak = i;
    const double outside = p.values[good.front()], inside = p.values[good.back()], top = p.values[peak];
    if (peak == good.front() || peak == good.back() || top <= std::max(outside, inside))
        return;
    const double rise = 0.5 * (outside + top), fall = 0.5 * (inside + top);
    // The last crossing before the peak, and the first after it, by linear interpolation.
    for (std::size_t k = 1; k < good.size() && good[k] <= peak; ++k) {
        const std::size_t i0 = good[k - 1], i1 = good[k];
        if (p.values[i0] < rise && p.values[i1] >= rise)
            *outer = double(i0) + (rise - p.values[i0]) / (p.values[i1] - p.values[i0]) * double(i1 - i0);
    }
    for (std::size_t k = 1; k < good.size(); ++k) {
        const std::size_t i0 = good[k - 1], i1 = good[k];
        if (i0 >= peak && p.values[i0] >= fall && p.values[i1] < fall) {
            *inner = double(i0) + (p.values[i0] - fall) / (p.values[i0] - p.values[i1]) * double(i1 - i0);
            break;
        }
    }
    if (*inner <= *outer) {
        *outer = double(n - 1) / 6.0;
        *inner = 5.0 * double(n - 1) / 6.0;
    }
}

double find_sigma(const profile_t& p, double outer)
{
    const long n = long(p.values.size());
    const double fallback = std::max(1.0, 0.1 * double(n - 1)), low = 1.0, high = std::max(1.0, 0.25 * double(n - 1));
    auto ok = [&](long i) {
        return i >= 0 && i < n && p.valid[std::size_t(i)] && std::isfinite(p.values[std::size_t(i)]);
    };
    long first = 0;
    while (first < n && !ok(first))
        ++first;
    long peak = -1;
    for (long i = first; i < n; ++i)
        if (ok(i) && (peak < 0 || p.values[std::size_t(i)] > p.values[std::size_t(peak)]))
            peak = i;
    if (peak <= first || !(outer > double(first)) || !(outer < double(peak)))
        return fallback;
    const double base = p.values[std::size_t(first)], top = p.values[std::size_t(peak)];
    // The crossings of a level, walking down from the peak towards the outside.
    auto crossing = [&](double level) {
        for (long i = peak; i > first; --i)
            if (ok(i) && ok(i - 1) && p.values[std::size_t(i - 1)] < level && p.values[std::size_t(i)] >= level)
                return double(i - 1) + (level - p.values[std::size_t(i - 1)]) /
                                           (p.values[std::size_t(i)] - p.values[std::size_t(i - 1)]);
        return -1.0;
    };
    const double q1 = crossing(base + 0.25 * (top - base)), q3 = crossing(base + 0.75 * (top - base));
    if (!(q1 >= 0.0 && q3 > q1))
        return fallback;
    return std::clamp((q3 - q1) / 1.3489795003921634, low, high);
}

int fit_free_t::count() const
{
    return int(sigma) + int(outer) + int(inner) + int(endo) + int(a) + int(b) + int(c) + int(metal);
}

int find_metal(const profile_t& p, double level, double surface_sample, double* edge)
{
    const long n = long(p.values.size());
    *edge = -1.0;
    auto ok = [&](long i) {
        return i >= 0 && i < n && p.valid[std::size_t(i)] && std::isfinite(p.values[std::size_t(i)]);
    };
    auto metal = [&](long i) { return ok(i) && p.values[std::size_t(i)] > level; };
    const long surface = surface_sample >= 0.0 ? long(std::ceil(surface_sample)) : (n - 1 + 2) / 3;
    // Inside: the first metal sample from the surface on; outside: the last before it.
    int side = 0;
    long k = -1;
    for (long i = std::max(0L, surface); i < n && k < 0; ++i)
        if (metal(i)) {
            side = +1;
            k = i;
        }
    for (long i = std::min(n, surface); i-- > 0 && k < 0;)
        if (metal(i)) {
            side = -1;
            k = i;
        }
    if (side == 0)
        return 0;
    // The edge where the profile crosses half-way from the bone next to it up to the metal.
    const long towards = -side;  // from the metal to the bone
    double high = p.values[std::size_t(k)], low = high;
    for (long i = k; metal(i); i -= towards)
        high = std::max(high, p.values[std::size_t(i)]);
    for (long i = k + towards, j = 0; ok(i) && j < 8; i += towards, ++j)
        low = std::min(low, p.values[std::size_t(i)]);
    const double half = 0.5 * (low + high);
    // Walking from the bone into the metal, around the first metal sample.
    long from = k;
    while (ok(from + towards) && std::abs(from + towards - k) <= 8)
        from += towards;
    for (long i = from; ok(i) && ok(i - towards) && std::abs(i - k) <= 8; i -= towards) {
        const double v0 = p.values[std::size_t(i)], v1 = p.values[std::size_t(i - towards)];
        if (v0 < half && v1 >= half) {
            *edge = double(i) + (half - v0) / (v1 - v0) * double(-towards);
            return side;
        }
    }
    *edge = double(k) + 0.5 * double(towards);  // a step between two samples
    return side;
}

fit_result_t fit_profile(const profile_t& profile, const fit_setup_t& setup)
{
    fit_result_t result;
    const std::size_t n = profile.values.size();
    if (n < 3 || profile.valid.size() != n || (!profile.weights.empty() && profile.weights.size() != n))
        return result;
    std::vector<double> weights = profile.weights.empty() ? std::vector<double>(n, 1.0) : profile.weights;
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isfinite(weights[i]) || weights[i] < 0.0 || !profile.valid[i] || !std::isfinite(profile.values[i]))
            weights[i] = 0.0;

    cortex_t start;
    if (setup.metal) {
        bool any = false, every = true;
        for (std::size_t i = 0; i < n; ++i)
            if (weights[i] > 0.0) {
                any = true;
                every = every && profile.values[i] > setup.metal_level;
            }
        result.all_metal = any && every;
        if (result.all_metal)
            return result;
        start.metal_side = find_metal(profile, setup.metal_level, setup.surface_sample, &start.metal_edge);
        // Samples beyond the metal's edge are left out; its blur into the rest stays modelled.
        double top = setup.metal_level;
        for (std::size_t i = 0; i < n; ++i) {
            const bool beyond = start.metal_side > 0 ? double(i) > start.metal_edge
                                                     : start.metal_side < 0 && double(i) < start.metal_edge;
            if (beyond) {
                if (profile.valid[i] && std::isfinite(profile.values[i]))
                    top = std::max(top, profile.values[i]);
                weights[i] = 0.0;
            }
        }
        start.metal = std::max(8000.0, top);
    }
    // The pre-analysis and the starting levels see only the samples used, and none within the
    // reach of metal's blur (which would pass for the cortex's peak).
    profile_t used = profile;
    for (std::size_t i = 0; i < n; ++i)
        used.valid[i] = weights[i] > 0.0 && profile.valid[i] && std::isfinite(profile.values[i]);
    const long samples = std::count(used.valid.begin(), used.valid.end(), char(1));
    if (samples == 0)
        return result;
    if (start.metal_side != 0) {
        profile_t clear = used;
        for (std::size_t i = 0; i < n; ++i)
            if (std::fabs(double(i) - start.metal_edge) < metal_reach)
                clear.valid[i] = 0;
        if (std::count(clear.valid.begin(), clear.valid.end(), char(1)) >= 5)
            used = std::move(clear);
    }

    double outer = 0.0, inner = 0.0;
    find_edges(used, &outer, &inner);
    std::size_t first = n, last_valid = 0, peak = n;
    for (std::size_t i = 0; i < n; ++i)
        if (used.valid[i]) {
            first = std::min(first, i);
            last_valid = i;
            if (peak == n || profile.values[i] > profile.values[peak])
                peak = i;
        }
    start.outer = setup.outer_start.value_or(outer);
    start.inner = setup.inner_start.value_or(inner);
    start.sigma = setup.sigma.value_or(find_sigma(used, outer));
    // Levels from the line's ends; next to metal the ends carry its blur, so the lowest there instead.
    double before = profile.values[first], after = profile.values[last_valid];
    for (std::size_t i = first; i <= last_valid; ++i)
        if (used.valid[i]) {
            if (i < peak && start.metal_side < 0)
                before = std::min(before, profile.values[i]);
            if (i > peak && start.metal_side > 0)
                after = std::min(after, profile.values[i]);
        }
    start.a = setup.a.value_or(before);
    start.b = setup.b.value_or(profile.values[peak]);
    start.c = setup.c.value_or(after);
    start.rect = setup.rect;
    start.endo = 1.0;

    fit_free_t layout;
    layout.sigma = !setup.sigma;
    layout.inner = setup.inner_edge;
    layout.endo = setup.inner_edge && setup.endo;
    layout.a = !setup.a;
    layout.b = !setup.b;
    layout.c = !setup.c && setup.inner_edge;
    layout.metal = start.metal_side != 0;
    fit_stage_t stage;
    auto run = [&](const fit_free_t& l, const cortex_t& from) {
        if (samples <= l.count())
            return one_fit_t{};  // no more valid samples than parameters: no solve
        stage = {weights, from, l};
        one_fit_t fit = solve(profile, weights, l, from);
        if (converged(fit.info) && setup.recentre) {
            // Recentred on the cortex (its centre, or its edge without an inner one), then again.
            std::vector<double> recentred = weights;
            const double centre = l.inner ? 0.5 * (fit.model.outer + fit.model.inner) : fit.model.outer;
            update_weighting_location(recentred, centre, false, true);
            one_fit_t again = solve(profile, recentred, l, fit.model);
            if (converged(again.info)) {
                stage = {std::move(recentred), fit.model, l};
                fit = again;
            }
        }
        return fit;
    };
    one_fit_t fit = run(layout, start);
    if (layout.inner && setup.drop_inner) {
        const double outer_step = std::fabs(fit.model.b - fit.model.a),
                     inner_step = std::fabs(fit.model.c - fit.model.b);
        if (!converged(fit.info) || fit.model.inner <= fit.model.outer || inner_step < 0.25 * outer_step) {
            fit_free_t single = layout;
            single.inner = single.endo = single.c = false;
            fit = run(single, start);
            result.inner_dropped = true;
            layout = single;
        }
    }
    result.info = fit.info;
    result.evaluations = fit.evaluations;
    result.cortex = fit.model;
    result.cost = fit.cost;
    if (setup.keep_stage)
        result.stage = std::move(stage);
    if (!converged(fit.info))
        return result;
    for (double v : {fit.model.a, fit.model.b, fit.model.c, fit.model.outer, fit.model.inner, fit.model.sigma,
                     fit.model.endo, fit.model.metal})
        if (!std::isfinite(v))
            return result;
    // A profile without a cortex (flat, or a step lost in the noise) has no edges to place: the model
    // must explain most of how the samples vary, and its step must stand out of the noise. (With the
    // density held, a flat profile is "fitted" by a cortex squeezed to nothing.)
    const double noise = std::sqrt(fit.cost / double(std::max(1L, samples)));
    if (!(std::fabs(fit.model.b - fit.model.a) > std::max(1.0, 2.0 * noise)))
        return result;
    if (!(fit.cost < 0.5 * flat_cost(profile, result.stage.weights.empty() ? stage.weights : result.stage.weights)))
        return result;
    result.ok = true;
    const auto& cov = fit.covariance;
    const int count = layout.count();
    int k = 0;
    auto error = [&]() {
        const int at = k++;
        return std::size_t(count * count) == cov.size() && cov[std::size_t(at * count + at)] >= 0.0
                   ? std::sqrt(cov[std::size_t(at * count + at)])
                   : thickness_unknown;
    };
    if (layout.sigma)
        result.sigma_error = error();
    result.outer_error = error();
    if (layout.inner)
        result.inner_error = error();
    if (layout.endo)
        result.endo_error = error();
    if (layout.a)
        error();
    if (layout.b)
        result.b_error = error();
    if (layout.c)
        result.c_error = error();
    return result;
}
