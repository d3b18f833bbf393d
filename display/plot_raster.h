// Draws a plot into an RGB picture without any window system, with a
// built-in bitmap font, so the command-line tool can save plots as images.
// The GUI panel draws the same layout (plot_layout.h) with wx instead.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "plot.h"
#include "plot_layout.h"

// Rows top to bottom, three bytes (r, g, b) per pixel.
struct plot_image_t {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;

    bool empty() const { return rgb.empty(); }
    // The pixel at (x, y), which must lie in the picture.
    plot_colour_t at(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline constexpr int plot_image_max_side = 8192;

// The plot in a width x height picture; an empty picture when a side is
// outside 1..plot_image_max_side.
plot_image_t render_plot(const plot_t& plot, int width = 800, int height = 600);

// Pixels per font dot for a picture of this size: 1 up to 599 pixels on the
// shorter side, one more per 300 pixels after, at most 4.
int plot_text_scale(int width, int height);

// How the built-in font measures text at `scale`: 6 dots a character
// (multi-byte characters count once), 9 dots a line.
plot_text_measure_t plot_raster_text_measure(int scale);

// Draws one line of UTF-8 text, the top of its line at (x, y), clipped to
// the picture; characters the font lacks show as '?'.
void draw_plot_text(plot_image_t& image, int x, int y, std::string_view text, plot_colour_t colour, int scale);
