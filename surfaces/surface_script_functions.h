// The script's object and surface functions: CURRENT_OBJECT, RENAME_CURRENT,
// OBJECT_OPACITY, SURFACE_RESOLUTION, SURFACE_SMOOTH_TYPE,
// SURFACE_SMOOTHING, SURFACE_ALL, SURFACE_CURRENT, IMPORT_SURFACE and
// SAVE_CURRENT_SURFACE, each the Draw page's action of the same name. The
// resolution, smoothing type and strength are the Draw page's choices (as
// its lists number them; Medium, none and 0 until a script sets them).
#pragma once

class script_function_table_t;

void register_surface_functions(script_function_table_t& table);
