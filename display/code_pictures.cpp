#include "code_pictures.h"

#include <algorithm>

#include "globcmap.h"

std::vector<std::uint8_t> codes_to_rgb(const std::uint8_t* codes, long w, long h)
{
    const auto count = static_cast<std::size_t>(std::max(0L, w) * std::max(0L, h));
    std::vector<std::uint8_t> rgb(3 * count);
    if (!codes || count == 0)
        return rgb;
    const int iw = static_cast<int>(w), ih = static_cast<int>(h);
    if (colourmap && colourmap->fast_map_to_rgb(codes, iw, ih, rgb.data(), iw, ih, 0, 0, false))
        return rgb;
    for (std::size_t i = 0; i < count; ++i)  // before the colour map exists: plain grey
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = codes[i];
    return rgb;
}

wxImage codes_picture(const std::uint8_t* codes, long w, long h, bool bottom_up)
{
    if (w <= 0 || h <= 0)
        return {};
    const std::vector<std::uint8_t> rgb = codes_to_rgb(codes, w, h);
    wxImage picture(static_cast<int>(w), static_cast<int>(h), false);
    const std::size_t stride = static_cast<std::size_t>(w) * 3;
    for (long y = 0; y < h; ++y)
        std::copy_n(rgb.data() + static_cast<std::size_t>(bottom_up ? h - 1 - y : y) * stride, stride,
                    picture.GetData() + static_cast<std::size_t>(y) * stride);
    return picture;
}
