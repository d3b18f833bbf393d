// Reading one value from a frame at a fractional pixel position. Inline:
// it runs once per reslice pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/cip.h"

struct frame_sampler {
    bool zero_is_no_data = false;
    bool bilinear = true;

    // The value at pixel position (u, v), or -1 for no data. Bilinear with
    // 8-bit weights, rounded to nearest; the nearest pixel at the right and bottom edges, when not
    // interpolating, and (where zero means no data) when a neighbour is empty.
    // A zero that is data reads as 1, so that 0 keeps meaning "nothing here".
    // Positions outside the image are held to its border.
    int sample(const cip_t& image, double u, double v) const
    {
        if (!image.pixels() || image.width() < 1 || image.height() < 1 || !std::isfinite(u) || !std::isfinite(v))
            return -1;
        return sample_valid(image.pixels(), image.width(), image.width(), image.height(), u, v);
    }

    // The same, for a w x h window (rows `stride` pixels apart) of a frame
    // already known to have pixels and finite (u, v): nothing outside the
    // window is read.
    int sample_valid(const std::uint8_t* px, long stride, long w, long h, double u, double v) const
    {
        int value = 0;
        if (!bilinear || u >= static_cast<double>(w - 1) || v >= static_cast<double>(h - 1) || w < 2 || h < 2) {
            value = px[nearest_index(v, h) * stride + nearest_index(u, w)];
        } else {
            const double uu = std::max(0.0, u), vv = std::max(0.0, v);
            const long ix = std::min(w - 2, static_cast<long>(uu)), iy = std::min(h - 2, static_cast<long>(vv));
            // Weights and sum rounded to nearest: truncating either reads low on average.
            const int fx = std::clamp(static_cast<int>((uu - static_cast<double>(ix)) * 256.0 + 0.5), 0, 256);
            const int fy = std::clamp(static_cast<int>((vv - static_cast<double>(iy)) * 256.0 + 0.5), 0, 256);
            const std::uint8_t* row = px + iy * stride + ix;
            const int p00 = row[0], p01 = row[1], p10 = row[stride], p11 = row[stride + 1];
            if (zero_is_no_data && (p00 == 0 || p01 == 0 || p10 == 0 || p11 == 0))
                value = fy < 128 ? (fx < 128 ? p00 : p01) : (fx < 128 ? p10 : p11);
            else
                value = ((p00 * (256 - fx) + p01 * fx) * (256 - fy) + (p10 * (256 - fx) + p11 * fx) * fy + 32768) >> 16;
        }
        if (value == 0)
            return zero_is_no_data ? -1 : 1;
        return value;
    }

private:
    static long nearest_index(double p, long size)
    {
        if (!(p > 0.0))
            return 0;
        if (p >= static_cast<double>(size - 1))  // also keeps huge values out of the conversion
            return size - 1;
        return static_cast<long>(p + 0.5);
    }
};
