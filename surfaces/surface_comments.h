// The landmarks and curves of a surface as comment lines of its VRML and PLY
// files, and reading them back from a PLY file's comments. The lines carry no
// comment prefix: each format adds its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/recording_data.h"

// Appends v with `decimals` fixed decimals; independent of the C locale,
// which the GUI may set to one with a decimal comma.
void append_fixed(std::string& out, double v, int decimals);

// The surface landmarks of `object` and every curve, one string per line:
//   LANDMARK "name" x y z
//   CLOSED_LANDCURVE "name" n     (or OPEN_LANDCURVE), then n lines "x y z"
// Control characters in names would break the line structure of both
// formats (a newline in a PLY header ends the comment), so they are written
// as blanks and a warning is logged.
std::vector<std::string> surface_comment_lines(const landmarks& marks, std::int32_t object, const curve_set& curves);

// Reads the landmark and curve lines among `lines`, ignoring other comments.
// The landmarks come back as surface landmarks of `object`. False, with a
// logged reason, for a malformed landmark or curve line.
bool read_surface_comments(const std::vector<std::string>& lines, std::int32_t object, landmarks& marks,
                           curve_set& curves);
