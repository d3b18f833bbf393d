// The built-in 5x7 bitmap font of the raster plot painter: printable ASCII,
// legible at one pixel per dot and scaled by whole pixels for larger pictures.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int plot_glyph_width = 5;
inline constexpr int plot_glyph_height = 7;

// The rows of a character's glyph, top to bottom, bit 4 the leftmost dot;
// characters outside 32..126 show as '?'.
const std::array<std::uint8_t, plot_glyph_height>& plot_glyph(unsigned char c);
