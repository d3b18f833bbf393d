// The plot model: axis ranges, tick choice and labels, and the layout that
// maps data to pixels and clips lines, which both painters rely on.
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "display/plot.h"
#include "display/plot_layout.h"

namespace {

constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_v = std::numeric_limits<double>::infinity();

// A fixed-width font: 7 pixels a character, 12 a line.
plot_text_measure_t fixed_measure()
{
    return {[](std::string_view s) { return static_cast<int>(s.size()) * 7; }, 12};
}

plot_series_t series_of(std::vector<plot_point_t> points, plot_style_t style = plot_style_t::lines)
{
    plot_series_t s;
    s.style = style;
    s.points = std::move(points);
    return s;
}

// The mantissa of a nice step: 1, 2 or 5, or 0 for any other.
int nice_mantissa(double step)
{
    const double m = step / std::pow(10.0, std::floor(std::log10(step)));
    for (const int n : {1, 2, 5, 10})
        if (std::fabs(m - n) < 1e-9 * n)
            return n == 10 ? 1 : n;
    return 0;
}

// --- Ticks ---

// Readers count along ticks: odd steps like 0.3 or 7 make a plot hard to read,
// too many ticks collide, and a range end far from any tick is unreadable.
TEST(PlotTicks, NiceStepsCoverTheRangeWithinTheBound)
{
    const plot_range_t ranges[] = {{0, 1},         {-3.7, 12.2}, {1e-7, 3e-7},  {1000, 1e6},
                                   {-1e12, -1e11}, {0.1, 0.9},   {97.3, 97.31}, {-0.5, 0.5}};
    for (const plot_range_t& r : ranges)
        for (int max_ticks = 2; max_ticks <= 12; ++max_ticks) {
            const plot_ticks_t t = plot_ticks(r.lo, r.hi, max_ticks);
            SCOPED_TRACE(testing::Message() << r.lo << ".." << r.hi << " max " << max_ticks);
            ASSERT_GT(t.step, 0.0);
            EXPECT_NE(nice_mantissa(t.step), 0) << t.step;
            ASSERT_GE(t.values.size(), 1u);
            EXPECT_LE(t.values.size(), static_cast<std::size_t>(max_ticks));
            for (std::size_t i = 0; i < t.values.size(); ++i) {
                const double v = t.values[i];
                EXPECT_GE(v, r.lo);
                EXPECT_LE(v, r.hi);
                EXPECT_NEAR(v / t.step, std::round(v / t.step), 1e-6) << "a tick off the step's multiples";
                if (i > 0) {
                    EXPECT_NEAR(v - t.values[i - 1], t.step, 1e-9 * t.step);
                }
            }
            // No room at either end for another tick: the ticks span the range.
            EXPECT_LT(t.values.front() - r.lo, t.step * (1 + 1e-9));
            EXPECT_LT(r.hi - t.values.back(), t.step * (1 + 1e-9));
        }
}

// The next smaller nice step must not fit: else the plot has needlessly few ticks.
TEST(PlotTicks, StepIsTheSmallestThatFits)
{
    for (const plot_range_t& r : {plot_range_t{0, 1}, plot_range_t{-3.7, 12.2}, plot_range_t{250, 1250}})
        for (int max_ticks = 3; max_ticks <= 11; ++max_ticks) {
            const plot_ticks_t t = plot_ticks(r.lo, r.hi, max_ticks);
            const double smaller = t.step * (nice_mantissa(t.step) == 5 ? 0.4 : 0.5);
            const double count = std::floor(r.hi / smaller + 1e-9) - std::ceil(r.lo / smaller - 1e-9) + 1;
            EXPECT_GT(count, max_ticks) << r.lo << ".." << r.hi << " max " << max_ticks << " step " << t.step;
        }
    const plot_ticks_t t = plot_ticks(0, 10, 6);
    EXPECT_EQ(t.values, (std::vector<double>{0, 2, 4, 6, 8, 10}));
}

// Degenerate ranges come from real data (one sample, a flat profile, NaN
// results): they must give a few ticks at once, never loop or allocate wildly.
TEST(PlotTicks, DegenerateRangesGiveFewTicks)
{
    EXPECT_EQ(plot_ticks(3, 3, 5).values, (std::vector<double>{3}));
    EXPECT_TRUE(plot_ticks(nan_v, 1, 5).values.empty());
    EXPECT_TRUE(plot_ticks(0, inf_v, 5).values.empty());
    EXPECT_TRUE(plot_ticks(-inf_v, inf_v, 5).values.empty());
    EXPECT_EQ(plot_ticks(-1e308, 1e308, 5).values, (std::vector<double>{-1e308, 1e308})) << "the span overflows";
    EXPECT_EQ(plot_ticks(1.0, 1.0 + 4e-16, 5).values.size(), 2u) << "steps below the values' precision";
    EXPECT_EQ(plot_ticks(0, 5e-324, 5).values.size(), 2u) << "a subnormal span";
    EXPECT_EQ(plot_ticks(10, 0, 6).values, plot_ticks(0, 10, 6).values) << "reversed ends";
    EXPECT_LE(plot_ticks(0, 1, INT_MAX).values.size(), 100u);
    EXPECT_LE(plot_ticks(0, 1, -7).values.size(), 2u);
    EXPECT_GE(plot_ticks(0, 1, -7).values.size(), 1u);
}

// Labels must tell neighbouring ticks apart without noise digits or a "-0".
TEST(PlotTicks, LabelsShowTheDigitsTheStepNeeds)
{
    EXPECT_EQ(plot_tick_label(0.5, 0.5), "0.5");
    EXPECT_EQ(plot_tick_label(1500, 500), "1500");
    EXPECT_EQ(plot_tick_label(-3, 1), "-3");
    EXPECT_EQ(plot_tick_label(0.30000000000000004, 0.1), "0.3");
    EXPECT_EQ(plot_tick_label(0.05, 0.01), "0.05");
    EXPECT_EQ(plot_tick_label(-1e-17, 0.1), "0");
    EXPECT_EQ(plot_tick_label(-0.0, 1), "0");
    EXPECT_EQ(plot_tick_label(-0.001, 0.5), "0.0") << "rounded away, without a sign";
    EXPECT_EQ(plot_tick_label(2e-7, 1e-7), "2e-07");
    EXPECT_EQ(plot_tick_label(3e12, 1e12), "3e+12");
    EXPECT_EQ(plot_tick_label(nan_v, 1), "nan");
    for (const plot_range_t& r : {plot_range_t{97.3, 97.31}, plot_range_t{1e-7, 3e-7}, plot_range_t{1e11, 1.5e11}}) {
        const plot_ticks_t t = plot_ticks(r.lo, r.hi, 8);
        for (std::size_t i = 1; i < t.values.size(); ++i)
            EXPECT_NE(plot_tick_label(t.values[i - 1], t.step), plot_tick_label(t.values[i], t.step));
    }
}

// --- Axis ranges ---

// Automatic ranges show every finite point with a margin, so no marker sits on the frame.
TEST(PlotRange, AutomaticRangesHoldTheFiniteDataWithAMargin)
{
    plot_t p;
    p.series.push_back(series_of({{2, 10}, {4, 30}, {nan_v, 1000}, {6, inf_v}, {3, 20}}));
    p.series.push_back(series_of({{8, 15}}));
    const plot_range_t x = plot_axis_range(p, true), y = plot_axis_range(p, false);
    EXPECT_DOUBLE_EQ(x.lo, 2 - 0.3);
    EXPECT_DOUBLE_EQ(x.hi, 8 + 0.3);
    EXPECT_DOUBLE_EQ(y.lo, 10 - 1) << "the NaN-x point's y is not data";
    EXPECT_DOUBLE_EQ(y.hi, 30 + 1);
}

// A fixed range is shown as given; one that cannot be shown falls back to the data.
TEST(PlotRange, FixedRangesAreUsedWhenUsable)
{
    plot_t p;
    p.series.push_back(series_of({{0, 0}, {10, 100}}));
    p.x_range = plot_range_t{-5, 5};
    EXPECT_EQ(plot_axis_range(p, true), (plot_range_t{-5, 5}));
    const plot_range_t automatic{-0.5, 10.5};
    for (const plot_range_t bad : {plot_range_t{nan_v, 1}, plot_range_t{3, 3}, plot_range_t{5, -5},
                                   plot_range_t{-inf_v, 0}, plot_range_t{-1.7e308, 1.7e308}}) {
        p.x_range = bad;
        EXPECT_EQ(plot_axis_range(p, true), automatic) << bad.lo << ".." << bad.hi;
    }
}

// One value, no values or absurd values still give a finite, increasing range.
TEST(PlotRange, DegenerateDataGiveAFiniteIncreasingRange)
{
    auto x_of = [](std::vector<plot_point_t> pts) {
        plot_t p;
        p.series.push_back(series_of(std::move(pts)));
        return plot_axis_range(p, true);
    };
    EXPECT_EQ(x_of({}), (plot_range_t{0, 1}));
    EXPECT_EQ(x_of({{nan_v, nan_v}, {inf_v, 1}}), (plot_range_t{0, 1}));
    EXPECT_EQ(x_of({{5, 1}, {5, 2}}), (plot_range_t{4.5, 5.5}));
    EXPECT_EQ(x_of({{0, 1}}), (plot_range_t{-1, 1}));
    for (const double v : {5e-324, -1.7e308, 1e-300})
        for (const plot_range_t r : {x_of({{v, 0}}), x_of({{v, 0}, {-v, 0}})}) {
            EXPECT_TRUE(std::isfinite(r.lo) && std::isfinite(r.hi) && r.lo < r.hi) << v;
            EXPECT_TRUE(std::isfinite(r.hi - r.lo)) << v;
        }
    const plot_range_t huge = x_of({{-1.7e308, 0}, {1.7e308, 0}});
    EXPECT_GE(huge.lo, -plot_value_limit);
    EXPECT_LE(huge.hi, plot_value_limit);
}

// --- Layout ---

// The range's ends land on the area's first and last pixels and the y axis
// points up: a wrong offset would shift every point of every plot.
TEST(PlotLayout, DataMapLinearlyOntoTheArea)
{
    plot_t p;
    p.x_range = plot_range_t{-2, 8};
    p.y_range = plot_range_t{100, 200};
    const plot_layout_t l = plot_layout(p, 640, 480, fixed_measure());
    const plot_rect_t& a = l.area;
    EXPECT_DOUBLE_EQ(l.to_pixel_x(-2), a.x);
    EXPECT_DOUBLE_EQ(l.to_pixel_x(8), a.right() - 1);
    EXPECT_DOUBLE_EQ(l.to_pixel_x(3), a.x + 0.5 * (a.width - 1));
    EXPECT_DOUBLE_EQ(l.to_pixel_y(200), a.y);
    EXPECT_DOUBLE_EQ(l.to_pixel_y(100), a.bottom() - 1);
    EXPECT_DOUBLE_EQ(l.to_pixel_y(125), a.y + 0.75 * (a.height - 1));
    ASSERT_FALSE(l.x_ticks.empty());
    for (const plot_tick_t& t : l.x_ticks)
        EXPECT_EQ(t.pixel, std::lround(l.to_pixel_x(t.value)));
    for (const plot_tick_t& t : l.y_ticks)
        EXPECT_EQ(t.pixel, std::lround(l.to_pixel_y(t.value)));
}

// Title, labels, ticks and legend each have their own place inside the picture.
TEST(PlotLayout, PartsFitThePictureWithoutOverlap)
{
    plot_t p;
    p.title = "Cortical thickness";
    p.x_label = "Density (HU)";
    p.y_label = "Thickness (mm)";
    p.series.push_back(series_of({{0, 1}, {1000, 3}}));
    p.series.back().label = "fitted";
    p.series.push_back(series_of({{0, 2}}));  // no label: not listed
    const plot_layout_t l = plot_layout(p, 800, 600, fixed_measure());
    const plot_rect_t& a = l.area;
    EXPECT_GT(a.width, 400);
    EXPECT_GT(a.height, 400);
    ASSERT_EQ(l.legend_entries.size(), 1u);
    EXPECT_EQ(l.legend_entries[0].series, 0u);
    EXPECT_GT(l.legend.x, a.right()) << "the legend hides no data";
    EXPECT_LE(l.legend.right(), 800);
    ASSERT_TRUE(l.title && l.x_label && l.y_label);
    EXPECT_LT(l.title->y + 12, l.y_label->y + 1);
    EXPECT_LT(l.y_label->y + 12, a.y) << "the y label lies above the frame";
    EXPECT_GT(l.x_label->y, a.bottom()) << "the x label lies below the frame";
    EXPECT_LE(l.x_label->y + 12, 600);
    for (const plot_tick_t& t : l.y_ticks)
        EXPECT_LE(t.label.x + fixed_measure().width(t.label.text), a.x - l.tick_length) << t.label.text;
    for (const plot_tick_t& t : l.x_ticks) {
        EXPECT_GE(t.label.y, a.bottom() + l.tick_length);
        EXPECT_LE(t.label.x + fixed_measure().width(t.label.text), 800);
    }
}

// Texts longer than the picture are shortened, whole UTF-8 characters at a time.
TEST(PlotLayout, LongTextsAreShortenedToFit)
{
    plot_t p;
    p.title = std::string(5000, 'x');
    p.x_label = "\xC2\xB5m \xC2\xB5m \xC2\xB5m \xC2\xB5m";  // "µm" four times
    const plot_layout_t l = plot_layout(p, 60, 200, fixed_measure());
    ASSERT_TRUE(l.title && l.x_label);
    EXPECT_LE(fixed_measure().width(l.title->text), 60);
    EXPECT_FALSE(l.title->text.empty());
    const std::string& x = l.x_label->text;
    EXPECT_LT(x.size(), p.x_label.size());
    ASSERT_FALSE(x.empty());
    EXPECT_NE(static_cast<unsigned char>(x.back()), 0xC2) << "a character cut in half";
}

// However small the picture, the area keeps a pixel and every part stays usable.
TEST(PlotLayout, TinyPicturesKeepAnArea)
{
    plot_t p;
    p.title = "t";
    p.series.push_back(series_of({{0, 0}, {1, 1}}));
    p.series.back().label = "s";
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{0, -5}, std::pair{40, 3}, std::pair{3, 40}}) {
        const plot_layout_t l = plot_layout(p, w, h, fixed_measure());
        EXPECT_GE(l.area.width, 1) << w << "x" << h;
        EXPECT_GE(l.area.height, 1) << w << "x" << h;
        EXPECT_GE(l.image.width, 1);
        EXPECT_TRUE(std::isfinite(l.to_pixel_x(0.5)) && std::isfinite(l.to_pixel_y(0.5)));
    }
}

// Clipping keeps lines to the area and their direction unchanged.
TEST(PlotLayout, ClippingCutsSegmentsToTheArea)
{
    const plot_rect_t a{10, 20, 101, 51};  // pixel centres 10..110, 20..70
    double x0 = 30, y0 = 30, x1 = 40, y1 = 60;
    ASSERT_TRUE(plot_clip_segment(x0, y0, x1, y1, a));
    EXPECT_EQ((std::vector<double>{x0, y0, x1, y1}), (std::vector<double>{30, 30, 40, 60})) << "inside: unchanged";

    x0 = -90, y0 = 45, x1 = 210, y1 = 45;
    ASSERT_TRUE(plot_clip_segment(x0, y0, x1, y1, a));
    EXPECT_EQ((std::vector<double>{x0, y0, x1, y1}), (std::vector<double>{10, 45, 110, 45}));

    x0 = 0, y0 = 10, x1 = 120, y1 = 130;  // slope 1, enters at the top, leaves at the bottom
    ASSERT_TRUE(plot_clip_segment(x0, y0, x1, y1, a));
    EXPECT_DOUBLE_EQ(x0, 10);
    EXPECT_DOUBLE_EQ(y0, 20);
    EXPECT_DOUBLE_EQ(x1, 60);
    EXPECT_DOUBLE_EQ(y1, 70);

    x0 = 1e18, y0 = 45, x1 = 60, y1 = 45;  // a point far off the range
    ASSERT_TRUE(plot_clip_segment(x0, y0, x1, y1, a));
    EXPECT_DOUBLE_EQ(x0, 110);
    EXPECT_DOUBLE_EQ(y0, 45);

    x0 = 0, y0 = 0, x1 = 5, y1 = 200;  // passes left of the area
    EXPECT_FALSE(plot_clip_segment(x0, y0, x1, y1, a));
    x0 = nan_v, y0 = 30, x1 = 40, y1 = 30;
    EXPECT_FALSE(plot_clip_segment(x0, y0, x1, y1, a));
    x0 = -1.7e308, y0 = 30, x1 = 1.7e308, y1 = 30;  // the difference overflows
    EXPECT_FALSE(plot_clip_segment(x0, y0, x1, y1, a));
}

// A non-finite point breaks a line; a point alone still shows; markers only
// where the point lies in the area.
TEST(PlotLayout, SeriesPiecesFollowTheFinitePoints)
{
    plot_t p;
    p.x_range = plot_range_t{0, 10};
    p.y_range = plot_range_t{0, 10};
    const plot_layout_t l = plot_layout(p, 400, 300, fixed_measure());
    const plot_series_t s = series_of({{1, 1}, {2, 2}, {3, 3}, {nan_v, 4}, {5, 5}, {6, inf_v}, {7, 7}, {20, 8}});
    std::vector<std::vector<int>> pieces;
    plot_for_each_segment(s, l, [&](int x0, int y0, int x1, int y1) { pieces.push_back({x0, y0, x1, y1}); });
    auto px = [&](double x) { return static_cast<int>(std::lround(l.to_pixel_x(x))); };
    auto py = [&](double y) { return static_cast<int>(std::lround(l.to_pixel_y(y))); };
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], (std::vector<int>{px(1), py(1), px(2), py(2)}));
    EXPECT_EQ(pieces[1], (std::vector<int>{px(2), py(2), px(3), py(3)}));
    EXPECT_EQ(pieces[2], (std::vector<int>{px(5), py(5), px(5), py(5)})) << "the lone point";
    EXPECT_EQ(pieces[3][0], px(7));
    EXPECT_EQ(pieces[3][2], l.area.right() - 1) << "cut at the frame";

    std::vector<std::pair<int, int>> markers;
    plot_series_t dots = s;
    dots.style = plot_style_t::points;
    plot_for_each_marker(dots, l, [&](int x, int y) { markers.emplace_back(x, y); });
    EXPECT_EQ(markers.size(), 5u) << "two non-finite points and one outside the range are left out";
    pieces.clear();
    plot_for_each_segment(dots, l, [&](int, int, int, int) { pieces.push_back({}); });
    EXPECT_TRUE(pieces.empty());
    markers.clear();
    plot_for_each_marker(s, l, [&](int x, int y) { markers.emplace_back(x, y); });
    EXPECT_TRUE(markers.empty()) << "a lines-only series has no markers";
}

}  // namespace
