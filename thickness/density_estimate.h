// "Estimate cortical density": the cortex's real density and the scan's blur
// from the whole surface. Every point is fitted with everything free; where
// the cortex is thick against the blur the fitted density is its real one,
// and the fitted blurs, against how much each line runs across the slices,
// give the in-plane and out-of-plane blur (calc_blur).
#pragma once

#include <vector>

#include "thickness/thickness_map.h"

struct density_point_t {
    double thickness = 0.0;  // mm, as fitted with everything free
    double density = 0.0;    // HU, the fitted cortical level
    double peak = 0.0;       // HU, the blurred profile's highest value
    bool used = false;       // counted in the density
};

struct density_estimate_t {
    bool ok = false;        // enough thick cortex to say
    bool doubtful = false;  // few points, or a wide spread
    double density = 0.0, density_sd = 0.0;
    double background = 0.0, background_sd = 0.0;  // outside the bone
    double blur_fwhm = 0.0;                        // the mean fitted FWHM (mm)
    double in_fwhm = 0.0, out_fwhm = 0.0;          // from calc_blur (mm), 0 when it cannot tell
    double lower = 0.0, upper = 0.0;               // the density measurements kept lie within these
    std::vector<density_point_t> points;           // for the plot

    // "Estimated real cortical density is ... Estimated FWHM blur is ..."
    wxString text() const;
};

// False when cancelled (progress as for map_thickness).
bool estimate_density(const slice_volume_t& volume, const surface_mesh_t& mesh, const thickness_config_t& config,
                      int threads, const thickness_progress_t& progress, density_estimate_t* estimate);

// The estimate from points already fitted with everything free (with the
// profile's component across the slices of each).
density_estimate_t estimate_from_fits(const std::vector<point_result_t>& fits);
