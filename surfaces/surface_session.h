// Building the surfaces of the objects in memory: what "Update", "Update all"
// and the command line do.
#pragma once

#include <vector>

#include "surfaces/surface_interp.h"

// The settings from the session's resources, with the draw page's choices.
surface_settings_t surface_settings_from_session(int resolution_step, int smooth_type, int smooth_strength);

struct surface_update_t {
    std::vector<int> built;   // objects whose surface was replaced
    std::vector<int> failed;  // objects with outlines but no surface (reason logged); theirs is kept
    bool cancelled = false;   // the user stopped it: no surface was replaced
};

// Builds the surface of every object with outlines (or only `object` when it
// is not negative) under one progress dialog, then writes each into its
// RES_SURFACE slot; a cancelled update replaces none. Outlines that cannot be
// repaired are marked with landmarks.
surface_update_t update_surfaces(const surface_settings_t& settings, int object = -1);
