// Cortical thickness at one point of a bone's surface: a profile of CT
// values along the surface normal, from outside the bone inwards, fitted
// with the cortex model as the settings configure it.
#pragma once

#include <span>

#include "common/vertex.h"
#include "thickness/profile_fit.h"

class slice_volume_t;

// What a fit takes from the thickness settings, in the program's units. Levels
// and blurs of 1e10 are estimated at every point.
struct thickness_config_t {
    double line_cm = 1.8;   // RES_THICKNESS_LINE: the profile's length
    long width = 0;         // RES_THICKNESS_WIDTH: half-width of a bundle of parallel profiles (pixels), 0 to 16
    bool in_frame = false;  // RES_THICKNESS_IN_FRAME: profiles within the slice plane
    double a = thickness_unknown, b = thickness_unknown, c = thickness_unknown;  // HU
    double gauss_mm = thickness_unknown;                                         // in-plane FWHM
    double rect_mm = 0.0;                                                        // out-of-plane FWHM
    bool fwhm_rule = false, post_blur = false, endo_model = false;
    bool threshold = false;      // edges where the profile crosses half-way to its peak
    bool local_density = false;  // the cortical density fixed at the profile's own peak
    bool metal = false;          // model metal at the line's ends
    bool inner_layer = false, outer_layer = false;  // the layer modes: 0.4 of the line outside
    // Everything free, whatever the rules say (the density estimate's first pass).
    bool fit_all = false;
};

// One point's results (thickness_unknown where there is none). Lengths in
// mm; positions along the normal from the surface point, outwards positive.
struct point_result_t {
    double thickness = thickness_unknown, thickness_error = thickness_unknown;
    double density = thickness_unknown;                                 // cortical (HU)
    double surface = thickness_unknown;                                 // the outer edge
    double joint = thickness_unknown, joint_error = thickness_unknown;  // the cortex's centre
    double blur = thickness_unknown, blur_error = thickness_unknown;    // FWHM
    double endo = thickness_unknown, endo_error = thickness_unknown;
    double trabecular = thickness_unknown, trabecular_error = thickness_unknown;
    double tissue = thickness_unknown;  // outside (HU)
    double across = 0.0;                // the profile's component along the slice normal (not saved)
    bool ok() const { return thickness != thickness_unknown; }
};

// The samples of the profile at `point` along `normal` (pointing out of the
// bone): two samples a pixel (the mean pixel size) over the line length
// rounded to whole samples, a third of it outside the surface (0.4 in the
// layer modes); a bundle averages its parallel lines. Empty when the
// normal is zero, or lies across the slices in the in-frame mode. With
// `interpolation_variance`, the blur (samples^2) the interpolation between
// voxels adds along this line.
profile_t sample_profile(const slice_volume_t& volume, const vertex3d& point, const vertex3d& normal,
                         const thickness_config_t& config, double* step_mm, double* across_slices,
                         double* interpolation_variance = nullptr);

// The setup of one fit from the settings (the configuration rules): sigma
// fixed from the blurs when known (and neither post-correction nor the
// endocortical model asks for it), levels fixed when known, the cortical
// density not fitted under the FWHM rule, which is switched on when both it
// and the blur would be fitted.
struct fit_plan_t {
    fit_setup_t setup;
    bool fwhm_rule = false;
    bool post_blur = false;
    double known_sigma = 0.0;  // samples, when the blur is known (post-correction's)
};
// The known blur is the scanner's with the interpolation's (samples^2) added.
fit_plan_t plan_fit(const thickness_config_t& config, double step_mm, double across_slices,
                    double interpolation_variance = 0.0);

// The width of a fitted profile's peak at half height, in samples: from
// half-way up from the outside level to half-way down to the inside level.
// The FWHM rule's thickness.
double peak_fwhm(const cortex_t& model, int samples);

// Everything behind one point's result: to plot its profile, or check its fit.
struct point_fit_detail_t {
    profile_t profile;
    double step_mm = 0.0;
    double surface_sample = 0.0;  // where the surface point lies on the line
    fit_plan_t plan;
    fit_result_t fit;  // with the last solve's inputs
};

// The fit at the point, configured as the settings say.
point_result_t fit_at_point(const slice_volume_t& volume, const vertex3d& point, const vertex3d& normal,
                            const thickness_config_t& config, point_fit_detail_t* detail = nullptr);

// Thresholding: the distance (samples) between where the profile crosses
// half-way from the outside level up to its peak and half-way down to the
// inside level, searched outwards from the model's cortex; thickness_unknown
// when it does not cross.
double threshold_thickness(const profile_t& profile, const cortex_t& model);

// The levels a, b, c best fitting the profile (least squares over the
// weighted samples) with the edges of `model` and the blur `sigma`:
// post-correction of the density for the blur. False when they are not
// determined.
bool refit_levels(const profile_t& profile, std::span<const double> weights, double sigma, cortex_t* model);
