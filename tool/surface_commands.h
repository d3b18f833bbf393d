// kestrane-tool surface: surfaces built from each object's outlines, saved
// as PLY or VRML.
#pragma once

#include <vector>

#include <wx/string.h>

int run_surface(const std::vector<wxString>& args);
