// The raster plot painter: lines, markers and texts land on the pixels the
// layout gives them and nowhere else, and no plot, however degenerate, breaks it.
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "display/plot_font.h"
#include "display/plot_raster.h"

namespace {

constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_v = std::numeric_limits<double>::infinity();
constexpr plot_colour_t red{220, 20, 30}, blue{20, 40, 200};

plot_series_t series_of(std::vector<plot_point_t> points, plot_colour_t colour,
                        plot_style_t style = plot_style_t::lines)
{
    plot_series_t s;
    s.colour = colour;
    s.style = style;
    s.points = std::move(points);
    return s;
}

plot_t square_plot()
{
    plot_t p;
    p.x_range = plot_range_t{0, 10};
    p.y_range = plot_range_t{0, 10};
    return p;
}

// The layout render_plot used for a picture of this size.
plot_layout_t layout_of(const plot_t& p, int w, int h)
{
    return plot_layout(p, w, h, plot_raster_text_measure(plot_text_scale(w, h)));
}

int px(const plot_layout_t& l, double x)
{
    return static_cast<int>(std::lround(l.to_pixel_x(x)));
}
int py(const plot_layout_t& l, double y)
{
    return static_cast<int>(std::lround(l.to_pixel_y(y)));
}

// Pixels of colour c, counted inside and outside a rectangle.
struct colour_count_t {
    long inside = 0, outside = 0;
};
colour_count_t count(const plot_image_t& im, plot_colour_t c, const plot_rect_t& r)
{
    colour_count_t n;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            if (im.at(x, y) == c)
                ++(r.contains(x, y) ? n.inside : n.outside);
    return n;
}

bool any_in_column(const plot_image_t& im, int x, int y0, int y1, plot_colour_t c)
{
    for (int y = std::max(y0, 0); y <= std::min(y1, im.height - 1); ++y)
        if (im.at(x, y) == c)
            return true;
    return false;
}

// --- Lines and markers ---

// A diagonal across the data lands where the mapping puts its points: a
// painter off by a row or column would misplace every line.
TEST(PlotRaster, LinesLandOnTheMappedPixels)
{
    plot_t p = square_plot();
    p.series.push_back(series_of({{0, 0}, {10, 10}}, red));
    p.series.push_back(series_of({{4, 2}, {9, 2}}, blue));
    const plot_image_t im = render_plot(p, 500, 400);
    const plot_layout_t l = layout_of(p, 500, 400);
    EXPECT_EQ(im.at(px(l, 0), py(l, 0)), red) << "the ends are drawn";
    EXPECT_EQ(im.at(px(l, 10), py(l, 10)), red);
    for (double t = 0.5; t < 10; t += 0.5)
        EXPECT_TRUE(any_in_column(im, px(l, t), py(l, t) - 1, py(l, t) + 1, red)) << t;
    // The horizontal line covers exactly its columns, on its row.
    const int row = py(l, 2);
    for (int x = px(l, 4); x <= px(l, 9); ++x)
        EXPECT_EQ(im.at(x, row), blue) << x;
    EXPECT_NE(im.at(px(l, 4) - 1, row), blue);
    EXPECT_NE(im.at(px(l, 9) + 1, row), blue);
    EXPECT_NE(im.at(px(l, 6), row - 1), blue) << "one pixel thick";
    EXPECT_NE(im.at(px(l, 6), row + 1), blue);
}

// Lines through points far outside a fixed range are cut at the frame: no
// series pixel outside the area, yet the visible part is drawn.
TEST(PlotRaster, ClippedLinesStayInsideTheArea)
{
    plot_t p = square_plot();
    p.series.push_back(series_of({{-100, -50}, {100, 60}, {5, 1e200}, {-1e300, 5}, {5, 5}}, red));
    p.series.push_back(series_of({{-3, 5}, {5, 5}, {50, 5}, {12, 12}}, blue, plot_style_t::points_and_lines));
    const plot_image_t im = render_plot(p, 640, 480);
    const plot_layout_t l = layout_of(p, 640, 480);
    const colour_count_t r = count(im, red, l.area), b = count(im, blue, l.area);
    EXPECT_EQ(r.outside, 0);
    EXPECT_EQ(b.outside, 0);
    EXPECT_GT(r.inside, l.area.width / 2) << "the visible parts were dropped";
    for (int x = l.area.x; x < l.area.right(); ++x)
        ASSERT_EQ(im.at(x, py(l, 5)), blue) << "the level line crosses the whole area at x " << x;
}

// Each marker shape is drawn about its point and cut at the frame.
TEST(PlotRaster, MarkersSitOnTheirPoints)
{
    for (const plot_marker_t m : {plot_marker_t::square, plot_marker_t::cross, plot_marker_t::circle}) {
        plot_t p = square_plot();
        plot_series_t s = series_of({{5, 5}, {0, 0}, {10.5, 3}}, red, plot_style_t::points);
        s.marker = m;
        p.series.push_back(s);
        const plot_image_t im = render_plot(p, 400, 300);
        const plot_layout_t l = layout_of(p, 400, 300);
        const int x = px(l, 5), y = py(l, 5), radius = l.marker_radius;
        const plot_rect_t box{x - radius, y - radius, 2 * radius + 1, 2 * radius + 1};
        long in_box = 0;
        for (int v = box.y; v < box.bottom(); ++v)
            for (int u = box.x; u < box.right(); ++u)
                in_box += im.at(u, v) == red;
        EXPECT_GE(in_box, 4 * radius) << static_cast<int>(m);
        if (m != plot_marker_t::circle)
            EXPECT_EQ(im.at(x, y), red) << "square and cross cover their centre";
        else
            EXPECT_EQ(im.at(x + radius, y), red) << "a circle passes its radius";
        EXPECT_TRUE(im.at(px(l, 0), py(l, 0)) == red || m == plot_marker_t::circle) << "a corner point is drawn";
        EXPECT_EQ(count(im, red, l.area).outside, 0) << "markers are cut at the frame";
    }
}

// Every series shows in its own colour, in the data and in the legend.
TEST(PlotRaster, SeriesColoursShowInDataAndLegend)
{
    plot_t p;
    p.series.push_back(series_of({{1, 2}, {3, 1}, {4, 5}}, red, plot_style_t::points));
    p.series.back().label = "outer";
    p.series.push_back(series_of({{0, 0}, {5, 3}}, blue, plot_style_t::lines));
    p.series.back().label = "inner, fitted";
    const plot_image_t im = render_plot(p, 800, 600);
    const plot_layout_t l = layout_of(p, 800, 600);
    ASSERT_EQ(l.legend_entries.size(), 2u);
    EXPECT_GT(count(im, red, l.area).inside, 0);
    EXPECT_GT(count(im, blue, l.area).inside, 0);
    EXPECT_GT(count(im, red, l.legend).inside, 0);
    EXPECT_GT(count(im, blue, l.legend).inside, 0);
    const plot_legend_entry_t& e = l.legend_entries[1];
    EXPECT_EQ(im.at(e.sample_x - e.sample_half_length, e.sample_y), blue) << "a line sample for a line series";
    EXPECT_EQ(im.at(e.sample_x, e.sample_y - l.marker_radius - 1), plot_background);
    EXPECT_EQ(im.at(l.area.x - 1, l.area.y + 5), plot_ink) << "the frame";
}

// --- Text ---

// A table slip (two glyphs alike, a blank letter, a dot past column five)
// would make labels unreadable or wrong.
TEST(PlotFont, GlyphsAreDistinctAndFitTheirCell)
{
    std::set<std::array<std::uint8_t, plot_glyph_height>> seen;
    for (int c = 32; c <= 126; ++c) {
        const auto& g = plot_glyph(static_cast<unsigned char>(c));
        EXPECT_TRUE(seen.insert(g).second) << "'" << static_cast<char>(c) << "' looks like another character";
        const bool blank = std::all_of(g.begin(), g.end(), [](std::uint8_t r) { return r == 0; });
        EXPECT_EQ(blank, c == ' ') << static_cast<char>(c);
        for (const std::uint8_t r : g)
            EXPECT_LT(r, 1 << plot_glyph_width) << static_cast<char>(c);
    }
    EXPECT_EQ(plot_glyph(7), plot_glyph('?'));
    EXPECT_EQ(plot_glyph(0xC3), plot_glyph('?'));
}

plot_image_t blank(int w, int h)
{
    return {w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3, 255)};
}

// Text goes exactly where its glyphs say, scaled by whole pixels, and only
// there: "1" is the glyph's dots, nothing beside it.
TEST(PlotFont, TextDrawsItsGlyphsAndNothingElse)
{
    for (const int scale : {1, 3}) {
        plot_image_t im = blank(40, 40);
        draw_plot_text(im, 4, 6, "1", red, scale);
        const auto& g = plot_glyph('1');
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const int gx = (x - 4) / scale, gy = (y - 6 - scale) / scale;
                const bool dot = x >= 4 && y >= 6 + scale && gx < plot_glyph_width && gy < plot_glyph_height &&
                                 (g[static_cast<std::size_t>(gy)] & (0x10 >> gx));
                ASSERT_EQ(im.at(x, y), dot ? red : plot_background) << x << "," << y << " at scale " << scale;
            }
    }
    // Each character advances one cell; a multi-byte character counts once.
    plot_image_t im = blank(60, 12);
    draw_plot_text(im, 0, 0,
                   "\xC2\xB5"
                   "1",
                   red, 1);
    EXPECT_EQ(plot_raster_text_measure(1).width("\xC2\xB5"
                                                "1"),
              12);
    EXPECT_EQ(im.at(6 + 2, 1 + 6), red) << "the '1' in the second cell, its foot's middle";
    EXPECT_EQ(im.at(2, 1 + 6), red) << "'?' for the character the font lacks: its dot";
}

// Text running off any edge is cut there; far-off positions draw nothing.
TEST(PlotFont, TextOffThePictureIsCut)
{
    const long dots = [] {
        plot_image_t im = blank(100, 30);
        draw_plot_text(im, 10, 5, "Hello", red, 2);
        return count(im, red, {0, 0, 0, 0}).outside;
    }();
    ASSERT_GT(dots, 0);
    for (const auto& [x, y] : {std::pair{-7, 5}, std::pair{90, 5}, std::pair{10, -9}, std::pair{10, 25}}) {
        plot_image_t im = blank(100, 30);
        draw_plot_text(im, x, y, "Hello", red, 2);
        const long n = count(im, red, {0, 0, 0, 0}).outside;
        EXPECT_GT(n, 0) << x << "," << y;
        EXPECT_LT(n, dots) << x << "," << y;
    }
    for (const auto& [x, y] : {std::pair{INT_MAX, 0}, std::pair{0, INT_MAX}, std::pair{INT_MIN, 0},
                               std::pair{0, INT_MIN}, std::pair{-2000, 3}}) {
        plot_image_t im = blank(100, 30);
        draw_plot_text(im, x, y, "Hello", red, 64);
        EXPECT_EQ(count(im, red, {0, 0, 0, 0}).outside, 0) << x << "," << y;
    }
    plot_image_t none;
    draw_plot_text(none, 0, 0, "x", red, 1);  // an empty picture is left alone
    EXPECT_TRUE(none.empty());
}

// The title shows as ink in its place, centred.
TEST(PlotFont, TitleShowsCentred)
{
    plot_t p;
    p.title = "Profile";
    const plot_image_t im = render_plot(p, 800, 600);
    const plot_layout_t l = layout_of(p, 800, 600);
    ASSERT_TRUE(l.title);
    const int scale = plot_text_scale(800, 600);
    const int w = plot_raster_text_measure(scale).width(p.title), h = plot_raster_text_measure(scale).height;
    const colour_count_t ink = count(im, plot_ink, {l.title->x, l.title->y, w, h});
    EXPECT_GT(ink.inside, 7 * 5 * scale * scale) << "seven letters' worth of dots";
    EXPECT_NEAR(l.title->x + w / 2, 400, 3 * scale);
    long row_ink = 0;
    for (int x = 0; x < 800; ++x)
        for (int y = l.title->y; y < l.title->y + h; ++y)
            row_ink += im.at(x, y) == plot_ink && (x < l.title->x || x >= l.title->x + w);
    EXPECT_EQ(row_ink, 0) << "nothing else on the title's line";
}

// --- Degenerate plots ---

// Whatever the data and size, a picture of that size comes back, framed
// when there is room; absurd sizes give none instead of a huge allocation.
TEST(PlotRaster, DegeneratePlotsStillRender)
{
    std::vector<plot_t> plots(9);
    plots[1].series.emplace_back();  // a series without points
    plots[2].series.push_back(series_of({{3, 4}}, red, plot_style_t::points_and_lines));
    plots[3].series.push_back(series_of({{2, 1}, {2, 5}, {2, 3}}, red));
    plots[4].series.push_back(series_of({{nan_v, 1}, {inf_v, -inf_v}, {nan_v, nan_v}}, red));
    plots[5].series.push_back(series_of({{-1e308, 1e308}, {1e308, -1e308}, {0, 0}}, red));
    plots[6].series.push_back(series_of({{1, 1}, {1 + 1e-15, 1 + 1e-15}}, red, plot_style_t::points));
    plots[7] = plots[5];
    plots[7].x_range = plot_range_t{nan_v, inf_v};
    plots[7].y_range = plot_range_t{1, 1 + 1e-300};
    plots[8].series.push_back(series_of({{5e-324, -5e-324}}, red));
    plots[8].title = std::string(100000, 'T');
    plots[8].series.back().label = std::string(100000, 'L');
    for (std::size_t i = 0; i < plots.size(); ++i)
        for (const auto& [w, h] : {std::pair{800, 600}, std::pair{1, 1}, std::pair{2, 300}, std::pair{300, 5}}) {
            const plot_image_t im = render_plot(plots[i], w, h);
            ASSERT_EQ(im.width, w) << i;
            ASSERT_EQ(im.height, h) << i;
            ASSERT_EQ(im.rgb.size(), static_cast<std::size_t>(w) * h * 3) << i;
            if (w == 800) {
                const plot_layout_t l = layout_of(plots[i], w, h);
                EXPECT_EQ(im.at(l.area.x - 1, l.area.y + l.area.height / 2), plot_ink) << "plot " << i;
            }
        }
    EXPECT_GT(count(render_plot(plots[2], 400, 300), red, {0, 0, 0, 0}).outside, 0) << "one point shows";
    for (const auto& [w, h] :
         {std::pair{0, 600}, std::pair{800, -1}, std::pair{plot_image_max_side + 1, 10}, std::pair{10, INT_MAX}}) {
        const plot_image_t im = render_plot(plots[2], w, h);
        EXPECT_TRUE(im.empty()) << w << "x" << h;
        EXPECT_EQ(im.width * im.height, 0);
    }
}

}  // namespace
