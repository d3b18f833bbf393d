// The thickness results of the session's surfaces: one set per object,
// valid only while that object's surface is the one they were mapped over
// (a rebuilt or deleted surface drops them). What the Thickness pages, the
// 3D view and scripts call; the work itself is thickness/'s plain functions.
#pragma once

#include <map>
#include <memory>

#include "thickness/density_estimate.h"
#include "thickness/derived_surfaces.h"
#include "thickness/thickness_results.h"

class surface_interp;

class thickness {
public:
    long surface_object = -1;  // the surface the Thickness page and scripts work on

    // The surface as one mesh, its sequences one after another: the points
    // the results are indexed by.
    static surface_mesh_t mesh_of(const surface_interp& surface);

    // The results over object's surface; null when none were mapped over
    // the surface it has now.
    const thickness_results_t* results(int object) const;
    void clear(int object);

    // Fits every point of object's surface with the settings ("Mapping
    // thickness over"), then drops outliers and smooths as they say. False,
    // keeping what was held, when there is no surface or data, or on cancel.
    bool calc_thickness(int object, int threads = 0);
    // Thickness as the distance along each normal to the alternate surface.
    bool calc_thickness_from_surface(int object, int alternate, int threads = 0);
    // "Estimate cortical density" over object's surface; false when there
    // is nothing to estimate from or on cancel.
    bool estimate_density(int object, density_estimate_t* estimate, int threads = 0);
    // Smoothing with RES_THICKNESS_SMOOTH and _SMOOTH_FILL.
    void smooth(int object);

    // The result files under `base` (asking before replacing any), and
    // derived surfaces; RES_DAT_THICKNESS_FILES names the files.
    bool save_thickness(int object, const wxString& base);
    bool load_thickness(int object, const wxString& base);
    surface_mesh_t derived(int object, derived_surface_t kind) const;

    // One point fitted again with the settings held, with its profile, for
    // the picked point's text and plot. Not ok when it cannot be.
    point_result_t refit_point(int object, std::size_t point, point_fit_detail_t* detail) const;

private:
    struct held_t {
        std::weak_ptr<const surface_interp> surface;
        thickness_results_t results;
    };
    std::map<int, held_t> held_;
};

// The session's thickness results (RES_THICKNESS), made when first asked for.
thickness& thickness_session();
