#include "rfscope_page.h"

#include <algorithm>
#include <cmath>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "acquisition/rf_display.h"
#include "common/dynabuf.h"
#include "common/vid_stat.h"
#include "page_controls.h"
#include "app/labelled_grid.h"
#include "resources/resource_table.h"

namespace {

constexpr int margin = 4;
constexpr std::int64_t rfscope_visual_page = 7;

// The RF frame the scope shows: the latest live one while live, else the current frame held.
cip_t scope_frame()
{
    if (res->RES_TOGGLE_LIVE->value()) {
        const auto& live = res->RES_VIDEO_CAPTURE_EVENT->value();
        if (live && live->image.has_samples())
            return live->image;
    }
    if (!bufp || !res->RES_BUF_RF->value())
        return {};
    const cip_t held = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    return held.has_samples() ? held : cip_t{};
}

}  // namespace

rf_plot_panel::rf_plot_panel(wxWindow* parent) : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(240, 160))
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &rf_plot_panel::OnPaint, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        Refresh(false);
        e.Skip();
    });
}

void rf_plot_panel::show(rf_trace_t trace, bool axes)
{
    trace_ = std::move(trace);
    has_trace_ = true;
    axes_ = axes;
    Refresh(false);
}

void rf_plot_panel::clear()
{
    has_trace_ = false;
    trace_ = {};
    Refresh(false);
}

wxPoint rf_plot_panel::point(std::size_t k, const wxSize& size) const
{
    const int w = std::max(1, size.GetWidth() - 2 * margin), h = std::max(1, size.GetHeight() - 2 * margin);
    const std::size_t n = trace_.values.size();
    const double x = n > 1 ? static_cast<double>(k) * (w - 1) / static_cast<double>(n - 1) : 0.0;
    // Raw samples swing about the middle over the 16-bit range; envelopes rise from the bottom.
    const double v = k < n ? trace_.values[k] : 0.0;
    const double y = trace_.envelope ? (h - 1) * (1.0 - v / 32768.0) : (h - 1) * 0.5 * (1.0 - v / 32768.0);
    return {margin + static_cast<int>(std::lround(x)),
            margin + static_cast<int>(std::lround(std::clamp(y, 0.0, static_cast<double>(h - 1))))};
}

void rf_plot_panel::draw(wxDC& dc, const wxSize& size) const
{
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    if (!has_trace_ || trace_.values.empty())
        return;
    if (axes_) {
        dc.SetPen(wxPen(wxColour(110, 110, 110)));
        const int left = margin, right = size.GetWidth() - margin - 1;
        const int top = margin, bottom = size.GetHeight() - margin - 1;
        const int zero = trace_.envelope ? bottom : (top + bottom) / 2;
        dc.DrawLine(left, zero, right, zero);
        dc.DrawLine(left, top, left, bottom);
        dc.SetTextForeground(wxColour(170, 170, 170));
        dc.SetFont(wxFont(wxFontInfo(7)));
        const wxString first = wxString::Format("%ld", trace_.first);
        const wxString last = wxString::Format("%ld", trace_.first + static_cast<long>(trace_.values.size()) - 1);
        dc.DrawText(first, left + 2, top);
        dc.DrawText(last, right - dc.GetTextExtent(last).GetWidth(), top);
    }
    std::vector<wxPoint> points(trace_.values.size());
    for (std::size_t k = 0; k < points.size(); ++k)
        points[k] = point(k, size);
    dc.SetPen(wxPen(trace_colour));
    if (points.size() == 1)
        dc.DrawPoint(points[0]);
    else
        dc.DrawLines(static_cast<int>(points.size()), points.data());
}

void rf_plot_panel::OnPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    draw(dc, GetClientSize());
}

wxBitmap rf_plot_panel::grab() const
{
    const wxSize size = GetClientSize();
    wxBitmap bitmap(std::max(1, size.GetWidth()), std::max(1, size.GetHeight()), 24);
    wxMemoryDC dc(bitmap);
    draw(dc, size);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

rfscope_page::rfscope_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 4));
    grid->AddGrowableCol(1);
    auto spin = [&](const char* label, int low, int high, std::int64_t value) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        auto* s = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(110, -1), wxSP_ARROW_KEYS,
                                 low, high, clamp_int(value, low, high));
        grid->Add(s, 0, wxEXPAND);
        s->Bind(wxEVT_SPINCTRL, &rfscope_page::OnRfScopeControl, this);
        return s;
    };
    vector = spin("Vector:", 0, 65535, res->RES_RFSCOPE_V->value());
    averaged = spin("Mean of:", 0, 65535, res->RES_RFSCOPE_A->value());
    first_vector = spin("From vector:", 0, 65535, res->RES_RFSCOPE_START_V->value());
    first_sample = spin("First sample:", 0, 65535, res->RES_RFSCOPE_START_S->value());
    samples = spin("Samples (0 all):", 0, 65535, res->RES_RFSCOPE_S->value());
    gain = spin("Gain (dB):", -60, 60, res->RES_RFSCOPE_GAIN->value());
    grid->Add(new wxStaticText(this, wxID_ANY, "Trace:"), 0, wxALIGN_CENTER_VERTICAL);
    wxArrayString types;
    types.Add("Raw RF");
    types.Add("Envelope");
    type = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, types);
    type->SetSelection(clamp_int(res->RES_RFSCOPE_DISPLAY_TYPE->value(), 0, 1));
    type->Bind(wxEVT_CHOICE, &rfscope_page::OnRfScopeControl, this);
    grid->Add(type, 0, wxEXPAND);
    grid->AddSpacer(0);
    axes = new wxCheckBox(this, wxID_ANY, "Draw axes");
    axes->SetValue(res->RES_RFSCOPE_DRAW_AXES->value());
    axes->Bind(wxEVT_CHECKBOX, &rfscope_page::OnRfScopeControl, this);
    grid->Add(axes, 0);

    status = new wxStaticText(this, wxID_ANY, wxEmptyString);
    plot = new rf_plot_panel(this);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxEXPAND | wxALL, 6);
    column->Add(status, 0, wxLEFT | wxRIGHT, 6);
    column->Add(plot, 1, wxEXPAND | wxALL, 6);
    scroll_when_squeezed(this, column);

    changed_ = std::make_unique<pmf_functor<rfscope_page>>(this, &rfscope_page::RfScopeChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_RFSCOPE_V, res->RES_RFSCOPE_A, res->RES_RFSCOPE_START_V, res->RES_RFSCOPE_START_S, res->RES_RFSCOPE_S, res->RES_RFSCOPE_GAIN,
             res->RES_RFSCOPE_DISPLAY_TYPE, res->RES_RFSCOPE_DRAW_AXES, res->RES_RFSCOPE_VIABLE,
             res->RES_REDISPLAY_RFSCOPE, res->RES_BUF_CURRENT_FRAME, res->RES_BUF_FRAMES, res->RES_TOGGLE_LIVE,
             res->RES_VIDEO_RATE_COUNT_EVENT, res->RES_CMAP_CHANGED, res->RES_RF_PROBE_NAME, res->RES_RF_PROBE,
             res->RES_RF_FREQ, res->RES_RF_FILTER, res->RES_CURRENT_VISUAL_PAGE})
        r->add_proc(changed_.get());
    live_ = std::make_unique<pmf_functor<rfscope_page>>(this, &rfscope_page::RfScopeChanged);
    RfScopeChanged();
}

rfscope_page::~rfscope_page()
{
    live_.reset();  // stops listening, so capture may stop
    changed_.reset();
}

void rfscope_page::follow_live()
{
    const bool wanted = res->RES_TOGGLE_LIVE->value() && res->RES_RFSCOPE_VIABLE->value() &&
                        res->RES_CURRENT_VISUAL_PAGE->value() == rfscope_visual_page;
    if (wanted == listening_)
        return;
    listening_ = wanted;  // first: starting capture may bring us back here
    if (wanted)
        res->RES_VIDEO_CAPTURE_EVENT->read(live_.get());
    else
        res->RES_VIDEO_CAPTURE_EVENT->remove_worry(live_.get());
}

void rfscope_page::OnRfScopeControl(wxCommandEvent&)
{
    res->RES_RFSCOPE_V->write_no_changeprocs(vector->GetValue());
    res->RES_RFSCOPE_A->write_no_changeprocs(averaged->GetValue());
    res->RES_RFSCOPE_START_V->write_no_changeprocs(first_vector->GetValue());
    res->RES_RFSCOPE_START_S->write_no_changeprocs(first_sample->GetValue());
    res->RES_RFSCOPE_S->write_no_changeprocs(samples->GetValue());
    res->RES_RFSCOPE_GAIN->write_no_changeprocs(gain->GetValue());
    res->RES_RFSCOPE_DISPLAY_TYPE->write_no_changeprocs(std::max(0, type->GetSelection()));
    res->RES_RFSCOPE_DRAW_AXES->write_no_changeprocs(axes->GetValue());
    base_res_t::make_pending_writes_happen();
}

void rfscope_page::RfScopeChanged()
{
    follow_live();
    const cip_t frame = scope_frame();
    rf_utility::taps_t taps;
    const bool filtered = rf_display_service && rf_display_service->display_taps(&taps);
    rf_trace_t trace;
    if (!rf_trace(frame, rf_scope_settings_from_resources(), filtered ? &taps : nullptr, &trace)) {
        status->SetLabel(res->RES_RFSCOPE_VIABLE->value() ? "No RF frame to show." : "No RF data: open an RF recording "
                                                                                      "or choose an RF source.");
        plot->clear();
        return;
    }
    // The ranges follow the frame, so the controls never offer a vector it lacks.
    vector->SetRange(0, std::max(0L, frame.width() - 1));
    averaged->SetRange(0, std::max(0L, frame.width()));
    first_vector->SetRange(0, std::max(0L, frame.width() - 1));
    // One vector or a run of them: only the control that applies is offered.
    const bool averaging = res->RES_RFSCOPE_A->value() > 1;
    vector->Enable(!averaging);
    first_vector->Enable(averaging);
    first_sample->SetRange(0, std::max(0L, frame.height() - 1));
    samples->SetRange(0, std::max(0L, frame.height()));
    const long last_sample = trace.first + static_cast<long>(trace.values.size()) - 1;
    wxString text = trace.vectors > 1 ? wxString::Format("Mean of vectors %ld to %ld, samples %ld to %ld", trace.vector,
                                                         trace.vector + trace.vectors - 1, trace.first, last_sample)
                                      : wxString::Format("Vector %ld, samples %ld to %ld", trace.vector, trace.first,
                                                         last_sample);
    if (trace.envelope && !filtered)
        text << " (rectified: no probe filter)";
    if (status->GetLabel() != text)
        status->SetLabel(text);
    plot->show(std::move(trace), res->RES_RFSCOPE_DRAW_AXES->value());
}
