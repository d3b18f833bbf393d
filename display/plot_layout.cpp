#include "plot_layout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int max_axis_ticks = 10;
// Longer texts cannot fit any picture; cutting them first bounds the fitting work.
constexpr std::size_t max_text_bytes = 400;

bool continuation_byte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void drop_last_character(std::string& text)
{
    while (!text.empty() && continuation_byte(text.back()))
        text.pop_back();
    if (!text.empty())
        text.pop_back();
}

// The longest beginning of `text` (whole characters) no wider than max_width.
std::string fit_text(std::string_view text, int max_width, const plot_text_measure_t& measure)
{
    std::string s(text.substr(0, max_text_bytes));
    if (s.size() < text.size() && continuation_byte(text[s.size()]))
        drop_last_character(s);
    while (!s.empty() && measure.width(s) > max_width)
        drop_last_character(s);
    return s;
}

std::vector<plot_tick_t> make_ticks(const plot_ticks_t& ticks, const plot_layout_t& layout, bool x_axis)
{
    std::vector<plot_tick_t> out;
    for (const double v : ticks.values) {
        const double p = x_axis ? layout.to_pixel_x(v) : layout.to_pixel_y(v);
        plot_tick_t t;
        t.value = v;
        t.pixel = static_cast<int>(std::lround(std::clamp(p, -1e6, 1e6)));
        t.label.text = plot_tick_label(v, ticks.step);
        out.push_back(std::move(t));
    }
    return out;
}

int widest(const std::vector<plot_tick_t>& ticks, const plot_text_measure_t& measure)
{
    int w = 0;
    for (const plot_tick_t& t : ticks)
        w = std::max(w, measure.width(t.label.text));
    return w;
}

}  // namespace

double plot_layout_t::to_pixel_x(double x) const
{
    return area.x + (x - x_range.lo) / (x_range.hi - x_range.lo) * (area.width - 1);
}

double plot_layout_t::to_pixel_y(double y) const
{
    return area.y + (y_range.hi - y) / (y_range.hi - y_range.lo) * (area.height - 1);
}

plot_layout_t plot_layout(const plot_t& plot, int width, int height, const plot_text_measure_t& measure)
{
    plot_layout_t l;
    l.image = {0, 0, std::max(width, 1), std::max(height, 1)};
    const int w = l.image.width, h = l.image.height;
    const int line = std::max(measure.height, 1);
    const int pad = std::max(4, line / 2);
    const int gap = std::max(2, line / 4);
    l.tick_length = std::max(3, line / 3);
    l.marker_radius = std::max(2, line / 5);
    l.x_range = plot_axis_range(plot, true);
    l.y_range = plot_axis_range(plot, false);

    int top = pad;
    if (!plot.title.empty()) {
        plot_text_t t{0, top, fit_text(plot.title, w - 2 * pad, measure)};
        t.x = std::max(0, (w - measure.width(t.text)) / 2);
        l.title = std::move(t);
        top += line + gap;
    }
    if (!plot.y_label.empty()) {
        l.y_label = plot_text_t{pad, top, fit_text(plot.y_label, w - 2 * pad, measure)};
        top += line + gap;
    }
    top += line / 2;  // the top tick label reaches above the frame

    int bottom = h - pad - line - gap - l.tick_length - 1;
    if (!plot.x_label.empty())
        bottom -= line + gap;
    l.area.y = top + 1;
    l.area.height = std::max(1, bottom - l.area.y);

    const int y_count = std::clamp(l.area.height / (2 * line), 2, max_axis_ticks);
    l.y_ticks = make_ticks(plot_ticks(l.y_range.lo, l.y_range.hi, y_count), l, false);
    l.area.x = pad + widest(l.y_ticks, measure) + gap + l.tick_length + 1;

    // The legend sits right of the frame and takes at most a third of the width.
    std::vector<std::size_t> listed;
    for (std::size_t i = 0; i < plot.series.size(); ++i)
        if (!plot.series[i].label.empty())
            listed.push_back(i);
    const int sample_length = std::max(16, 2 * line);
    int legend_width = 0;
    if (!listed.empty()) {
        for (const std::size_t i : listed)
            legend_width = std::max(legend_width, measure.width(fit_text(plot.series[i].label, w, measure)));
        legend_width = std::min(legend_width + sample_length + 3 * gap, w / 3);
    }
    const int right_reserve = pad + (legend_width > 0 ? legend_width + pad : 0);

    // Ticks first at most ten, then as many as their labels leave room for.
    auto place_x = [&](int label_room) {
        l.area.width = std::max(1, w - right_reserve - label_room / 2 - l.area.x - 1);
        l.x_ticks = make_ticks(plot_ticks(l.x_range.lo, l.x_range.hi, max_axis_ticks), l, true);
        const int room = widest(l.x_ticks, measure) + 2 * line;
        const int count = std::clamp(l.area.width / std::max(room, 1), 2, max_axis_ticks);
        l.x_ticks = make_ticks(plot_ticks(l.x_range.lo, l.x_range.hi, count), l, true);
        return widest(l.x_ticks, measure);
    };
    place_x(place_x(0));

    for (plot_tick_t& t : l.x_ticks) {
        const int tw = measure.width(t.label.text);
        t.label.x = std::clamp(t.pixel - tw / 2, 0, std::max(0, w - tw));
        t.label.y = l.area.bottom() + 1 + l.tick_length + gap;
    }
    for (plot_tick_t& t : l.y_ticks) {
        t.label.x = std::max(0, l.area.x - 1 - l.tick_length - gap - measure.width(t.label.text));
        t.label.y = t.pixel - line / 2;
    }
    if (!plot.x_label.empty()) {
        plot_text_t t{0, l.area.bottom() + 1 + l.tick_length + gap + line + gap,
                      fit_text(plot.x_label, w - 2 * pad, measure)};
        const int tw = measure.width(t.text);
        t.x = std::clamp(l.area.x + (l.area.width - tw) / 2, 0, std::max(0, w - tw));
        l.x_label = std::move(t);
    }

    if (legend_width > 0) {
        const int row = line + gap;
        const int rows = std::min(static_cast<int>(listed.size()), std::max(1, (l.area.height - 2 * gap) / row));
        l.legend = {l.area.right() + 1 + pad, l.area.y, legend_width, rows * row + gap};
        const int text_room = legend_width - sample_length - 3 * gap;
        for (int r = 0; r < rows; ++r) {
            plot_legend_entry_t e;
            e.series = listed[static_cast<std::size_t>(r)];
            const int row_top = l.legend.y + gap + r * row;
            e.sample_x = l.legend.x + gap + sample_length / 2;
            e.sample_y = row_top + line / 2;
            e.sample_half_length = sample_length / 2 - 1;
            e.label = {l.legend.x + 2 * gap + sample_length, row_top,
                       fit_text(plot.series[e.series].label, text_room, measure)};
            l.legend_entries.push_back(std::move(e));
        }
    }
    return l;
}

bool plot_clip_segment(double& x0, double& y0, double& x1, double& y1, const plot_rect_t& area)
{
    const double dx = x1 - x0, dy = y1 - y0;
    if (!std::isfinite(dx) || !std::isfinite(dy) || area.width < 1 || area.height < 1)
        return false;
    const double xmin = area.x, xmax = area.right() - 1, ymin = area.y, ymax = area.bottom() - 1;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0) {
            if (r > t1)
                return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0)
                return false;
            t1 = std::min(t1, r);
        }
    }
    const double ax = x0 + t0 * dx, ay = y0 + t0 * dy;
    const double bx = x0 + t1 * dx, by = y0 + t1 * dy;
    // Rounding in t must not put an end a hair outside the area.
    x0 = std::clamp(ax, xmin, xmax);
    y0 = std::clamp(ay, ymin, ymax);
    x1 = std::clamp(bx, xmin, xmax);
    y1 = std::clamp(by, ymin, ymax);
    return true;
}

namespace {

bool usable(const plot_point_t& p, const plot_layout_t& layout, double& px, double& py)
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return false;
    px = layout.to_pixel_x(p.x);
    py = layout.to_pixel_y(p.y);
    return std::isfinite(px) && std::isfinite(py);
}

int pixel(double v)
{
    return static_cast<int>(std::lround(v));
}

}  // namespace

void plot_for_each_segment(const plot_series_t& series, const plot_layout_t& layout,
                           const std::function<void(int, int, int, int)>& draw)
{
    if (series.style == plot_style_t::points)
        return;
    auto piece = [&](double x0, double y0, double x1, double y1) {
        if (plot_clip_segment(x0, y0, x1, y1, layout.area))
            draw(pixel(x0), pixel(y0), pixel(x1), pixel(y1));
    };
    std::size_t run = 0;  // usable points in a row up to here
    double px = 0, py = 0;
    for (const plot_point_t& p : series.points) {
        double qx = 0, qy = 0;
        if (!usable(p, layout, qx, qy)) {
            if (run == 1)
                piece(px, py, px, py);
            run = 0;
            continue;
        }
        if (run > 0)
            piece(px, py, qx, qy);
        px = qx;
        py = qy;
        ++run;
    }
    if (run == 1)
        piece(px, py, px, py);
}

void plot_for_each_marker(const plot_series_t& series, const plot_layout_t& layout,
                          const std::function<void(int, int)>& draw)
{
    if (series.style == plot_style_t::lines)
        return;
    const plot_rect_t& a = layout.area;
    for (const plot_point_t& p : series.points) {
        double px = 0, py = 0;
        if (!usable(p, layout, px, py))
            continue;
        if (px < a.x - 0.5 || px >= a.right() - 0.5 || py < a.y - 0.5 || py >= a.bottom() - 0.5)
            continue;
        const int x = std::clamp(pixel(px), a.x, a.right() - 1);
        const int y = std::clamp(pixel(py), a.y, a.bottom() - 1);
        draw(x, y);
    }
}
