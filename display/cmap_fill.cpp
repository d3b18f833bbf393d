#include "cmap_fill.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "code_space.h"
#include "colour_tables.h"

namespace {

void set_entry(float_cmap_t& map, int i, double r, double g, double b)
{
    const auto k = static_cast<std::size_t>(i);
    map.red[k] = static_cast<float>(r);
    map.green[k] = static_cast<float>(g);
    map.blue[k] = static_cast<float>(b);
}

void set_grey(float_cmap_t& map, int i)
{
    const double v = i / 256.0;  // so that 255 is just below white
    set_entry(map, i, v, v, v);
}

void set_from16(float_cmap_t& map, int i, const cmap16_entry_t& c)
{
    set_entry(map, i, c[0] / 65535.0, c[1] / 65535.0, c[2] / 65535.0);
}

void set_magenta(float_cmap_t& map, int i, double level)
{
    set_entry(map, i, level, 0.0, level);
}

std::uint8_t to_byte(float x)
{
    const float scaled = x * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(scaled);
}

}  // namespace

void fill_grey_cmap(float_cmap_t& map)
{
    for (int i = 0; i < 256; ++i)
        set_grey(map, i);
}

void fill_doppler_cmap(float_cmap_t& map)
{
    for (int i = 0; i < 256; ++i)
        set_from16(map, i, doppler_cmap[static_cast<std::size_t>(i)]);
}

double strain_ease(double x, double xs, double xe)
{
    const double span = xe - xs;
    if (span == 0.0 || !std::isfinite(span))
        return x;
    const double t = (x - xs) / span;
    const double d = t - 0.5;
    return ((0.5 * t + 0.25) + 2.0 * d * d * d) * span + xs;
}

void fill_strain_cmap(float_cmap_t& map, long selection, bool invert)
{
    const cmap16_t& table = strain_cmap_for(selection);
    const bool eased = selection == 0 || selection == 1;
    set_entry(map, 0, 0.0, 0.0, 0.0);
    for (int c = 1; c < 256; ++c) {
        const int g = strain_group[static_cast<std::size_t>(c)];
        const int s = strain_start[static_cast<std::size_t>(g)];
        const int e = s + strain_range[static_cast<std::size_t>(g)] - 1;
        // Read each group backwards unless inverted, so that the top of a group is the first colour.
        const int source = invert ? c : s + e - c;
        std::array<double, 3> v{};
        for (std::size_t k = 0; k < 3; ++k) {
            v[k] = table[static_cast<std::size_t>(source)][k] / 65535.0;
            if (eased) {
                const double xs = table[static_cast<std::size_t>(s)][k] / 65535.0;
                const double xe = table[static_cast<std::size_t>(e)][k] / 65535.0;
                v[k] = std::clamp(strain_ease(v[k], xs, xe), 0.0, 1.0);
            }
        }
        set_entry(map, c, v[0], v[1], v[2]);
    }
}

void fill_grey_binary_cmap(float_cmap_t& map, long lo, long hi, long anti)
{
    if (lo == 0 && hi == 0) {
        fill_grey_cmap(map);
        return;
    }
    for (int i = 0; i < 256; ++i) {
        bool full = false, half = false;
        if (lo <= hi) {
            full = i >= lo && i <= hi;
            half = (hi <= anti && anti < i) || (lo >= anti && anti > i);
        } else {
            full = i < hi || i > lo;
            half = (hi == 0 && lo >= anti && anti > i) || (lo == 255 && hi <= anti && anti < i);
        }
        if (full)
            set_magenta(map, i, 1.0);
        else if (half)
            set_magenta(map, i, 0.5);
        else
            set_grey(map, i);
    }
}

void fill_doppler_binary_cmap(float_cmap_t& map, long grey_lo, long grey_hi, long red_lo, long red_hi, long blue_lo,
                              long blue_hi)
{
    for (int i = 0; i < 256; ++i) {
        const int band = doppler_group(i);
        const long lo = band == 0 ? grey_lo : (band == 1 ? blue_lo : red_lo);
        const long hi = band == 0 ? grey_hi : (band == 1 ? blue_hi : red_hi);
        const bool highlighted = lo <= hi ? (i >= lo && i <= hi) : (i < hi || i > lo);
        if (highlighted)
            set_magenta(map, i, 1.0);
        else
            set_from16(map, i, doppler_cmap[static_cast<std::size_t>(i)]);
    }
}

byte_cmap_t make_byte_cmap(const float_cmap_t& map)
{
    byte_cmap_t bytes;
    for (std::size_t i = 0; i < 256; ++i) {
        bytes.red8[i] = to_byte(map.red[i]);
        bytes.green8[i] = to_byte(map.green[i]);
        bytes.blue8[i] = to_byte(map.blue[i]);
        bytes.packed[i] = bytes.red8[i] | (std::uint32_t{bytes.green8[i]} << 8) | (std::uint32_t{bytes.blue8[i]} << 16);
    }
    return bytes;
}

const byte_cmap_t& identity_grey_bytes()
{
    static const byte_cmap_t grey = [] {
        byte_cmap_t b;
        for (std::size_t i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            b.red8[i] = b.green8[i] = b.blue8[i] = v;
            b.packed[i] = static_cast<std::uint32_t>(i) * 0x010101u;
        }
        return b;
    }();
    return grey;
}
