#include "colour_tables.h"

#include <cstddef>

#include "code_space.h"

namespace {

constexpr std::uint16_t full = 65535;

// Nearest integer of num / den, halves upwards (num, den > 0).
constexpr std::uint16_t round_ratio(long num, long den)
{
    return static_cast<std::uint16_t>((2 * num + den) / (2 * den));
}

constexpr cmap16_t make_doppler_cmap()
{
    cmap16_t t{};
    for (long i = 0; i < 128; ++i) {
        const std::uint16_t v = round_ratio(i * full, 127);
        t[static_cast<std::size_t>(i)] = {v, v, v};
    }
    for (long k = 0; k < 64; ++k) {
        // (k + 22.5) * 65535 / 43 as (2k + 45) * 65535 / 86, to stay in integers.
        const std::uint16_t rising = k <= 20 ? round_ratio((2 * k + 45) * full, 86) : round_ratio((k - 20) * full, 43);
        if (k <= 20) {
            t[static_cast<std::size_t>(128 + k)] = {0, 0, rising};
            t[static_cast<std::size_t>(192 + k)] = {rising, 0, 0};
        } else {
            t[static_cast<std::size_t>(128 + k)] = {0, rising, full};
            t[static_cast<std::size_t>(192 + k)] = {full, rising, 0};
        }
    }
    return t;
}

struct rgb_t {
    double r, g, b;
};
struct knot_t {
    double at;  // position along the group, 0 at its first code, 1 at its last
    rgb_t colour;
};

// One strain table: the ramp that group 0 runs along, the tint later groups
// shrink towards, and whether they shrink at all.
struct strain_ramp_t {
    std::array<knot_t, 6> knots;
    std::size_t knot_count;
    rgb_t tint;
    bool shaded;
};

// Half the intensity span of each group; the rest of the range is tint.
constexpr std::array<double, strain_groups> half_span = {0.5, 0.4, 0.3, 0.22, 0.15, 0.1, 0.06, 0.03, 0.015, 0.005};

constexpr rgb_t ramp_at(const strain_ramp_t& ramp, double t)
{
    for (std::size_t k = 1; k < ramp.knot_count; ++k) {
        const knot_t& a = ramp.knots[k - 1];
        const knot_t& b = ramp.knots[k];
        if (t <= b.at || k + 1 == ramp.knot_count) {
            const double f = (t - a.at) / (b.at - a.at);
            return {a.colour.r + f * (b.colour.r - a.colour.r), a.colour.g + f * (b.colour.g - a.colour.g),
                    a.colour.b + f * (b.colour.b - a.colour.b)};
        }
    }
    return ramp.knots[0].colour;
}

// Components are truncated from units of 1/65536, so that 0.3 gives 19660.
constexpr std::uint16_t component16(double v)
{
    const double scaled = v * 65536.0 + 1e-6;
    if (!(scaled > 0.0))
        return 0;
    if (scaled >= 65535.0)
        return full;
    return static_cast<std::uint16_t>(scaled);
}

constexpr cmap16_t make_strain_cmap(const strain_ramp_t& ramp)
{
    cmap16_t t{};
    t[0] = {0, 0, 0};
    for (int g = 0; g < strain_groups; ++g) {
        const double h = ramp.shaded ? half_span[static_cast<std::size_t>(g)] : 0.5;
        const double scale = 2.0 * h, offset = 0.5 - h;
        const int levels = strain_range[static_cast<std::size_t>(g)];
        for (int k = 0; k < levels; ++k) {
            const rgb_t c = ramp_at(ramp, static_cast<double>(k) / (levels - 1));
            t[static_cast<std::size_t>(strain_start[static_cast<std::size_t>(g)] + k)] = {
                component16(scale * c.r + offset * ramp.tint.r), component16(scale * c.g + offset * ramp.tint.g),
                component16(scale * c.b + offset * ramp.tint.b)};
        }
    }
    return t;
}

constexpr rgb_t white{1, 1, 1}, black{0, 0, 0};
constexpr strain_ramp_t fade(rgb_t tint)
{
    return {{{{0.0, white}, {1.0, black}}}, 2, tint, true};
}

constexpr strain_ramp_t orangeblue{{{{0.0, {1.0, 0.65, 0.0}}, {1.0, {0.0, 1.0, 1.0}}}}, 2, white, true};
// Green stays at half intensity: the hue moves through red and blue alone.
constexpr strain_ramp_t pinkgreen{{{{0.0, {1.0, 0.5, 0.75}}, {1.0, {0.0, 0.5, 0.0}}}}, 2, white, true};
constexpr strain_ramp_t jet{{{{0.0, {0.5, 0.0, 0.0}},
                              {0.125, {1.0, 0.0, 0.0}},
                              {0.375, {1.0, 1.0, 0.0}},
                              {0.625, {0.0, 1.0, 1.0}},
                              {0.875, {0.0, 0.0, 1.0}},
                              {1.0, {0.0, 0.0, 0.55}}}},
                            6,
                            white,
                            true};
constexpr strain_ramp_t altjet{{{{0.0, {1.0, 0.0, 0.0}},
                                 {0.25, {1.0, 1.0, 0.0}},
                                 {0.5, {0.0, 1.0, 0.0}},
                                 {0.75, {0.0, 1.0, 1.0}},
                                 {1.0, {0.0, 0.0, 1.0}}}},
                               5,
                               white,
                               true};
constexpr strain_ramp_t grey{{{{0.0, white}, {1.0, black}}}, 2, black, false};

}  // namespace

constinit const cmap16_t doppler_cmap = make_doppler_cmap();
constinit const cmap16_t strain_cmap_orangeblue = make_strain_cmap(orangeblue);
constinit const cmap16_t strain_cmap_pinkgreen = make_strain_cmap(pinkgreen);
constinit const cmap16_t strain_cmap_jet = make_strain_cmap(jet);
constinit const cmap16_t strain_cmap_altjet = make_strain_cmap(altjet);
constinit const cmap16_t strain_cmap_redfade = make_strain_cmap(fade({1, 0, 0}));
constinit const cmap16_t strain_cmap_bluefade = make_strain_cmap(fade({0, 0, 1}));
constinit const cmap16_t strain_cmap_greenfade = make_strain_cmap(fade({0, 1, 0}));
constinit const cmap16_t strain_cmap_purplefade = make_strain_cmap(fade({1, 0, 1}));
constinit const cmap16_t strain_cmap_grey = make_strain_cmap(grey);

const cmap16_t& strain_cmap_for(long selection)
{
    switch (selection) {
    case 0: return strain_cmap_orangeblue;
    case 1: return strain_cmap_pinkgreen;
    case 2: return strain_cmap_jet;
    case 3: return strain_cmap_altjet;
    case 4: return strain_cmap_redfade;
    case 5: return strain_cmap_bluefade;
    case 6: return strain_cmap_greenfade;
    case 7: return strain_cmap_purplefade;
    default: return strain_cmap_grey;
    }
}
