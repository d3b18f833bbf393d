// The thickness settings (RES_THICKNESS_...) as a fit configuration, every
// value bounded first: settings come from recordings, templates and
// scripts, and a wild one must not make a fit sample millions of lines.
#pragma once

#include <vector>

#include "thickness/derived_surfaces.h"
#include "thickness/point_fit.h"
#include "thickness/thickness_results.h"
#include "thickness/techniques.h"

// The configuration the settings held give: the line length finite and
// positive (else its default), the bundle half-width 0 to 16, blurs finite
// and positive or 1e10, densities finite or 1e10.
thickness_config_t thickness_config_from_settings();

// Chooses technique `type` (0 to 7): writes RES_THICKNESS_TYPE and the
// switches and values it sets, and gives the controls it fixes. An unknown
// type changes nothing and fixes nothing.
std::vector<thickness_control_t> choose_thickness_technique(long type);

// The controls technique `type` fixes, without changing anything.
std::vector<thickness_control_t> thickness_controls_fixed_by(long type);

// The object whose surface is the alternate surface, bounded: -1 unless
// RES_THICKNESS_SURF names an object that has a surface.
long alternate_surface_object();

// Outlier analysis as the settings have it (RES_THICKNESS_OUTLIER_REJECT,
// RES_THICKNESS_DISTANCE_REJECT; a distance of 0 turns it off): the number
// of points whose results were dropped.
std::size_t drop_outliers_as_set(const surface_mesh_t& mesh, thickness_results_t* results);

// The parts of the cortex surface ("Inc. inner", "outer", "caps"); all of
// them when none is chosen (a cortex of nothing is no use).
cortex_parts_t cortex_parts_from_settings();
