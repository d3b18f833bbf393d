// The thickness operations as the Thickness page's buttons and the script's
// THICKNESS_ functions run them, on the session's thickness surface. Each
// returns false, with the reason logged or asked about through the
// interaction, when it did not do its work.
#pragma once

#include <wx/string.h>

#include "thickness/density_estimate.h"

// THICKNESS_SURFACE k: the object whose surface the operations work on; false
// when it has no surface. thickness_surface_object() is -1 until one is chosen.
bool choose_thickness_surface(long object);
long thickness_surface_object();

// THICKNESS_SURF_FIT: fits every point of the surface.
bool thickness_surf_fit();
// THICKNESS_EST_DENSITY: estimates the cortical density and the blur; the
// result text with "Show graphical results?" (or the doubtful or failure
// text) through the interaction. RES_THICKNESS_B (and the blurs, when they
// were estimated) take the estimate; a doubtful one only when confirmed.
// *estimate gets it for plotting, *show_plot whether the user asked to see it.
bool thickness_est_density(density_estimate_t* estimate = nullptr, bool* show_plot = nullptr);
// THICKNESS_ALTERNATE k: the alternate surface (RES_THICKNESS_SURF).
bool thickness_alternate(long object);
// THICKNESS_COMPARE: the thickness as the distance to the alternate surface.
bool thickness_compare();
// THICKNESS_SURF_SAVE, THICKNESS_SURF_LOAD: the results of the surface, and
// THICKNESS_SAVE_ALTERNATE those of the alternate surface, under
// thickness_file_base() of their object.
bool thickness_surf_save();
bool thickness_surf_load();
bool thickness_save_alternate();
// THICKNESS_CREATE: the derived surfaces (outer, inner, cortex, smoothed
// thickness) and the surface coloured with single results saved as PLY
// under the same base name (asking once before replacing any).
bool thickness_create();

// Where an object's thickness files go: beside the recording, named after it
// and the object ("<recording>_<object name>"), or after RES_FILENAME_STUB
// in the recording folder when no recording is named.
wxString thickness_file_base(long object);
