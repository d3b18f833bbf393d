// Saving a built surface as VRML 1.0, VRML 2.0 or binary PLY (world
// centimetres, with its landmarks and curves as comments), or for other
// programs as binary STL or Wavefront OBJ (millimetres, LPS; OBJ keeps the
// comments). Triangles run anticlockwise seen from outside, and the STL
// facet normals and OBJ vertex normals point out. Called by the 3D view's
// save command; the PLY reader beside it reads such files (and others') back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "resources/recording_data.h"
#include "surfaces/surface_mesh.h"

enum class surface_format_t { vrml1, vrml2, ply, stl, obj };

// The format a name asks for by its extension (any case): .ply, .wrl (VRML
// 2.0 when `vrml2`, else 1.0), .stl or .obj; none for any other.
std::optional<surface_format_t> surface_format_for(const wxString& path, bool vrml2);

struct surface_save_t {
    surface_format_t format = surface_format_t::ply;
    rgb_t colour;                 // the object's colour
    double opacity = 1.0;         // the object's opacity; VRML stores 1 - opacity
    std::int32_t object = 0;      // whose surface landmarks are written
    const landmarks* marks = nullptr;
    const curve_set* curves = nullptr;
    // Further comment lines (a shape model's landmarks), after the landmarks and curves.
    const std::vector<std::string>* extra_comments = nullptr;
};

// Writes the surface to `path` through a temporary file, so that a failed
// save leaves any old file as it was. False, with the reason logged, when the
// mesh is unusable (an index past the points, a coordinate that is not a
// number) or anything cannot be written.
bool save_surface(const wxString& path, const surface_mesh_t& mesh, const surface_save_t& how);
