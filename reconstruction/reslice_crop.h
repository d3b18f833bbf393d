// Cropping a reslice to a surface: only the pixels inside the surface's
// sections through the sampled plane keep their values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/vertex.h"

class reslice_plane;

// Closed outlines in reslice pixels.
using reslice_sections = std::vector<std::vector<vertex2d>>;

// The sections of surface `surface` through the plane `offset` cm along the
// reslice normal; nothing when there is no such surface (the reslice is then
// not cropped). Called from the export's worker threads, so it must not touch
// the resources.
using surface_sections_fn = std::function<std::optional<reslice_sections>(int surface, const reslice_plane& plane,
                                                                           double offset)>;

// Sets to 0 every pixel (centres at whole coordinates) of the row-major image
// outside the sections, by the even-odd rule, so holes stay empty.
void crop_outside(std::vector<std::uint8_t>& values, long width, long height, const reslice_sections& sections);
