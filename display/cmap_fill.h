// Building the 256-entry colour map for each display mode, and the byte
// tables derived from it so that converting images needs no floating point.
#pragma once

#include <array>
#include <cstdint>

// Components in [0, 1], as the drawing code and OpenGL pixel maps take them.
struct float_cmap_t {
    std::array<float, 256> red{}, green{}, blue{};
    float alpha = 1.0f;
};

// Byte components, and the same three packed into one word per entry
// (red in the lowest byte) for converting four pixels at a time.
struct byte_cmap_t {
    std::array<std::uint8_t, 256> red8{}, green8{}, blue8{};
    std::array<std::uint32_t, 256> packed{};
};

void fill_grey_cmap(float_cmap_t& map);
void fill_doppler_cmap(float_cmap_t& map);
// selection and invert are the strain colour map settings.
void fill_strain_cmap(float_cmap_t& map, long selection, bool invert);
void fill_grey_binary_cmap(float_cmap_t& map, long lo, long hi, long anti);
// Band thresholds already offset by the band's first code (blue band 128, red band 192).
void fill_doppler_binary_cmap(float_cmap_t& map, long grey_lo, long grey_hi, long red_lo, long red_hi, long blue_lo,
                              long blue_hi);

// Maps 0 and 1 ease each component within a group: x between the group's
// end values xs and xe is moved along an S-curve. A component that does not
// change within the group is left as it is.
double strain_ease(double x, double xs, double xe);

// Truncated to bytes, clamped to 0..255 (NaN gives 0).
byte_cmap_t make_byte_cmap(const float_cmap_t& map);

// The packed table that writes each code into red, green and blue alike.
const byte_cmap_t& identity_grey_bytes();
