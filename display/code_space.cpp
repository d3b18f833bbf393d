#include "code_space.h"

#include <algorithm>
#include <cmath>

namespace {

// Products that should be whole numbers land a hair below them in floating
// point (22 / 79 * 79 is 20.999999999999996): truncating those loses a level.
constexpr double whole_number_slack = 1e-9;

}  // namespace

std::uint8_t StrainToCode(double strain, double precision)
{
    // Clamp in floating point first: NaN or huge inputs must not reach an integer conversion.
    double q = 9.0 * precision + whole_number_slack;
    if (!(q >= 0.0))
        q = 0.0;
    q = std::min(q, 9.0);
    const int g = std::clamp(9 - static_cast<int>(q), 0, strain_groups - 1);
    const int range = strain_range[static_cast<std::size_t>(g)];
    const int start = strain_start[static_cast<std::size_t>(g)];
    const double scaled = strain * (range - 1);
    if (!(scaled > -1.0))  // negative levels (and NaN) take the group's first code
        return static_cast<std::uint8_t>(start);
    const int level = static_cast<int>(std::min(scaled + whole_number_slack, static_cast<double>(range - 1)));
    return static_cast<std::uint8_t>(start + level);
}

double CodeToStrain(int code)
{
    if (code <= 0 || code > 255)
        return -1.0;
    const int g = strain_group[static_cast<std::size_t>(code)];
    return static_cast<double>(code - strain_start[static_cast<std::size_t>(g)]) /
           (strain_range[static_cast<std::size_t>(g)] - 1);
}

std::uint8_t interp_strain_across_groups(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb)
{
    int ga = strain_group[a], gb = strain_group[b];
    int la = ga >= 0 ? a - strain_start[static_cast<std::size_t>(ga)] : 0;
    int lb = gb >= 0 ? b - strain_start[static_cast<std::size_t>(gb)] : 0;
    // A code without data borrows the other's group at its lowest level.
    if (ga < 0)
        ga = gb;
    if (gb < 0)
        gb = ga;
    const int g = std::clamp(static_cast<int>((ga * wa + gb * wb + 32768u) >> 16), 0, strain_groups - 1);
    const auto rescale = [g](int level, int own) {
        return ((level * strain_range[static_cast<std::size_t>(g)]) << 8) / strain_range[static_cast<std::size_t>(own)] >>
               8;
    };
    la = rescale(la, ga);
    lb = rescale(lb, gb);
    const int level = static_cast<int>((wa * static_cast<std::uint32_t>(la) + wb * static_cast<std::uint32_t>(lb) + 32768u) >> 16);
    // Weights that do not add up to 65536 must still not leave the group.
    return static_cast<std::uint8_t>(strain_start[static_cast<std::size_t>(g)] +
                                     std::min(level, strain_range[static_cast<std::size_t>(g)] - 1));
}
