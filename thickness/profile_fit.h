// Fitting the cortex model to one sampled profile: Levenberg-Marquardt
// without derivatives (MINPACK lmdif, tolerance 1e-8) over the free
// parameters, in the order sigma, outer edge, inner edge, endocortical
// thickness, then the free levels a, b, c and the metal's. Parameters out of order are held back by barrier
// residuals. After a converged fit the weights are recentred on the
// cortex and the fit is run again; an inner edge the data do not support is
// dropped and the fit repeated with the outer edge alone.
//
// Plain data in and out, no state between calls: any number of fits may run
// at once on different threads.
#pragma once

#include <optional>
#include <vector>

#include "thickness/profile_model.h"

struct profile_t {
    std::vector<double> values;   // HU, one per sample
    std::vector<char> valid;      // 0 where nothing was sampled (outside the data, padding, metal)
    std::vector<double> weights;  // empty: all 1
};

struct fit_setup_t {
    // Fixed when given, fitted otherwise.
    std::optional<double> sigma;  // samples
    std::optional<double> a, b, c;
    double rect = 0.0;       // box blur (samples), never fitted here
    bool inner_edge = true;  // model an inner edge
    bool recentre = true;    // the second fit with weights around the cortex
    bool drop_inner = true;  // refit without the inner edge when the data do not support it
    // Starting edges (samples); found from the profile when not given.
    std::optional<double> outer_start, inner_start;
    bool endo = false;  // fit an endocortical layer (with the inner edge)
    // Model metal (samples above metal_level, HU) at the line's end on the
    // side of it where it lies from `surface_sample`; the samples beyond the
    // metal's edge are left out.
    bool metal = false;
    double metal_level = 3000.0;
    double surface_sample = -1.0;  // where the surface point lies; -1: a third of the way in
    bool keep_stage = false;       // keep the last solve's inputs in the result
};

// What one solve fitted (the others held at their start).
struct fit_free_t {
    bool sigma = false, outer = true, inner = false, endo = false, a = false, b = false, c = false, metal = false;
    int count() const;
};

// The inputs of the last solve of a fit, for checking it elsewhere: its
// weights (samples left out at 0), the model it started from and what it
// fitted.
struct fit_stage_t {
    std::vector<double> weights;
    cortex_t start;
    fit_free_t free;
};

struct fit_result_t {
    bool ok = false;
    int info = 0;         // MINPACK's code of the last fit
    int evaluations = 0;  // of the residuals by that fit
    cortex_t cortex;  // the fitted model
    // Standard errors (samples, HU) of what was fitted; thickness_unknown otherwise.
    double sigma_error = thickness_unknown, outer_error = thickness_unknown, inner_error = thickness_unknown,
           endo_error = thickness_unknown, b_error = thickness_unknown, c_error = thickness_unknown;
    double cost = 0.0;  // the weighted sum of squared residuals over the samples
    bool inner_dropped = false;
    bool all_metal = false;  // nothing but metal along the line
    fit_stage_t stage;       // with setup.keep_stage

    // Between the edges, in samples (thickness_unknown without a result or an inner edge).
    double thickness() const;
};

// The fit, or !ok: too few valid samples for the free parameters (no solve
// then), a solve that did not converge (MINPACK 1 to 3 only), or anything
// non-finite.
fit_result_t fit_profile(const profile_t& profile, const fit_setup_t& setup);

// Where the profile's edges seem to lie: the crossings of half-way between
// the outside level and the peak, before and after the peak; (n - 1) / 6 and
// 5 (n - 1) / 6 when there is no clear peak.
void find_edges(const profile_t& profile, double* outer, double* inner);

// Where the metal meets the rest of the profile (samples) and on which side
// (+1: from there to the end, -1: from the start to there; 0: no metal).
int find_metal(const profile_t& profile, double level, double surface_sample, double* edge);

// The blur (samples) the profile's outer rise suggests: the rise from a
// quarter to three quarters of the way up to the peak spans 1.349 sigma.
// Held to [1, (n - 1) / 4]; 0.1 (n - 1) there when the rise is not clear.
double find_sigma(const profile_t& profile, double outer);

// A barrier residual for a violation v (positive when out of order):
// 10^(100 v), which is at most 1 while in order, growing linearly past
// v = 0.06 so that it never overflows.
double barrier(double v);
