// A mesh shown on its own in the 3D window, apart from the objects'
// surfaces: the patch a curve split off a surface.
#pragma once

#include <wx/string.h>

#include "surfaces/surface_mesh.h"

class wrl_object {
public:
    surface_mesh_t mesh;   // the patch, open along the cut
    surface_mesh_t rest;   // what the cut left of the surface it came from
    int from_object = -1;  // the object whose surface it came from
    std::size_t from_sequence = 0;  // the sequence of that surface it was cut from
    wxString name;
};
