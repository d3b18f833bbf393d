// The fixed colour tables behind the colour maps: the Doppler table and the
// nine strain tables, 256 entries of 16-bit red, green and blue each
// (65535 is full intensity).
#pragma once

#include <array>
#include <cstdint>

using cmap16_entry_t = std::array<std::uint16_t, 3>;
using cmap16_t = std::array<cmap16_entry_t, 256>;

// Grey in 0-127, blue rising to cyan in 128-191, dark red through red to yellow in 192-255.
extern const cmap16_t doppler_cmap;

// Strain tables: in each precision group one end colour at the group's first
// code and the other at its last; group 0 spans full intensity and later
// groups shrink towards a darker tint. Entry 0 (no data) is black.
extern const cmap16_t strain_cmap_orangeblue;
extern const cmap16_t strain_cmap_pinkgreen;
extern const cmap16_t strain_cmap_jet;
extern const cmap16_t strain_cmap_altjet;
extern const cmap16_t strain_cmap_redfade;
extern const cmap16_t strain_cmap_bluefade;
extern const cmap16_t strain_cmap_greenfade;
extern const cmap16_t strain_cmap_purplefade;
extern const cmap16_t strain_cmap_grey;

// The table chosen by the strain colour map setting: 0 orange-blue,
// 1 pink-green, 2 jet, 3 alternative jet, 4 to 7 red, blue, green and purple
// fades, anything else grey.
const cmap16_t& strain_cmap_for(long selection);
