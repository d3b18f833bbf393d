#include "thickness_visual_page.h"

#include <initializer_list>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/image.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/labelled_grid.h"
#include "page_controls.h"
#include "resources/resource_table.h"
#include "surfaces/surface_interp.h"
#include "thickness/thickness_plots.h"
#include "thickness/thickness_session.h"
#include "views/plot_panel.h"

namespace {

constexpr int bar_width = 200, bar_height = 12;

wxChoice* labelled_choice(wxWindow* parent, labelled_grid_t& grid, const char* label, const wxArrayString& items)
{
    grid.label(label);
    auto* choice = new wxChoice(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, items);
    grid.sizer()->Add(choice, 0, wxEXPAND);
    return choice;
}

wxBitmap colour_bar(long map)
{
    wxImage bar(bar_width, bar_height);
    for (int x = 0; x < bar_width; ++x) {
        const rgb_t c = scale_colour(double(x) / double(bar_width - 1), map);
        for (int y = 0; y < bar_height; ++y)
            bar.SetRGB(x, y, c.r, c.g, c.b);
    }
    return wxBitmap(bar);
}

const char* no_pick_text = "Click the surface in the 3D view to see a point's profile.";

}  // namespace

thickness_visual_page::thickness_visual_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    labelled_grid_t grid(this);
    wxArrayString quantities, maps;
    for (const char* name : thickness_shown_names)
        quantities.Add(name);
    for (const char* name : thickness_colour_map_names)
        maps.Add(name);
    shown = labelled_choice(this, grid, "Show:", quantities);
    colour_map = labelled_choice(this, grid, "Colours:", maps);
    scale_mm = grid.spin("Full scale (0.1 mm):", 1, 10000, 40);
    scale_hu = grid.spin("Density full scale (100 HU):", 1, 1000, 20);
    scale_humm = grid.spin("Density x thickness full scale (1000 HU mm):", 1, 1000, 8);
    zero_hu = grid.spin("Density at the scale's foot (HU):", -100000, 100000, 0);
    sizer->Add(grid.sizer(), 0, wxALL, 4);
    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    scale_bar = new wxStaticBitmap(this, wxID_ANY, colour_bar(0));
    bar->Add(scale_bar, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    scale_text = new wxStaticText(this, wxID_ANY, "");
    bar->Add(scale_text, 0, wxALIGN_CENTER_VERTICAL);
    sizer->Add(bar, 0, wxALL, 4);

    auto* plot_row = new wxBoxSizer(wxHORIZONTAL);
    plot_row->Add(new wxStaticText(this, wxID_ANY, "Profile:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    data = new wxCheckBox(this, wxID_ANY, "data");
    function = new wxCheckBox(this, wxID_ANY, "function");
    steps = new wxCheckBox(this, wxID_ANY, "steps");
    for (wxCheckBox* c : {data, function, steps})
        plot_row->Add(c, 0, wxRIGHT, 6);
    sizer->Add(plot_row, 0, wxALL, 4);
    picked_text = new wxStaticText(this, wxID_ANY, no_pick_text);
    sizer->Add(picked_text, 0, wxALL, 4);
    profile = new plot_panel_t(this);
    profile->SetMinSize(wxSize(320, 220));
    sizer->Add(profile, 1, wxEXPAND | wxALL, 4);
    scroll_when_squeezed(this, sizer);

    for (wxChoice* c : {shown, colour_map})
        c->Bind(wxEVT_CHOICE, &thickness_visual_page::OnSetting, this);
    for (wxSpinCtrl* s : {scale_mm, scale_hu, scale_humm, zero_hu})
        s->Bind(wxEVT_SPINCTRL, &thickness_visual_page::OnSetting, this);
    for (wxCheckBox* c : {data, function, steps})
        c->Bind(wxEVT_CHECKBOX, &thickness_visual_page::OnSetting, this);

    // The fit settings too: the picked point is fitted again as they say.
    changed_ = std::make_unique<pmf_functor<thickness_visual_page>>(this, &thickness_visual_page::DisplayChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_REDISPLAY_THICKNESS,
                                                            res->RES_THICKNESS_DISP_MAP,
                                                            res->RES_THICKNESS_DISP_COL,
                                                            res->RES_THICKNESS_SCALE_MM,
                                                            res->RES_THICKNESS_SCALE_HU,
                                                            res->RES_THICKNESS_SCALE_HUMM,
                                                            res->RES_THICKNESS_ZERO_HU,
                                                            res->RES_THICKNESS_DISP_DATA,
                                                            res->RES_THICKNESS_DISP_FUNC,
                                                            res->RES_THICKNESS_DISP_STEP,
                                                            res->RES_THICKNESS_LINE,
                                                            res->RES_THICKNESS_WIDTH,
                                                            res->RES_THICKNESS_IN_FRAME,
                                                            res->RES_THICKNESS_A,
                                                            res->RES_THICKNESS_B,
                                                            res->RES_THICKNESS_C,
                                                            res->RES_THICKNESS_GAUSS,
                                                            res->RES_THICKNESS_RECT,
                                                            res->RES_THICKNESS_FWHM,
                                                            res->RES_THICKNESS_POST_BLUR,
                                                            res->RES_THICKNESS_ENDO_MODEL,
                                                            res->RES_THICKNESS_THRESHOLD,
                                                            res->RES_THICKNESS_LOCAL_DENSITY,
                                                            res->RES_THICKNESS_METAL,
                                                            res->RES_THICKNESS_INNER_LAYER,
                                                            res->RES_THICKNESS_OUTER_LAYER})
        r->add_proc(changed_.get());
    watch_surfaces(changed_.get());
    DisplayChanged();
}

thickness_visual_page::~thickness_visual_page() = default;

void thickness_visual_page::DisplayChanged()
{
    const thickness_scale_t scale = thickness_scale_from_settings();
    refreshing_ = true;
    shown->SetSelection(int(scale.shown));
    colour_map->SetSelection(int(scale.map));
    scale_mm->SetValue(int(scale.scale_mm));
    scale_hu->SetValue(int(scale.scale_hu));
    scale_humm->SetValue(int(scale.scale_humm));
    zero_hu->SetValue(int(scale.zero_hu));
    data->SetValue(res->RES_THICKNESS_DISP_DATA->value());
    function->SetValue(res->RES_THICKNESS_DISP_FUNC->value());
    steps->SetValue(res->RES_THICKNESS_DISP_STEP->value());
    refreshing_ = false;
    show_scale(scale);
    colourer_.colour_session_surfaces();
    show_picked();
}

void thickness_visual_page::show_scale(const thickness_scale_t& scale)
{
    scale_bar->SetBitmap(colour_bar(scale.map));
    const scale_ends_t ends = scale_ends(scale);
    scale_text->SetLabel(wxString::Format("%g to %g %s", ends.lo, ends.hi, scale_unit(scale.shown)));
    FitInside();
}

void thickness_visual_page::OnSetting(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_THICKNESS_DISP_MAP->write_no_changeprocs(shown->GetSelection());
    res->RES_THICKNESS_DISP_COL->write_no_changeprocs(colour_map->GetSelection());
    res->RES_THICKNESS_SCALE_MM->write_no_changeprocs(scale_mm->GetValue());
    res->RES_THICKNESS_SCALE_HU->write_no_changeprocs(scale_hu->GetValue());
    res->RES_THICKNESS_SCALE_HUMM->write_no_changeprocs(scale_humm->GetValue());
    res->RES_THICKNESS_ZERO_HU->write_no_changeprocs(zero_hu->GetValue());
    res->RES_THICKNESS_DISP_DATA->write_no_changeprocs(data->GetValue());
    res->RES_THICKNESS_DISP_FUNC->write_no_changeprocs(function->GetValue());
    res->RES_THICKNESS_DISP_STEP->write_no_changeprocs(steps->GetValue());
    base_res_t::make_pending_writes_happen();
}

bool thickness_visual_page::pick(int object, const vertex3d& p)
{
    if (object < 0 || object >= resource_t::surface_slots || !thickness_session().results(object))
        return false;
    const auto& surface = res->RES_SURFACE[std::size_t(object)]->value();
    const surface_mesh_t mesh = thickness::mesh_of(*surface);
    const std::optional<std::size_t> point = nearest_point(mesh, p);
    if (!point)
        return false;
    picked_object_ = object;
    picked_point_ = *point;
    picked_at_ = mesh.points[*point].position;
    show_picked();
    return true;
}

std::optional<vertex3d> thickness_visual_page::picked_position() const
{
    if (picked_object_ < 0)
        return std::nullopt;
    // Results held over the surface picked on: the point is where it was.
    const thickness_results_t* results = thickness_session().results(picked_object_);
    return results && picked_point_ < results->points() ? std::optional(picked_at_) : std::nullopt;
}

void thickness_visual_page::show_picked()
{
    const thickness_results_t* results = picked_object_ >= 0 ? thickness_session().results(picked_object_) : nullptr;
    // Results over another surface, or none: the picked point means nothing now.
    if (!results || picked_point_ >= results->points()) {
        picked_object_ = -1;
        picked_text->SetLabel(no_pick_text);
        profile->set_plot({});
        return;
    }
    point_fit_detail_t detail;
    const point_result_t r = thickness_session().refit_point(picked_object_, picked_point_, &detail);
    if (!r.ok())
        picked_text->SetLabel(wxString::Format("No thickness at point %zu.", picked_point_ + 1));
    else if (r.thickness_error < thickness_unknown)
        picked_text->SetLabel(wxString::Format("Thickness is %.2lf +/- %.2lf mm", r.thickness, r.thickness_error));
    else
        picked_text->SetLabel(wxString::Format("Thickness is %.2lf mm", r.thickness));
    profile->set_plot(profile_plot(detail, res->RES_THICKNESS_DISP_DATA->value(), res->RES_THICKNESS_DISP_FUNC->value(),
                                   res->RES_THICKNESS_DISP_STEP->value()));
    profile->Refresh(false);
    FitInside();
}
