// Reads a surface from a PLY file: ASCII or binary of either byte order,
// vertices with x, y, z and optional normals and colours, faces as index
// lists (polygons are split into triangle fans), and the landmark and curve
// comments that save_surface writes. Files come from anywhere, so every
// count, size and index is checked against the data before it is used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <wx/string.h>

#include "resources/recording_data.h"
#include "surfaces/surface_mesh.h"

struct ply_surface_t {
    surface_mesh_t mesh;  // triangles tagged 2: the file does not say which side of a sequence they came from
    bool has_normals = false;  // otherwise every normal is zero
    landmarks marks;           // surface landmarks of the object given to the reader
    curve_set curves;
    std::vector<std::string> comments;  // every comment line, in order
};

// The header may be no longer than this; a real header is a few hundred bytes.
inline constexpr std::size_t ply_header_limit = 1 << 16;

// Where a read failed: opening the file, its header (with the landmark and
// curve comments in it), or the data after the header.
enum class ply_failure_t { none, open, header, body };

// False, with the reason logged, for anything that is not a readable PLY
// surface; `failure`, when given, says where it failed.
bool read_ply(std::span<const std::uint8_t> bytes, std::int32_t object, ply_surface_t& out,
              ply_failure_t* failure = nullptr);
bool read_ply_file(const wxString& path, std::int32_t object, ply_surface_t& out, ply_failure_t* failure = nullptr);
