#include "profile_model.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double inv_sqrt2 = 0.70710678118654752440;
constexpr double inv_sqrt2pi = 0.39894228040143267794;

double phi(double z)
{
    return 0.5 * std::erfc(-z * inv_sqrt2);
}
double density(double z)
{
    return inv_sqrt2pi * std::exp(-0.5 * z * z);
}
// The integral of phi up to z.
double phi_integral(double z)
{
    return z * phi(z) + density(z);
}

// A unit step at `edge` as the scanner sees it at x.
double blurred_step(double x, double edge, double sigma, double rect)
{
    const double s = std::max(sigma, 1e-9);
    if (rect <= 1e-9)
        return phi((x - edge) / s);
    // The Gaussian-blurred step averaged over the box [x - rect/2, x + rect/2].
    const double hi = (x + 0.5 * rect - edge) / s, lo = (x - 0.5 * rect - edge) / s;
    return s / rect * (phi_integral(hi) - phi_integral(lo));
}

}  // namespace

double cortex_value(const cortex_t& m, double x)
{
    double v = m.a + (m.b - m.a) * blurred_step(x, m.outer, m.sigma, m.rect);
    if (m.inner_edge && m.endo_layer) {
        const double half = 0.5 * (m.c - m.b);
        v += half * blurred_step(x, m.inner - m.endo, m.sigma, m.rect) +
             half * blurred_step(x, m.inner, m.sigma, m.rect);
    } else if (m.inner_edge) {
        v += (m.c - m.b) * blurred_step(x, m.inner, m.sigma, m.rect);
    }
    if (m.metal_side < 0)
        v += (m.metal - m.a) * (1.0 - blurred_step(x, m.metal_edge, m.sigma, m.rect));
    else if (m.metal_side > 0)
        v += (m.metal - (m.inner_edge ? m.c : m.b)) * blurred_step(x, m.metal_edge, m.sigma, m.rect);
    return v;
}

void cortex_profile(const cortex_t& m, std::span<double> out)
{
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = cortex_value(m, double(i));
}

double blur(double r, double s, double S)
{
    if (S >= 1e10)
        return s;
    return std::sqrt(r * r * S * S + (1.0 - r * r) * s * s);
}

bool calc_blur(double a, double b, double c, double d, double e, double* in, double* out)
{
    *in = *out = 0.0;
    const double D = c * e - a * a;
    if (!(D > 0.0))
        return false;
    const double x = (e * b - a * d) / D;
    if (!(x > 0.0) || !std::isfinite(x))
        return false;
    *in = std::sqrt(x);
    const double square = (c * d - a * b) / D + x;
    *out = square > x / 9.0 ? std::sqrt(square) : *in / 3.0;
    return true;
}

void update_weighting_location(std::span<double> weights, double loc, bool quartic, bool multiply)
{
    const std::size_t n = weights.size();
    if (n < 3 || !std::isfinite(loc)) {
        if (!multiply)
            std::fill(weights.begin(), weights.end(), 1.0);
        return;
    }
    const double last = double(n - 1);
    loc = std::clamp(loc, 1.0, last - 1.0);
    const double k = 19.0 * last / loc;
    for (std::size_t i = 0; i < n; ++i) {
        const double u = (double(i) + loc) / last, w = (double(i) - loc) / last;
        const double fall = quartic ? w * w * w * w : w * w;
        const double weight = std::clamp(u / (k * fall + u), 0.0, 1.0);
        weights[i] = multiply ? weights[i] * weight : weight;
    }
}
