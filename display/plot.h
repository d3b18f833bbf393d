// A plot as plain data (title, axis labels, axis ranges, series of points)
// and the choice of its axis ranges and ticks. The raster painter
// (plot_raster.h), the file writers (plot_files.h) and the GUI panel all draw
// from this, so a plot made by the thickness tool looks the same everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct plot_colour_t {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const plot_colour_t&) const = default;
};

enum class plot_style_t { points, lines, points_and_lines };
enum class plot_marker_t { square, cross, circle };

struct plot_point_t {
    double x = 0.0, y = 0.0;
};

// Points whose x or y is not finite are left out; a line breaks there.
struct plot_series_t {
    std::string label;  // UTF-8, for the legend; series without one are not listed
    plot_colour_t colour;
    plot_style_t style = plot_style_t::points;
    plot_marker_t marker = plot_marker_t::square;
    std::vector<plot_point_t> points;
};

struct plot_range_t {
    double lo = 0.0, hi = 1.0;
    bool operator==(const plot_range_t&) const = default;
};

struct plot_t {
    std::string title, x_label, y_label;  // UTF-8
    // Fixed axis ranges; without one (or with one that is not finite and
    // increasing) the axis spans the data.
    std::optional<plot_range_t> x_range, y_range;
    std::vector<plot_series_t> series;
};

// Automatic ranges stay inside +-plot_value_limit, so spans and pixel
// mapping cannot overflow; data beyond it are clipped like any outside a fixed range.
inline constexpr double plot_value_limit = 1e300;

// The range an axis shows: the fixed one when usable, else the finite data's
// extent widened by 5% each side (a lone value by 10% of itself, or 1 about 0),
// or 0..1 without data. Always finite with lo < hi.
plot_range_t plot_axis_range(const plot_t& plot, bool x_axis);

struct plot_ticks_t {
    double step = 0.0;  // 0 when the ticks are just the range's ends
    std::vector<double> values;
};

// Tick values inside [lo, hi] at the smallest step of 1, 2 or 5 x 10^k that
// gives at most max_ticks (clamped to 2..100) of them. Where no such step is
// representable (an overflowing span, or one too small beside the values)
// the ticks are lo and hi alone; a zero span gives lo; non-finite ends none.
plot_ticks_t plot_ticks(double lo, double hi, int max_ticks);

// A tick's label with as many decimals as the step needs ("0.5", "1500",
// "-3"), exponent form for very large or small magnitudes; never "-0".
std::string plot_tick_label(double value, double step);
