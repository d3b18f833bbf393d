#include "profile_fit.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "calibration/minpack_drivers.h"

namespace {

constexpr double barrier_cap = 6.0;  // 10^6 at a violation of 0.06 samples

// The free parameters of one fit, in MINPACK's vector.
struct layout_t {
    bool sigma = false, inner = false, a = false, b = false, c = false;
    int count() const { return 1 + int(sigma) + int(inner) + int(a) + int(b) + int(c); }
};

cortex_t model_of(const layout_t& l, const fit_setup_t& s, const cortex_t& start, const double* x)
{
    cortex_t m = start;
    int k = 0;
    if (l.sigma)
        m.sigma = x[k++];
    m.outer = x[k++];
    if (l.inner)
        m.inner = x[k++];
    if (l.a)
        m.a = x[k++];
    if (l.b)
        m.b = x[k++];
    if (l.c)
        m.c = x[k++];
    m.inner_edge = l.inner;
    m.rect = s.rect;
    return m;
}

std::vector<double> vector_of(const layout_t& l, const cortex_t& m)
{
    std::vector<double> x;
    if (l.sigma)
        x.push_back(m.sigma);
    x.push_back(m.outer);
    if (l.inner)
        x.push_back(m.inner);
    if (l.a)
        x.push_back(m.a);
    if (l.b)
        x.push_back(m.b);
    if (l.c)
        x.push_back(m.c);
    return x;
}

struct one_fit_t {
    int info = 0;
    cortex_t model;
    std::vector<double> covariance;
    double cost = 0.0;
};

one_fit_t solve(const profile_t& p, std::span<const double> weights, const layout_t& l, const fit_setup_t& s,
                const cortex_t& start)
{
    const int n = int(p.values.size());
    std::vector<int> used;
    for (int i = 0; i < n; ++i)
        if (p.valid[std::size_t(i)] && std::isfinite(p.values[std::size_t(i)]))
            used.push_back(i);
    const int barriers = 2 + (l.inner ? 2 : 0) + (l.sigma ? 2 : 0);
    const int m = int(used.size()) + barriers;
    const double last = double(n - 1);
    auto residuals = [&](int, int, const double* x, double* f, int) {
        for (int k = 0; k < l.count(); ++k)
            if (!std::isfinite(x[k]))
                return -1;  // a non-finite parameter ends the fit as a failure
        const cortex_t model = model_of(l, s, start, x);
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
        for (int k = 0; k < r; ++k)
            if (!std::isfinite(f[k]))
                return -1;
        return 0;
    };
    one_fit_t out;
    std::vector<double> x = vector_of(l, start);
    std::vector<double> fvec(static_cast<std::size_t>(m));
    out.info = ks_lmdif(residuals, m, l.count(), x, fvec, 1e-8, &out.covariance);
    out.model = model_of(l, s, start, x.data());
    for (std::size_t k = 0; k < used.size(); ++k)
        out.cost += fvec[k] * fvec[k];
    return out;
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

fit_result_t fit_profile(const profile_t& profile, const fit_setup_t& setup)
{
    fit_result_t result;
    const std::size_t n = profile.values.size();
    if (n < 3 || profile.valid.size() != n || (!profile.weights.empty() && profile.weights.size() != n))
        return result;
    std::vector<double> weights = profile.weights.empty() ? std::vector<double>(n, 1.0) : profile.weights;
    for (double& w : weights)
        if (!std::isfinite(w) || w < 0.0)
            w = 0.0;

    double outer = 0.0, inner = 0.0;
    find_edges(profile, &outer, &inner);
    std::size_t first = n, last_valid = 0, peak = n;
    for (std::size_t i = 0; i < n; ++i)
        if (profile.valid[i] && std::isfinite(profile.values[i])) {
            first = std::min(first, i);
            last_valid = i;
            if (peak == n || profile.values[i] > profile.values[peak])
                peak = i;
        }
    if (first == n)
        return result;
    cortex_t start;
    start.outer = setup.outer_start.value_or(outer);
    start.inner = setup.inner_start.value_or(inner);
    start.sigma = setup.sigma.value_or(std::max(1.0, 0.1 * double(n - 1)));
    start.a = setup.a.value_or(profile.values[first]);
    start.b = setup.b.value_or(profile.values[peak]);
    start.c = setup.c.value_or(profile.values[last_valid]);
    start.rect = setup.rect;

    layout_t layout;
    layout.sigma = !setup.sigma;
    layout.inner = setup.inner_edge;
    layout.a = !setup.a;
    layout.b = !setup.b;
    layout.c = !setup.c && setup.inner_edge;
    auto enough = [&](const layout_t& l) {
        return std::count_if(profile.valid.begin(), profile.valid.end(), [](char v) { return v != 0; }) > l.count();
    };
    auto run = [&](const layout_t& l, const cortex_t& from) {
        if (!enough(l))
            return one_fit_t{};  // no more valid samples than parameters: no solve
        one_fit_t fit = solve(profile, weights, l, setup, from);
        if (converged(fit.info) && setup.recentre) {
            // Recentred on the cortex (its centre, or its edge without an inner one), then again.
            std::vector<double> recentred = weights;
            const double centre = l.inner ? 0.5 * (fit.model.outer + fit.model.inner) : fit.model.outer;
            update_weighting_location(recentred, centre, false, true);
            one_fit_t again = solve(profile, recentred, l, setup, fit.model);
            if (converged(again.info))
                fit = again;
        }
        return fit;
    };
    one_fit_t fit = run(layout, start);
    bool dropped = false;
    if (layout.inner && setup.drop_inner) {
        const double outer_step = std::fabs(fit.model.b - fit.model.a),
                     inner_step = std::fabs(fit.model.c - fit.model.b);
        if (!converged(fit.info) || fit.model.inner <= fit.model.outer || inner_step < 0.25 * outer_step) {
            layout_t single = layout;
            single.inner = false;
            single.c = false;
            fit = run(single, start);
            dropped = true;
            layout = single;
        }
    }
    result.info = fit.info;
    result.inner_dropped = dropped;
    result.cortex = fit.model;
    result.cost = fit.cost;
    const auto& cov = fit.covariance;
    const int count = layout.count();
    if (!converged(fit.info))
        return result;
    for (double v : {fit.model.a, fit.model.b, fit.model.c, fit.model.outer, fit.model.inner, fit.model.sigma})
        if (!std::isfinite(v))
            return result;
    // A profile without a cortex (flat, or a step lost in the noise) has no edges to place.
    const long samples = std::count_if(profile.valid.begin(), profile.valid.end(), [](char v) { return v != 0; });
    const double noise = std::sqrt(fit.cost / double(std::max(1L, samples)));
    if (!(std::fabs(fit.model.b - fit.model.a) > std::max(1.0, 2.0 * noise)))
        return result;
    result.ok = true;
    auto error = [&](int k) {
        return std::size_t(count * count) == cov.size() && cov[std::size_t(k * count + k)] >= 0.0
                   ? std::sqrt(cov[std::size_t(k * count + k)])
                   : thickness_unknown;
    };
    int k = 0;
    if (layout.sigma)
        result.sigma_error = error(k++);
    result.outer_error = error(k++);
    if (layout.inner)
        result.inner_error = error(k++);
    if (layout.a)
        ++k;
    if (layout.b)
        result.b_error = error(k++);
    if (layout.c)
        result.c_error = error(k++);
    return result;
}
