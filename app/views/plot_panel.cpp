#include "plot_panel.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>

namespace {

wxColour colour_of(plot_colour_t c)
{
    return {c.r, c.g, c.b};
}

wxString text_of(const std::string& s)
{
    return wxString::FromUTF8(s.data(), s.size());
}

wxRect rect_of(const plot_rect_t& r)
{
    return {r.x, r.y, r.width, r.height};
}

// wxDC lines leave out their last pixel; the raster painter draws both ends.
void line(wxDC& dc, int x0, int y0, int x1, int y1)
{
    dc.DrawLine(x0, y0, x1, y1);
    dc.DrawPoint(x1, y1);
}

void marker(wxDC& dc, plot_marker_t m, int x, int y, int r)
{
    switch (m) {
        case plot_marker_t::square:
            dc.DrawRectangle(x - r, y - r, 2 * r + 1, 2 * r + 1);
            break;
        case plot_marker_t::cross:
            line(dc, x - r, y - r, x + r, y + r);
            line(dc, x - r, y + r, x + r, y - r);
            break;
        case plot_marker_t::circle: {
            const wxBrush fill = dc.GetBrush();
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.DrawCircle(x, y, r);
            dc.SetBrush(fill);
            break;
        }
    }
}

void sample(wxDC& dc, const plot_series_t& s, const plot_legend_entry_t& e, int radius)
{
    dc.SetPen(wxPen(colour_of(s.colour)));
    dc.SetBrush(wxBrush(colour_of(s.colour)));
    if (s.style != plot_style_t::points)
        line(dc, e.sample_x - e.sample_half_length, e.sample_y, e.sample_x + e.sample_half_length, e.sample_y);
    if (s.style != plot_style_t::lines)
        marker(dc, s.marker, e.sample_x, e.sample_y, radius);
}

}  // namespace

plot_panel_t::plot_panel_t(wxWindow* parent, wxWindowID id) : wxPanel(parent, id)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &plot_panel_t::OnPaint, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        Refresh(false);  // the layout follows the size
        e.Skip();
    });
}

void plot_panel_t::set_plot(plot_t plot)
{
    plot_ = std::move(plot);
    Refresh(false);
}

plot_layout_t plot_panel_t::layout(wxDC& dc, const wxSize& size) const
{
    dc.SetFont(GetFont());
    const plot_text_measure_t measure{
        [&dc](std::string_view s) { return dc.GetTextExtent(text_of(std::string(s))).GetWidth(); }, dc.GetCharHeight()};
    return plot_layout(plot_, size.GetWidth(), size.GetHeight(), measure);
}

void plot_panel_t::draw(wxDC& dc, const wxSize& size) const
{
    const int width = std::max(size.GetWidth(), 1), height = std::max(size.GetHeight(), 1);
    // Crisp one-pixel lines and markers, as in the saved pictures.
    if (wxGraphicsContext* gc = dc.GetGraphicsContext())
        gc->SetAntialiasMode(wxANTIALIAS_NONE);
    dc.SetFont(GetFont());
    dc.SetTextForeground(colour_of(plot_ink));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetPen(wxPen(colour_of(plot_background)));
    dc.SetBrush(wxBrush(colour_of(plot_background)));
    dc.DrawRectangle(0, 0, width, height);

    const plot_layout_t l = layout(dc, size);
    const plot_rect_t& a = l.area;
    {
        wxDCClipper clip(dc, rect_of(a));
        dc.SetPen(wxPen(colour_of(plot_grid)));
        for (const plot_tick_t& t : l.x_ticks)
            line(dc, t.pixel, a.y, t.pixel, a.bottom() - 1);
        for (const plot_tick_t& t : l.y_ticks)
            line(dc, a.x, t.pixel, a.right() - 1, t.pixel);
        for (const plot_series_t& s : plot_.series) {
            dc.SetPen(wxPen(colour_of(s.colour)));
            dc.SetBrush(wxBrush(colour_of(s.colour)));
            plot_for_each_segment(s, l, [&dc](int x0, int y0, int x1, int y1) { line(dc, x0, y0, x1, y1); });
            plot_for_each_marker(s, l, [&](int x, int y) { marker(dc, s.marker, x, y, l.marker_radius); });
        }
    }

    dc.SetPen(wxPen(colour_of(plot_ink)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(a.x - 1, a.y - 1, a.width + 2, a.height + 2);
    for (const plot_tick_t& t : l.x_ticks) {
        line(dc, t.pixel, a.bottom(), t.pixel, a.bottom() + l.tick_length);
        dc.DrawText(text_of(t.label.text), t.label.x, t.label.y);
    }
    for (const plot_tick_t& t : l.y_ticks) {
        line(dc, a.x - 1 - l.tick_length, t.pixel, a.x - 1, t.pixel);
        dc.DrawText(text_of(t.label.text), t.label.x, t.label.y);
    }
    for (const std::optional<plot_text_t>* text : {&l.title, &l.y_label, &l.x_label})
        if (*text)
            dc.DrawText(text_of((*text)->text), (*text)->x, (*text)->y);

    if (!l.legend_entries.empty()) {
        dc.SetPen(wxPen(colour_of(plot_ink)));
        dc.SetBrush(wxBrush(colour_of(plot_background)));
        dc.DrawRectangle(rect_of(l.legend));
        wxDCClipper clip(dc, rect_of(l.legend).Deflate(1));
        for (const plot_legend_entry_t& e : l.legend_entries) {
            sample(dc, plot_.series[e.series], e, l.marker_radius);
            dc.DrawText(text_of(e.label.text), e.label.x, e.label.y);
        }
    }
}

wxBitmap plot_panel_t::grab() const
{
    const wxSize size = GetClientSize();
    wxBitmap bitmap(std::max(1, size.GetWidth()), std::max(1, size.GetHeight()), 24);
    wxMemoryDC dc(bitmap);
    draw(dc, size);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

void plot_panel_t::OnPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    draw(dc, GetClientSize());
}
