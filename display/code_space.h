// The meaning of the 8-bit codes every image is stored in. A Doppler frame
// packs grey and two flow bands into one byte; a strain image packs a value
// and its precision as ten groups of levels, finer for more precise values.
// Interpolating codes must never blend across those boundaries, or a mix of
// grey and flow (or of two precisions) would land on an unrelated colour.
#pragma once

#include <array>
#include <cstdint>

// Doppler bands: 0 grey (0-127), 1 first flow colour (128-191), 2 second (192-255).
constexpr int doppler_group(int code)
{
    return code < 128 ? 0 : (code < 192 ? 1 : 2);
}

inline constexpr int strain_groups = 10;
inline constexpr std::array<int, strain_groups> strain_start = {1, 81, 141, 181, 205, 221, 233, 241, 246, 251};
inline constexpr std::array<int, strain_groups> strain_range = {80, 60, 40, 24, 16, 12, 8, 5, 5, 5};

// Group of every code; -1 for code 0, which means "no data".
inline constexpr std::array<std::int8_t, 256> strain_group = [] {
    std::array<std::int8_t, 256> g{};
    g[0] = -1;
    for (int k = 0; k < strain_groups; ++k)
        for (int c = strain_start[k]; c < strain_start[k] + strain_range[k]; ++c)
            g[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(k);
    return g;
}();
static_assert(strain_start[strain_groups - 1] + strain_range[strain_groups - 1] == 256, "groups must fill 1..255");

// Strain in [0, 1] at precision in [0, 1] (1 most precise) to a code; values
// outside are clamped to the group's ends.
std::uint8_t StrainToCode(double strain, double precision);
// Strain in [0, 1] of a code within its group, or -1.0 for code 0.
double CodeToStrain(int code);

// Weights are 16.16 fixed point with wa + wb == 65536.
inline std::uint8_t InterpDoppler(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb)
{
    if (doppler_group(a) == doppler_group(b))
        return static_cast<std::uint8_t>((a * wa + b * wb + 32768u) >> 16);
    return wa > wb ? a : b;
}

// Codes of different groups (or one of them "no data").
std::uint8_t interp_strain_across_groups(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb);

inline std::uint8_t InterpStrain(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb)
{
    if (strain_group[a] == strain_group[b])
        return static_cast<std::uint8_t>((a * wa + b * wb + 32768u) >> 16);
    return interp_strain_across_groups(a, b, wa, wb);
}
