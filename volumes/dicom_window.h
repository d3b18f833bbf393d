// The display image of a slice: each kept 16-bit value through the display
// window (centre and width in Hounsfield units) to a grey level 1 to 255;
// 0 stays for "no data", and the padding value shows as 1.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

struct dicom_window_t {
    double centre = 1024.0, width = 2048.0;  // RES_DICOM_WIN_CENTRE, RES_DICOM_WIN_WIDTH
    double slope = 1.0, offset = 0.0;        // RES_DICOM_HUM, RES_DICOM_HUB: kept value to Hounsfield units
    std::optional<std::uint16_t> padding;
};

// The integer gain and offset of a window: g = round(2^24 slope / width),
// o = floor((offset - centre) 256 / width + 127.5). Widths below 1 count as
// 1; non-finite settings give the defaults' window.
struct window_terms_t {
    std::int64_t gain = 0, offset = 0;
};
window_terms_t window_terms(const dicom_window_t& w);

// One value: (v g) / 65536 + o in 64 bits, at most 255, and 1 for 0 or less
// and for the padding value.
inline std::uint8_t windowed(std::uint16_t v, const window_terms_t& t, const std::optional<std::uint16_t>& padding)
{
    if (padding && v == *padding)
        return 1;
    const std::int64_t level = std::int64_t(v) * t.gain / 65536 + t.offset;
    return level <= 0 ? 1 : level > 255 ? 255 : std::uint8_t(level);
}

// `in` and `out` of the same length.
void window_dicom(std::span<const std::uint16_t> in, std::span<std::uint8_t> out, const dicom_window_t& w);
