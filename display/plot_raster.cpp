#include "plot_raster.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <utility>

#include "plot_font.h"

namespace {

constexpr int cell_width = plot_glyph_width + 1;
constexpr int line_height = plot_glyph_height + 2;

bool continuation_byte(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Pixels are written only inside `clip`, which lies inside the picture.
class painter_t {
public:
    explicit painter_t(plot_image_t& image) : image_(image), clip_{0, 0, image.width, image.height} {}

    void clip_to(const plot_rect_t& r)
    {
        const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
        const int x1 = std::min(r.right(), image_.width), y1 = std::min(r.bottom(), image_.height);
        clip_ = {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
    }
    void unclip() { clip_ = {0, 0, image_.width, image_.height}; }

    void set(int x, int y, plot_colour_t c)
    {
        if (!clip_.contains(x, y))
            return;
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.width) + x) * 3;
        image_.rgb[i] = c.r;
        image_.rgb[i + 1] = c.g;
        image_.rgb[i + 2] = c.b;
    }

    void fill(const plot_rect_t& r, plot_colour_t c)
    {
        const int x0 = std::max(r.x, clip_.x), x1 = std::min(r.right(), clip_.right());
        const int y0 = std::max(r.y, clip_.y), y1 = std::min(r.bottom(), clip_.bottom());
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                set(x, y, c);
    }

    // Bresenham; both ends drawn. Callers pass clipped ends, so the loop stays short.
    void line(int x0, int y0, int x1, int y1, plot_colour_t c)
    {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            set(x0, y0, c);
            if (x0 == x1 && y0 == y1)
                return;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }

    // The outline of a rectangle drawn on its pixels' outermost ring.
    void frame(const plot_rect_t& r, plot_colour_t c)
    {
        line(r.x, r.y, r.right() - 1, r.y, c);
        line(r.x, r.bottom() - 1, r.right() - 1, r.bottom() - 1, c);
        line(r.x, r.y, r.x, r.bottom() - 1, c);
        line(r.right() - 1, r.y, r.right() - 1, r.bottom() - 1, c);
    }

    void marker(plot_marker_t m, int x, int y, int r, plot_colour_t c)
    {
        switch (m) {
            case plot_marker_t::square:
                fill({x - r, y - r, 2 * r + 1, 2 * r + 1}, c);
                break;
            case plot_marker_t::cross:
                line(x - r, y - r, x + r, y + r, c);
                line(x - r, y + r, x + r, y - r, c);
                break;
            case plot_marker_t::circle: {
                // Midpoint circle, all eight octants at once.
                int px = r, py = 0, err = 1 - r;
                while (px >= py) {
                    for (const auto& [u, v] : {std::pair{px, py}, std::pair{py, px}}) {
                        set(x + u, y + v, c);
                        set(x - u, y + v, c);
                        set(x + u, y - v, c);
                        set(x - u, y - v, c);
                    }
                    ++py;
                    if (err < 0) {
                        err += 2 * py + 1;
                    } else {
                        --px;
                        err += 2 * (py - px) + 1;
                    }
                }
                break;
            }
        }
    }

    void text(int x, int y, std::string_view s, plot_colour_t c, int scale)
    {
        y += scale;  // centres the glyphs in their line
        for (std::size_t k = 0; k < s.size(); ++k) {
            const auto byte = static_cast<unsigned char>(s[k]);
            if (continuation_byte(byte))
                continue;
            if (x >= clip_.right())
                return;
            const auto& rows = plot_glyph(byte);
            for (int gy = 0; gy < plot_glyph_height; ++gy)
                for (int gx = 0; gx < plot_glyph_width; ++gx)
                    if (rows[static_cast<std::size_t>(gy)] & (0x10 >> gx))
                        fill({x + gx * scale, y + gy * scale, scale, scale}, c);
            x += cell_width * scale;
        }
    }

private:
    plot_image_t& image_;
    plot_rect_t clip_;
};

void draw_series(painter_t& p, const plot_series_t& s, const plot_layout_t& l)
{
    p.clip_to(l.area);
    plot_for_each_segment(s, l, [&](int x0, int y0, int x1, int y1) { p.line(x0, y0, x1, y1, s.colour); });
    plot_for_each_marker(s, l, [&](int x, int y) { p.marker(s.marker, x, y, l.marker_radius, s.colour); });
    p.unclip();
}

void draw_axes(painter_t& p, const plot_layout_t& l, int scale)
{
    const plot_rect_t& a = l.area;
    p.clip_to(a);
    for (const plot_tick_t& t : l.x_ticks)
        p.line(t.pixel, a.y, t.pixel, a.bottom() - 1, plot_grid);
    for (const plot_tick_t& t : l.y_ticks)
        p.line(a.x, t.pixel, a.right() - 1, t.pixel, plot_grid);
    p.unclip();
    p.frame({a.x - 1, a.y - 1, a.width + 2, a.height + 2}, plot_ink);
    for (const plot_tick_t& t : l.x_ticks) {
        p.line(t.pixel, a.bottom(), t.pixel, a.bottom() + l.tick_length, plot_ink);
        p.text(t.label.x, t.label.y, t.label.text, plot_ink, scale);
    }
    for (const plot_tick_t& t : l.y_ticks) {
        p.line(a.x - 1 - l.tick_length, t.pixel, a.x - 1, t.pixel, plot_ink);
        p.text(t.label.x, t.label.y, t.label.text, plot_ink, scale);
    }
}

void draw_legend(painter_t& p, const plot_t& plot, const plot_layout_t& l, int scale)
{
    if (l.legend_entries.empty())
        return;
    p.fill(l.legend, plot_background);
    p.frame(l.legend, plot_ink);
    p.clip_to({l.legend.x + 1, l.legend.y + 1, l.legend.width - 2, l.legend.height - 2});
    for (const plot_legend_entry_t& e : l.legend_entries) {
        const plot_series_t& s = plot.series[e.series];
        if (s.style != plot_style_t::points)
            p.line(e.sample_x - e.sample_half_length, e.sample_y, e.sample_x + e.sample_half_length, e.sample_y,
                   s.colour);
        if (s.style != plot_style_t::lines)
            p.marker(s.marker, e.sample_x, e.sample_y, l.marker_radius, s.colour);
        p.text(e.label.x, e.label.y, e.label.text, plot_ink, scale);
    }
    p.unclip();
}

}  // namespace

int plot_text_scale(int width, int height)
{
    return std::clamp(std::min(width, height) / 300, 1, 4);
}

plot_text_measure_t plot_raster_text_measure(int scale)
{
    scale = std::max(scale, 1);
    return {[scale](std::string_view s) {
                const auto count = std::count_if(
                    s.begin(), s.end(), [](char c) { return !continuation_byte(static_cast<unsigned char>(c)); });
                return static_cast<int>(std::min<std::ptrdiff_t>(count, 1 << 20)) * cell_width * scale;
            },
            line_height * scale};
}

void draw_plot_text(plot_image_t& image, int x, int y, std::string_view text, plot_colour_t colour, int scale)
{
    scale = std::clamp(scale, 1, 64);
    // Far off the picture nothing shows, and the glyph arithmetic stays far from overflow.
    if (image.empty() || x >= image.width || y >= image.height || y <= -line_height * scale || x < -(1 << 28))
        return;
    painter_t p(image);
    p.text(x, y, text, colour, scale);
}

plot_image_t render_plot(const plot_t& plot, int width, int height)
{
    plot_image_t image;
    if (width < 1 || height < 1 || width > plot_image_max_side || height > plot_image_max_side)
        return image;
    image.width = width;
    image.height = height;
    image.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 255);
    const int scale = plot_text_scale(width, height);
    const plot_layout_t l = plot_layout(plot, width, height, plot_raster_text_measure(scale));

    painter_t p(image);
    draw_axes(p, l, scale);
    for (const plot_series_t& s : plot.series)
        draw_series(p, s, l);
    if (l.title)
        p.text(l.title->x, l.title->y, l.title->text, plot_ink, scale);
    if (l.y_label)
        p.text(l.y_label->x, l.y_label->y, l.y_label->text, plot_ink, scale);
    if (l.x_label)
        p.text(l.x_label->x, l.x_label->y, l.x_label->text, plot_ink, scale);
    draw_legend(p, plot, l, scale);
    return image;
}
