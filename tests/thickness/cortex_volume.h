// CT volumes of a flat cortex for the thickness tests: the bone lies at
// larger x, each row y of every slice following the cortex model given for
// it; slices 1 mm apart along z, values stored signed (32768 added, the
// offset to Hounsfield units set to match).
#pragma once

#include <cmath>
#include <functional>
#include <optional>

#include "thickness/profile_model.h"
#include "volumes/slice_volume.h"

// Positions in the model are in pixels along x. A padded column holds the
// padding value 0 (no data) instead.
inline slice_volume_t cortex_volume(long width, long height, long slices, double pixel_cm,
                                    const std::function<cortex_t(long row)>& model_of_row,
                                    std::optional<long> padded_column = std::nullopt)
{
    slice_volume_t::source_t s;
    for (long k = 0; k < slices; ++k) {
        cip_t f = cip_t::make_16bit(width, height);
        for (long y = 0; y < height; ++y) {
            const cortex_t m = model_of_row(y);
            for (long x = 0; x < width; ++x)
                f.samples()[y * width + x] = std::uint16_t(std::lround(cortex_value(m, double(x)) + 32768.0));
            if (padded_column)
                f.samples()[y * width + *padded_column] = 0;
        }
        s.frames.push_back(f);
        counted_array_ptr<float> pose(6);
        const float p[] = {0.0f, 0.0f, 0.1f * float(k), 0.0f, 0.0f, 0.0f};
        std::copy(std::begin(p), std::end(p), pose.get());
        s.poses.push_back(pose);
    }
    s.calibration.identity();
    s.xscale = s.yscale = pixel_cm;
    s.offset = -32768.0;
    if (padded_column)
        s.padding = 0;
    wxString why;
    auto v = slice_volume_t::build(std::move(s), &why);
    return std::move(*v);
}
