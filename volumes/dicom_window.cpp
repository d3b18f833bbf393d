#include "dicom_window.h"

#include <algorithm>
#include <cmath>

window_terms_t window_terms(const dicom_window_t& w)
{
    dicom_window_t s = w;
    if (!std::isfinite(s.centre) || !std::isfinite(s.width) || !std::isfinite(s.slope) || !std::isfinite(s.offset))
        s = dicom_window_t{};
    const double width = s.width < 1.0 ? 1.0 : s.width;
    // Held where 64-bit products cannot overflow: |v g| < 2^16 2^40.
    const double gain = std::clamp(std::round(16777216.0 * s.slope / width), -1099511627776.0, 1099511627776.0);
    const double offset = std::clamp(std::floor((s.offset - s.centre) * 256.0 / width + 127.5), -1e15, 1e15);
    return {std::int64_t(gain), std::int64_t(offset)};
}

void window_dicom(std::span<const std::uint16_t> in, std::span<std::uint8_t> out, const dicom_window_t& w)
{
    const window_terms_t t = window_terms(w);
    const std::size_t n = std::min(in.size(), out.size());
    for (std::size_t i = 0; i < n; ++i)
        out[i] = windowed(in[i], t, w.padding);
}
