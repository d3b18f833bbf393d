// Combining the planes of a thick reslice, one pixel at a time. 0 means no
// data in both the running value and the new one.
#pragma once

#include <cstdint>

#include "reslice_geometry.h"

// Grey data. `seen` is how many earlier planes gave this pixel data; the
// average weighs only those, so empty planes never dim a pixel.
std::uint8_t compound_grey(reslice_compounding_t how, std::uint8_t running, std::uint8_t next, unsigned seen);

// Colour-flow data: values below 192 are grey, 192 and up colour codes. For
// minimum and maximum a colour code ranks as its value less 64 against grey;
// the average reads 128..191 as velocities -1..-64 and 192..255 as 0..63 (grey
// as 0) whenever either value is 128 or above.
std::uint8_t compound_doppler(reslice_compounding_t how, std::uint8_t running, std::uint8_t next, unsigned seen);
