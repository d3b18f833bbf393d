#include "frame_sampling.h"

#include <algorithm>
#include <cmath>

namespace {
long nearest_index(double p, long size)
{
    if (!(p > 0.0))
        return 0;
    return std::min(size - 1, static_cast<long>(p + 0.5));
}
}  // namespace

int frame_sampler::sample(const cip_t& image, double u, double v) const
{
    const long w = image.width(), h = image.height();
    const std::uint8_t* px = image.pixels();
    if (!px || w < 1 || h < 1 || !std::isfinite(u) || !std::isfinite(v))
        return -1;
    int value = 0;
    if (!bilinear || u >= static_cast<double>(w - 1) || v >= static_cast<double>(h - 1) || w < 2 || h < 2) {
        value = px[nearest_index(v, h) * w + nearest_index(u, w)];
    } else {
        const double uu = std::max(0.0, u), vv = std::max(0.0, v);
        const long ix = std::min(w - 2, static_cast<long>(uu)), iy = std::min(h - 2, static_cast<long>(vv));
        const int fx = std::clamp(static_cast<int>((uu - ix) * 256.0), 0, 256);
        const int fy = std::clamp(static_cast<int>((vv - iy) * 256.0), 0, 256);
        const std::uint8_t* row = px + iy * w + ix;
        const int p00 = row[0], p01 = row[1], p10 = row[w], p11 = row[w + 1];
        if (zero_is_no_data && (p00 == 0 || p01 == 0 || p10 == 0 || p11 == 0)) {
            value = fy < 128 ? (fx < 128 ? p00 : p01) : (fx < 128 ? p10 : p11);
        } else {
            value = ((p00 * (256 - fx) + p01 * fx) * (256 - fy) + (p10 * (256 - fx) + p11 * fx) * fy) >> 16;
        }
    }
    if (value == 0)
        return zero_is_no_data ? -1 : 1;
    return value;
}
