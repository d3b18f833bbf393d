#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <wx/log.h>

#include "code_space.h"
#include "rgb_convert.h"

namespace {

// Where each destination column (or row) samples the source. Positions are
// worked out in floating point and only those inside the source become
// indices, so no origin or zoom can produce an index outside it.
struct axis_t {
    int first = 0, last = 0;  // destination positions [first, last) land inside the source
    std::vector<int> base;    // floor of the position in pixel-centre units, -1 .. size - 1
    std::vector<double> frac; // and the fraction beyond it
    std::vector<int> nearest; // the pixel the position lies in

    axis_t(double origin, double zoom, int n, int size)
        : base(static_cast<std::size_t>(n)), frac(static_cast<std::size_t>(n)), nearest(static_cast<std::size_t>(n))
    {
        first = n;
        for (int p = 0; p < n; ++p) {
            const double pos = origin + (p + 0.5) / zoom;
            if (!(pos >= 0.0 && pos < size))
                continue;
            first = std::min(first, p);
            last = p + 1;
            const double u = pos - 0.5;
            const double b = std::floor(u);
            const auto k = static_cast<std::size_t>(p);
            base[k] = static_cast<int>(b);
            frac[k] = std::clamp(u - b, 0.0, 1.0);
            nearest[k] = std::min(static_cast<int>(pos), size - 1);
        }
        if (first >= last)
            first = last = 0;
    }
    bool inside(int p) const { return p >= first && p < last; }
};

int clamp_index(int i, int size)
{
    return std::clamp(i, 0, size - 1);
}

// 16.16 weight of the second of two taps.
std::uint32_t upper_weight(double frac)
{
    return std::min<std::uint32_t>(static_cast<std::uint32_t>(frac * 65536.0), 65535u);
}

struct lerp_grey_t {
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb) const
    {
        return static_cast<std::uint8_t>((a * wa + b * wb + 32768u) >> 16);
    }
};
struct lerp_doppler_t {
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb) const
    {
        return InterpDoppler(a, b, wa, wb);
    }
};
struct lerp_strain_t {
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb) const
    {
        return InterpStrain(a, b, wa, wb);
    }
};
// Code 0 is background: it hands its weight to the other code.
template <class F>
struct skip_zero_t {
    std::uint8_t operator()(std::uint8_t a, std::uint8_t b, std::uint32_t wa, std::uint32_t wb) const
    {
        if (a == 0)
            return b;
        if (b == 0)
            return a;
        return F{}(a, b, wa, wb);
    }
};

// Writes one output row: background outside the image, colours inside.
class row_writer_t {
public:
    row_writer_t(const resample_setup_t& setup, const byte_cmap_t& maps, int dst_w, bool zero_is_background)
        : setup_(setup), maps_(maps), dst_w_(dst_w), zero_is_background_(zero_is_background)
    {
    }
    void background(std::uint8_t* out, int from, int to) const
    {
        for (int i = from; i < to; ++i)
            std::memcpy(out + static_cast<std::size_t>(i) * 3, setup_.background.data(), 3);
    }
    void write(std::uint8_t* out, const std::uint8_t* codes, int first, int last) const
    {
        background(out, 0, first);
        map_row_to_rgb(maps_, codes + first, out + static_cast<std::size_t>(first) * 3,
                       static_cast<std::size_t>(last - first));
        background(out, last, dst_w_);
        if (zero_is_background_)
            for (int i = first; i < last; ++i)
                if (codes[i] == 0)
                    background(out, i, i + 1);
    }

private:
    const resample_setup_t& setup_;
    const byte_cmap_t& maps_;
    int dst_w_;
    bool zero_is_background_;
};

struct frame_t {
    const std::uint8_t* src;
    int w, h;
    std::uint8_t* dst;
    int dst_w, dst_h;
    bool flip;
    const std::uint8_t* row(int r) const { return src + static_cast<std::size_t>(r) * static_cast<std::size_t>(w); }
    std::uint8_t* out_row(int j) const
    {
        return dst + static_cast<std::size_t>(j) * static_cast<std::size_t>(dst_w) * 3;
    }
    int position_of_row(int j) const { return flip ? dst_h - 1 - j : j; }
};

void resample_nearest(const frame_t& f, const axis_t& ax, const axis_t& ay, const row_writer_t& writer)
{
    std::vector<std::uint8_t> codes(static_cast<std::size_t>(f.dst_w));
    for (int j = 0; j < f.dst_h; ++j) {
        const int p = f.position_of_row(j);
        if (!ay.inside(p)) {
            writer.background(f.out_row(j), 0, f.dst_w);
            continue;
        }
        const std::uint8_t* row = f.row(ay.nearest[static_cast<std::size_t>(p)]);
        for (int i = ax.first; i < ax.last; ++i)
            codes[static_cast<std::size_t>(i)] = row[ax.nearest[static_cast<std::size_t>(i)]];
        writer.write(f.out_row(j), codes.data(), ax.first, ax.last);
    }
}

template <class F>
void resample_linear(const frame_t& f, const axis_t& ax, const axis_t& ay, const row_writer_t& writer)
{
    const F lerp{};
    const auto n = static_cast<std::size_t>(f.dst_w);
    std::vector<int> i0(n), i1(n);
    std::vector<std::uint32_t> w1(n);
    for (int i = ax.first; i < ax.last; ++i) {
        const auto k = static_cast<std::size_t>(i);
        i0[k] = clamp_index(ax.base[k], f.w);
        i1[k] = clamp_index(ax.base[k] + 1, f.w);
        w1[k] = upper_weight(ax.frac[k]);
    }
    // Horizontally interpolated source rows, two slots by row parity.
    std::vector<std::uint8_t> cache[2] = {std::vector<std::uint8_t>(n), std::vector<std::uint8_t>(n)};
    int cached[2] = {-1, -1};
    const auto horizontal = [&](int r) -> const std::uint8_t* {
        const int slot = r & 1;
        if (cached[slot] != r) {
            const std::uint8_t* row = f.row(r);
            std::uint8_t* out = cache[slot].data();
            for (int i = ax.first; i < ax.last; ++i) {
                const auto k = static_cast<std::size_t>(i);
                out[k] = lerp(row[i0[k]], row[i1[k]], 65536u - w1[k], w1[k]);
            }
            cached[slot] = r;
        }
        return cache[slot].data();
    };
    std::vector<std::uint8_t> codes(n);
    for (int j = 0; j < f.dst_h; ++j) {
        const int p = f.position_of_row(j);
        if (!ay.inside(p)) {
            writer.background(f.out_row(j), 0, f.dst_w);
            continue;
        }
        const auto kp = static_cast<std::size_t>(p);
        const int r0 = clamp_index(ay.base[kp], f.h), r1 = clamp_index(ay.base[kp] + 1, f.h);
        const std::uint32_t wy = upper_weight(ay.frac[kp]);
        const std::uint8_t* a = horizontal(r0);
        const std::uint8_t* b = horizontal(r1);
        for (int i = ax.first; i < ax.last; ++i)
            codes[static_cast<std::size_t>(i)] = lerp(a[i], b[i], 65536u - wy, wy);
        writer.write(f.out_row(j), codes.data(), ax.first, ax.last);
    }
}

void resample_cubic(const frame_t& f, const axis_t& ax, const axis_t& ay, const mitchell_netravali_t& kernel,
                    const row_writer_t& writer)
{
    const auto n = static_cast<std::size_t>(f.dst_w);
    std::vector<std::array<int, 4>> xi(n), xw(n);
    for (int i = ax.first; i < ax.last; ++i) {
        const auto k = static_cast<std::size_t>(i);
        for (int t = 0; t < 4; ++t)
            xi[k][static_cast<std::size_t>(t)] = clamp_index(ax.base[k] - 1 + t, f.w);
        xw[k] = cubic_weights_256(ax.frac[k], kernel);
    }
    // Horizontally filtered source rows (scaled by 256); the four rows one
    // output row needs are consecutive, so row & 3 never collides.
    std::vector<int> cache[4];
    int cached[4] = {-1, -1, -1, -1};
    for (auto& c : cache)
        c.resize(n);
    const auto horizontal = [&](int r) -> const int* {
        const int slot = r & 3;
        if (cached[slot] != r) {
            const std::uint8_t* row = f.row(r);
            int* out = cache[slot].data();
            for (int i = ax.first; i < ax.last; ++i) {
                const auto k = static_cast<std::size_t>(i);
                const auto& idx = xi[k];
                const auto& w = xw[k];
                out[k] = w[0] * row[idx[0]] + w[1] * row[idx[1]] + w[2] * row[idx[2]] + w[3] * row[idx[3]];
            }
            cached[slot] = r;
        }
        return cache[slot].data();
    };
    std::vector<std::uint8_t> codes(n);
    for (int j = 0; j < f.dst_h; ++j) {
        const int p = f.position_of_row(j);
        if (!ay.inside(p)) {
            writer.background(f.out_row(j), 0, f.dst_w);
            continue;
        }
        const auto kp = static_cast<std::size_t>(p);
        const std::array<int, 4> wy = cubic_weights_256(ay.frac[kp], kernel);
        const int* rows[4];
        for (int t = 0; t < 4; ++t)
            rows[t] = horizontal(clamp_index(ay.base[kp] - 1 + t, f.h));
        for (int i = ax.first; i < ax.last; ++i) {
            const int acc = wy[0] * rows[0][i] + wy[1] * rows[1][i] + wy[2] * rows[2][i] + wy[3] * rows[3][i];
            // Negative lobes overshoot at sharp edges: keep the code a code.
            codes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp((acc + 32768) >> 16, 0, 255));
        }
        writer.write(f.out_row(j), codes.data(), ax.first, ax.last);
    }
}

}  // namespace

mitchell_netravali_t choose_cubic_kernel(double zoom_x, bool zero_is_background)
{
    if (zero_is_background)
        return {1.0, 0.0};
    if (zoom_x >= 4.0)
        return {1.0 / 3.0, 1.0 / 3.0};
    return {(zoom_x - 2.0) / 6.0, ((4.0 - zoom_x) / 2.0 + (zoom_x - 2.0) / 3.0) / 2.0};
}

double mitchell_netravali(double x, const mitchell_netravali_t& k)
{
    const double a = std::fabs(x), a2 = a * a, a3 = a2 * a;
    const double b = k.b, c = k.c;
    if (a < 1.0)
        return ((12.0 - 9.0 * b - 6.0 * c) * a3 + (-18.0 + 12.0 * b + 6.0 * c) * a2 + (6.0 - 2.0 * b)) / 6.0;
    if (a < 2.0)
        return ((-b - 6.0 * c) * a3 + (6.0 * b + 30.0 * c) * a2 + (-12.0 * b - 48.0 * c) * a + (8.0 * b + 24.0 * c)) /
               6.0;
    return 0.0;
}

std::array<int, 4> cubic_weights_256(double frac, const mitchell_netravali_t& k)
{
    const double d[4] = {1.0 + frac, frac, 1.0 - frac, 2.0 - frac};
    std::array<int, 4> w{};
    int sum = 0;
    std::size_t largest = 0;
    for (std::size_t t = 0; t < 4; ++t) {
        w[t] = static_cast<int>(std::lround(256.0 * mitchell_netravali(d[t], k)));
        sum += w[t];
        if (w[t] > w[largest])
            largest = t;
    }
    w[largest] += 256 - sum;  // rounding must not brighten or darken flat areas
    return w;
}

bool uses_cubic(const resample_setup_t& setup, double zoom_x, bool grey_only)
{
    return zoom_x >= 2.0 && !setup.doppler && !setup.display_pixels && (!setup.strain || grey_only);
}

bool interp_to_rgb(const resample_setup_t& setup, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                   int dst_w, int dst_h, double x0, double y0, double zoom_x, double zoom_y, bool zero_is_background,
                   bool grey_only)
{
    if (!src || !dst || (!grey_only && !setup.maps) || src_w < 2 || src_h < 2 || dst_w <= 0 || dst_h <= 0)
        return false;
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(zoom_x) || !std::isfinite(zoom_y) ||
        !(zoom_x > 0.0) || zoom_y == 0.0) {
        wxLogDebug("interp_to_rgb: unusable origin (%g, %g) or zoom (%g, %g).", x0, y0, zoom_x, zoom_y);
        return false;
    }
    if (x0 > src_w - 0.5 || y0 > src_h - 0.5)
        return false;
    const frame_t f{src, src_w, src_h, dst, dst_w, dst_h, zoom_y < 0.0};
    const axis_t ax(x0, zoom_x, dst_w, src_w);
    const axis_t ay(y0, std::fabs(zoom_y), dst_h, src_h);
    const byte_cmap_t& maps = grey_only ? identity_grey_bytes() : *setup.maps;
    const row_writer_t writer(setup, maps, dst_w, zero_is_background);

    if (uses_cubic(setup, zoom_x, grey_only))
        resample_cubic(f, ax, ay, choose_cubic_kernel(zoom_x, zero_is_background), writer);
    else if (setup.display_pixels)
        resample_nearest(f, ax, ay, writer);
    else if (setup.strain)
        resample_linear<lerp_strain_t>(f, ax, ay, writer);
    else if (setup.doppler && zero_is_background)
        resample_linear<skip_zero_t<lerp_doppler_t>>(f, ax, ay, writer);
    else if (setup.doppler)
        resample_linear<lerp_doppler_t>(f, ax, ay, writer);
    else if (zero_is_background)
        resample_linear<skip_zero_t<lerp_grey_t>>(f, ax, ay, writer);
    else
        resample_linear<lerp_grey_t>(f, ax, ay, writer);
    return true;
}
