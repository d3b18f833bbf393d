// What the Thickness visual page shows of the results on the surface: the
// quantities it offers, where a value falls on the colour scale, its colour,
// and the session's surfaces coloured with them. Headless (no window), so
// the mapping is tested on its own; the page and the 3D view's picking call it.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "surfaces/surface_cut.h"
#include "surfaces/surface_mesh.h"
#include "thickness/thickness_results.h"

class surface_interp;

// RES_THICKNESS_DISP_MAP, in the order the "Show:" choice lists them.
enum class thickness_shown_t {
    thickness,           // mm
    smoothed_thickness,  // mm
    thickness_error,     // mm
    density,             // cortical, HU
    density_thickness,   // cortical density x thickness, HU mm
    surface_offset,      // the outer edge along the normal, outwards positive, mm
    blur,                // FWHM, mm
    endo_thickness,      // the endocortical layer, mm
    trabecular_density,  // HU
    tissue_density,      // outside the bone, HU
    count
};
inline constexpr const char* thickness_shown_names[] = {
    "Thickness",      "Smoothed thickness", "Thickness error",        "Cortical density",   "Density x thickness",
    "Surface offset", "Blur (FWHM)",        "Endocortical thickness", "Trabecular density", "Soft-tissue density"};

// RES_THICKNESS_DISP_COL.
inline constexpr const char* thickness_colour_map_names[] = {"Rainbow", "Grey", "Hot"};

// The colour scale, from the settings (RES_THICKNESS_DISP_MAP, _DISP_COL,
// _SCALE_MM, _SCALE_HU, _SCALE_HUMM, _ZERO_HU), each bounded: a scale of
// nothing or of a wild size would colour everything alike.
struct thickness_scale_t {
    thickness_shown_t shown = thickness_shown_t::thickness;
    long map = 0;
    long scale_mm = 40, scale_hu = 20, scale_humm = 8, zero_hu = 0;
};
thickness_scale_t thickness_scale_from_settings();

// The scale's ends, in the shown quantity's unit:
//   mm quantities: 0 to SCALE_MM / 10 mm;
//   the surface offset: -SCALE_MM / 20 to +SCALE_MM / 20 mm (the drawn surface mid-scale);
//   densities: ZERO_HU to ZERO_HU + SCALE_HU x 100 HU;
//   density x thickness: 0 to SCALE_HUMM x 1000 HU mm (2000 HU over 4 mm at the defaults).
struct scale_ends_t {
    double lo = 0.0, hi = 1.0;
};
scale_ends_t scale_ends(const thickness_scale_t& scale);
const char* scale_unit(thickness_shown_t shown);

// The shown quantity at a point; thickness_unknown where it has none.
double shown_value(const thickness_results_t& results, thickness_shown_t shown, std::size_t point);
// Where a value lies between the scale's ends, clamped to 0..1; nothing for
// no result (thickness_unknown or not finite).
std::optional<double> scale_fraction(double value, const thickness_scale_t& scale);
// A place on the scale (0..1) through colour map `map` (an unknown map is the rainbow).
rgb_t scale_colour(double fraction, long map);
inline constexpr rgb_t no_result_colour{128, 128, 128};
// One colour per result point; no_result_colour where the shown quantity has none.
std::vector<rgb_t> thickness_colours(const thickness_results_t& results, const thickness_scale_t& scale);

// The colour at one end of a surface's cut, its points numbered as the
// results are: the shown quantity mixed by the end's weights where both
// points have it, else the nearer point's colour (no_result_colour for none).
rgb_t cut_colour(const thickness_results_t& results, const thickness_scale_t& scale, const cut_end_t& end);

// The point of `mesh` nearest `p`; nothing for an empty mesh.
std::optional<std::size_t> nearest_point(const surface_mesh_t& mesh, const vertex3d& p);

// Colours each surface that has results with them, and gives the surfaces
// it coloured before their own colour back once their results are gone.
class thickness_colourer_t {
public:
    // Surfaces whose colours changed, for the caller to redraw.
    int colour_session_surfaces();

private:
    std::map<int, std::weak_ptr<surface_interp>> coloured_;
};
