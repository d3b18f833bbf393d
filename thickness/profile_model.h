// The model of a line profile across a cortex: a density that is level a
// outside the outer edge, b between the edges (the cortex) and c inside the
// inner edge, optionally with an endocortical layer and metal, blurred by the scanner: a Gaussian of standard deviation sigma
// and, across slices, a box. Positions are in samples along the profile
// (sample i at i). The blurred steps are evaluated exactly (error functions),
// not through a sampled kernel.
#pragma once

#include <span>

struct cortex_t {
    double a = 0.0, b = 0.0, c = 0.0;  // levels (HU): outside, cortex, inside
    double outer = 0.0, inner = 0.0;   // edge positions (samples)
    double sigma = 1.0;                // Gaussian blur (samples)
    double rect = 0.0;                 // full width of the box blur (samples), 0 for none
    bool inner_edge = true;            // without one, b runs to the end of the line
    // An endocortical layer: the last `endo` samples before the inner edge,
    // half-way between cortex and inside, where the cortex turns trabecular.
    bool endo_layer = false;
    double endo = 0.0;
    // Metal (an implant) from `metal_edge` to the end of the line (+1, inside
    // the bone) or from its start (-1, outside); 0 for none.
    int metal_side = 0;
    double metal_edge = 0.0, metal = 8000.0;
};

// The blurred model at position x.
double cortex_value(const cortex_t& m, double x);
// At every sample 0 .. out.size() - 1.
void cortex_profile(const cortex_t& m, std::span<double> out);

// The blur along a line whose direction has component r along the
// out-of-plane axis, from the in-plane s and out-of-plane S:
// sqrt(r^2 S^2 + (1 - r^2) s^2); S of 1e10 (not known) gives s.
double blur(double r, double s, double S);

// In-plane and out-of-plane blur from the sums the density estimate
// gathers. With D = c e - a^2: nothing (both 0, false) unless D > 0 and
// x = (e b - a d) / D > 0; then in = sqrt(x), and out = sqrt((c d - a b) / D + x)
// when that square exceeds x / 9, else in / 3.
bool calc_blur(double a, double b, double c, double d, double e, double* in, double* out);

// Weights for the samples around sample position loc, falling off with the
// distance from it: with u = (i + loc) / (n - 1), w = (i - loc) / (n - 1) and
// k = 19 (n - 1) / loc, u / (k w^4 + u) (quartic) or u / (k w^2 + u);
// multiplied into the weights held when `multiply`. loc is held to
// [1, n - 2] (a cortex fitted off the line would make them infinite or
// negative), and every weight is finite, within [0, 1]. Needs n >= 3
// (otherwise the weights are all 1).
void update_weighting_location(std::span<double> weights, double loc, bool quartic, bool multiply);

// A Gaussian's full width at half maximum per standard deviation.
inline constexpr double fwhm_per_sigma = 2.3548200450309493;
// The "not known / no result" value of the thickness settings and results.
inline constexpr double thickness_unknown = 1e10;
