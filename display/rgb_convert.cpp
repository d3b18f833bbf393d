#include "rgb_convert.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include <wx/log.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KS_HAVE_VBMI 1
#else
#define KS_HAVE_VBMI 0
#endif

namespace {

// A colour component in [0, 1] to a byte, truncated.
std::uint8_t unit_to_byte(float x)
{
    const float scaled = x * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255 : static_cast<std::uint8_t>(scaled);
}

}  // namespace

void map_row_to_rgb_portable(const byte_cmap_t& maps, const std::uint8_t* codes, std::uint8_t* rgb, std::size_t n)
{
    const std::uint32_t* t = maps.packed.data();
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels make three whole words.
        for (; i + 4 <= n; i += 4, rgb += 12) {
            const std::uint32_t p0 = t[codes[i]], p1 = t[codes[i + 1]], p2 = t[codes[i + 2]], p3 = t[codes[i + 3]];
            const std::uint32_t w[3] = {p0 | (p1 << 24), (p1 >> 8) | (p2 << 16), (p2 >> 16) | (p3 << 8)};
            std::memcpy(rgb, w, 12);
        }
    }
    for (; i < n; ++i, rgb += 3) {
        const std::uint8_t c = codes[i];
        rgb[0] = maps.red8[c];
        rgb[1] = maps.green8[c];
        rgb[2] = maps.blue8[c];
    }
}

#if KS_HAVE_VBMI
namespace {

// Byte permutations that interleave 64 reds, greens and blues into three
// 64-byte blocks of RGB triples: the first takes red and green, the second
// drops blue into every third byte.
struct interleave_t {
    alignas(64) std::uint8_t red_green[3][64];
    alignas(64) std::uint8_t blue[3][64];
    std::uint64_t blue_mask[3];
};
constexpr interleave_t make_interleave()
{
    interleave_t t{};
    for (int v = 0; v < 3; ++v) {
        for (int p = 0; p < 64; ++p) {
            const int q = 64 * v + p, pixel = q / 3, channel = q % 3;
            t.red_green[v][p] = static_cast<std::uint8_t>(channel == 1 ? 64 + pixel : pixel);
            t.blue[v][p] = static_cast<std::uint8_t>(pixel);
            if (channel == 2)
                t.blue_mask[v] |= std::uint64_t{1} << p;
        }
    }
    return t;
}
constexpr interleave_t interleave = make_interleave();

// A 256-entry byte table as four registers: two 128-entry halves chosen by the code's top bit.
struct table_regs_t {
    __m512i a, b, c, d;
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline table_regs_t load_table(const std::uint8_t* t)
{
    return {_mm512_loadu_si512(t), _mm512_loadu_si512(t + 64), _mm512_loadu_si512(t + 128),
            _mm512_loadu_si512(t + 192)};
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i lookup(const table_regs_t& t, __m512i codes,
                                                                              __mmask64 top)
{
    const __m512i low = _mm512_permutex2var_epi8(t.a, codes, t.b);
    const __m512i high = _mm512_permutex2var_epi8(t.c, codes, t.d);
    return _mm512_mask_blend_epi8(top, low, high);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void map_row_vbmi(const byte_cmap_t& maps,
                                                                          const std::uint8_t* codes,
                                                                          std::uint8_t* rgb, std::size_t n)
{
    const table_regs_t red = load_table(maps.red8.data());
    const table_regs_t green = load_table(maps.green8.data());
    const table_regs_t blue = load_table(maps.blue8.data());
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64, rgb += 192) {
        const __m512i c = _mm512_loadu_si512(codes + i);
        const __mmask64 top = _mm512_movepi8_mask(c);
        const __m512i r = lookup(red, c, top), g = lookup(green, c, top), b = lookup(blue, c, top);
        for (int v = 0; v < 3; ++v) {
            const __m512i rg = _mm512_permutex2var_epi8(r, _mm512_load_si512(interleave.red_green[v]), g);
            const __m512i rgb_block =
                _mm512_mask_permutexvar_epi8(rg, interleave.blue_mask[v], _mm512_load_si512(interleave.blue[v]), b);
            _mm512_storeu_si512(rgb + 64 * v, rgb_block);
        }
    }
    map_row_to_rgb_portable(maps, codes + i, rgb, n - i);
}

}  // namespace
#endif

void map_row_to_rgb(const byte_cmap_t& maps, const std::uint8_t* codes, std::uint8_t* rgb, std::size_t n)
{
#if KS_HAVE_VBMI
    // Byte permutes look up 64 codes at once where the processor has them.
    static const bool vbmi = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    if (vbmi) {
        map_row_vbmi(maps, codes, rgb, n);
        return;
    }
#endif
    map_row_to_rgb_portable(maps, codes, rgb, n);
}

bool fast_map_to_rgb(const byte_cmap_t& maps, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                     int dst_w, int dst_h, int x0, int y0, bool grey_only)
{
    if (!src || !dst || src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0)
        return false;
    if (dst_h > src_h) {
        wxLogDebug("fast_map_to_rgb: window of %d rows is taller than the image (%d rows).", dst_h, src_h);
        return false;
    }
    const int n = std::min(dst_w, src_w);
    x0 = std::clamp(x0, 0, src_w - n);
    y0 = std::clamp(y0, 0, src_h - dst_h);
    const byte_cmap_t& t = grey_only ? identity_grey_bytes() : maps;
    const auto src_stride = static_cast<std::size_t>(src_w), dst_stride = static_cast<std::size_t>(dst_w) * 3;
    for (int j = 0; j < dst_h; ++j)
        map_row_to_rgb(t, src + static_cast<std::size_t>(y0 + j) * src_stride + static_cast<std::size_t>(x0),
                       dst + static_cast<std::size_t>(j) * dst_stride, static_cast<std::size_t>(n));
    return true;
}

bool part_map_to_rgb(const byte_cmap_t& maps, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                     int n_x, int n_y, int step)
{
    if (!src || !dst || src_w <= 0 || src_h <= 0 || n_x <= 0 || n_y <= 0 || step <= 0)
        return false;
    // In 64 bits: large counts times large steps must not wrap back inside the image.
    if (static_cast<long long>(n_x - 1) * step >= src_w || static_cast<long long>(n_y - 1) * step >= src_h) {
        wxLogDebug("part_map_to_rgb: %d x %d samples every %d pixels fall outside a %d x %d image.", n_x, n_y, step,
                   src_w, src_h);
        return false;
    }
    const auto ustep = static_cast<std::size_t>(step);
    for (int j = 0; j < n_y; ++j) {
        const std::uint8_t* row = src + static_cast<std::size_t>(j) * ustep * static_cast<std::size_t>(src_w);
        std::uint8_t* out = dst + static_cast<std::size_t>(j) * static_cast<std::size_t>(n_x) * 3;
        for (int i = 0; i < n_x; ++i, out += 3) {
            const std::uint8_t c = row[static_cast<std::size_t>(i) * ustep];
            out[0] = maps.red8[c];
            out[1] = maps.green8[c];
            out[2] = maps.blue8[c];
        }
    }
    return true;
}

bool image_to_rgba(const byte_cmap_t& maps, const std::uint8_t* src, int w, int h, std::uint8_t* dst, int tex_w,
                   int tex_h, float r, float g, float b, float alpha, bool flip, bool zero_transparent)
{
    if (!src || !dst || w <= 0 || h <= 0)
        return false;
    if (tex_w < w || tex_h < h) {
        wxLogDebug("image_to_rgba: a %d x %d image does not fit a %d x %d texture.", w, h, tex_w, tex_h);
        return false;
    }
    const std::uint8_t a = unit_to_byte(alpha);
    const std::uint8_t fill[4] = {unit_to_byte(r), unit_to_byte(g), unit_to_byte(b),
                                  zero_transparent ? std::uint8_t{0} : a};
    const auto tex_stride = static_cast<std::size_t>(tex_w) * 4;
    for (int j = 0; j < tex_h; ++j) {
        std::uint8_t* out = dst + static_cast<std::size_t>(j) * tex_stride;
        int i = 0;
        if (j < h) {
            const std::uint8_t* row = src + static_cast<std::size_t>(flip ? h - 1 - j : j) * static_cast<std::size_t>(w);
            for (; i < w; ++i, out += 4) {
                const std::uint8_t c = row[i];
                out[0] = maps.red8[c];
                out[1] = maps.green8[c];
                out[2] = maps.blue8[c];
                out[3] = (zero_transparent && c == 0) ? std::uint8_t{0} : a;
            }
        }
        for (; i < tex_w; ++i, out += 4)
            std::memcpy(out, fill, 4);
    }
    return true;
}
