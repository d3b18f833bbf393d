// Where the parts of a plot go in a picture of a given size: the plot area,
// ticks and their labels, title, axis labels and legend, and the mapping of
// data to pixels with line clipping. The raster painter and the GUI panel
// both draw from one layout, so they differ only in how they put pixels.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot.h"

// The colours both painters use around the data.
inline constexpr plot_colour_t plot_background{255, 255, 255};
inline constexpr plot_colour_t plot_ink{0, 0, 0};         // frame, ticks and texts
inline constexpr plot_colour_t plot_grid{225, 225, 225};  // lines at the ticks inside the area

struct plot_rect_t {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }  // one past the last column
    int bottom() const { return y + height; }
    bool contains(int px, int py) const { return px >= x && px < right() && py >= y && py < bottom(); }
};

// A line of text by its top-left corner.
struct plot_text_t {
    int x = 0, y = 0;
    std::string text;
};

struct plot_tick_t {
    double value = 0.0;
    int pixel = 0;  // column of an x tick, row of a y tick
    plot_text_t label;
};

struct plot_legend_entry_t {
    std::size_t series = 0;          // index in plot_t::series
    int sample_x = 0, sample_y = 0;  // centre of the sample line and marker
    int sample_half_length = 0;
    plot_text_t label;
};

// How the painter that will draw the texts measures them.
struct plot_text_measure_t {
    std::function<int(std::string_view)> width;  // pixels of a UTF-8 line; required
    int height = 0;                              // pixels of a line
};

struct plot_layout_t {
    plot_rect_t image;
    // Where data are drawn; the frame runs one pixel outside it.
    plot_rect_t area;
    plot_range_t x_range, y_range;
    std::vector<plot_tick_t> x_ticks, y_ticks;
    int tick_length = 0;  // outward from the frame
    int marker_radius = 0;
    std::optional<plot_text_t> title, x_label, y_label;  // the y label lies flat above the axis
    plot_rect_t legend;                                  // zero-sized when no series has a label
    std::vector<plot_legend_entry_t> legend_entries;

    // Data to pixel coordinates: the range's ends land on the area's first
    // and last pixel centres. May be huge or not finite far outside the range.
    double to_pixel_x(double x) const;
    double to_pixel_y(double y) const;
};

// The layout of `plot` in a width x height picture (each at least 1). Texts
// are shortened to fit; the area is at least one pixel however small the picture.
plot_layout_t plot_layout(const plot_t& plot, int width, int height, const plot_text_measure_t& measure);

// Cuts the segment to the pixel centres of `area` (Liang-Barsky); false when
// none of it is inside or a coordinate is not finite.
bool plot_clip_segment(double& x0, double& y0, double& x1, double& y1, const plot_rect_t& area);

// Calls draw(x0, y0, x1, y1) for each visible piece of the series' lines,
// clipped to the area. A point alone between gaps gives a zero-length piece.
// Nothing for series drawn as points only.
void plot_for_each_segment(const plot_series_t& series, const plot_layout_t& layout,
                           const std::function<void(int, int, int, int)>& draw);
// Calls draw(x, y) for each marker whose centre lies in the area; nothing for
// series drawn as lines only.
void plot_for_each_marker(const plot_series_t& series, const plot_layout_t& layout,
                          const std::function<void(int, int)>& draw);
