// kestrane-tool surface: surfaces built from each object's outlines, saved
// as PLY or VRML.
#pragma once

#include <vector>

#include <wx/string.h>

int run_surface(const std::vector<wxString>& args);

// A --resolution value ("uber-low" ... "very-high") as the draw page's
// "Resolution:" selection.
bool surface_resolution_option(const wxString& name, int* selection);
