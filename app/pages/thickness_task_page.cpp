#include "thickness_task_page.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/labelled_grid.h"
#include "page_controls.h"
#include "resources/resource_table.h"
#include "thickness/thickness_actions.h"
#include "thickness/thickness_session.h"
#include "thickness/thickness_settings.h"

namespace {

constexpr double max_line_mm = 200.0;  // beyond it the fit falls back to its default length
constexpr double max_level_hu = 1e5;
constexpr double max_fwhm_mm = 1000.0;

// A level or blur as a field shows it: empty when estimated.
wxString level_text(double v)
{
    return std::isfinite(v) && v < thickness_unknown ? wxString::Format("%g", v) : wxString();
}

wxString line_text()
{
    return wxString::Format("%g", 10.0 * res->RES_THICKNESS_LINE->value());
}

wxTextCtrl* text_field(wxWindow* parent, labelled_grid_t& grid, const char* label)
{
    grid.label(label);
    auto* field = new wxTextCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxSize(90, -1), wxTE_PROCESS_ENTER);
    grid.sizer()->Add(field, 0, wxEXPAND);
    return field;
}

wxSpinCtrl* spin(labelled_grid_t& grid, const char* label, int low, int high)
{
    return grid.spin(label, low, high, low);
}

// The setting a level field edits, and what it may hold.
struct level_t {
    double_res_t* setting;
    bool blur;      // a width in mm, not a density
    bool may_be_0;  // the out-of-plane blur: 0 for none
};

std::optional<level_t> level_of(const thickness_task_page& page, const wxTextCtrl* field)
{
    if (field == page.outer_density)
        return level_t{res->RES_THICKNESS_A, false, true};
    if (field == page.cortical_density)
        return level_t{res->RES_THICKNESS_B, false, true};
    if (field == page.inner_density)
        return level_t{res->RES_THICKNESS_C, false, true};
    if (field == page.in_plane_fwhm)
        return level_t{res->RES_THICKNESS_GAUSS, true, false};
    if (field == page.out_plane_fwhm)
        return level_t{res->RES_THICKNESS_RECT, true, true};
    return std::nullopt;
}

// The value typed: 1e10 for empty or "estimated"; nothing when it cannot be used.
std::optional<double> typed_level(const wxString& typed, const level_t& level)
{
    const wxString text = typed.Strip(wxString::both);
    if (text.empty() || text.IsSameAs("estimated", false))
        return thickness_unknown;
    double v = 0.0;
    if (!text.ToCDouble(&v) || !std::isfinite(v))
        return std::nullopt;
    if (!level.blur)
        return std::fabs(v) <= max_level_hu ? std::optional(v) : std::nullopt;
    const bool low_ok = level.may_be_0 ? v >= 0.0 : v > 0.0;
    return low_ok && v <= max_fwhm_mm ? std::optional(v) : std::nullopt;
}

}  // namespace

thickness_task_page::thickness_task_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);

    labelled_grid_t top(this);
    top.label("Surface:");
    surface = new wxChoice(this, wxID_ANY);
    top.sizer()->Add(surface, 0, wxEXPAND);
    top.label("Alternate surface:");
    alternate = new wxChoice(this, wxID_ANY);
    top.sizer()->Add(alternate, 0, wxEXPAND);
    top.label("Technique:");
    wxArrayString techniques;
    for (const char* name : thickness_technique_names)
        techniques.Add(name);
    technique = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, techniques);
    top.sizer()->Add(technique, 0, wxEXPAND);
    sizer->Add(top.sizer(), 0, wxALL, 4);

    auto* profiles = new wxStaticBoxSizer(wxVERTICAL, this, "Profiles");
    wxWindow* box = profiles->GetStaticBox();
    labelled_grid_t lines(box);
    line_length = text_field(box, lines, "Line length (mm):");
    line_width_label = new wxStaticText(box, wxID_ANY, "Line width (pixels), currently 0.00 mm:");
    lines.sizer()->Add(line_width_label, 0, wxALIGN_CENTER_VERTICAL);
    line_width = new wxSpinCtrl(box, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 16, 0);
    lines.sizer()->Add(line_width, 0, wxEXPAND);
    profiles->Add(lines.sizer(), 0, wxALL, 2);
    auto* include = new wxBoxSizer(wxHORIZONTAL);
    include->Add(new wxStaticText(box, wxID_ANY, "Inc:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    inner_layer = new wxCheckBox(box, wxID_ANY, "inner");
    outer_layer = new wxCheckBox(box, wxID_ANY, "outer");
    metal = new wxCheckBox(box, wxID_ANY, "metal");
    for (wxCheckBox* c : {inner_layer, outer_layer, metal})
        include->Add(c, 0, wxRIGHT, 6);
    profiles->Add(include, 0, wxALL, 2);
    in_frame = new wxCheckBox(box, wxID_ANY, "Profiles within the frame's plane");
    profiles->Add(in_frame, 0, wxALL, 2);
    sizer->Add(profiles, 0, wxEXPAND | wxALL, 4);

    auto* model = new wxStaticBoxSizer(wxVERTICAL, this, "Model");
    box = model->GetStaticBox();
    threshold = new wxCheckBox(box, wxID_ANY, "Use thresholding");
    fwhm = new wxCheckBox(box, wxID_ANY, "Convert thickness from FWHM");
    endo_model = new wxCheckBox(box, wxID_ANY, "Use endocortical model");
    local_density = new wxCheckBox(box, wxID_ANY, "Use local peak as density");
    post_blur = new wxCheckBox(box, wxID_ANY, "Post-correct density for blur");
    for (wxCheckBox* c : {threshold, fwhm, endo_model, local_density, post_blur})
        model->Add(c, 0, wxALL, 2);
    labelled_grid_t levels(box);
    outer_density = text_field(box, levels, "Outer density (HU):");
    cortical_density = text_field(box, levels, "Cortical density (HU):");
    inner_density = text_field(box, levels, "Inner density (HU):");
    in_plane_fwhm = text_field(box, levels, "In-plane FWHM (mm):");
    out_plane_fwhm = text_field(box, levels, "Out-plane FWHM (mm):");
    model->Add(levels.sizer(), 0, wxALL, 2);
    model->Add(new wxStaticText(box, wxID_ANY, "Empty: estimated at every point."), 0, wxALL, 2);
    sizer->Add(model, 0, wxEXPAND | wxALL, 4);

    auto* results = new wxStaticBoxSizer(wxVERTICAL, this, "Results");
    box = results->GetStaticBox();
    labelled_grid_t smoothing(box);
    smooth_passes = spin(smoothing, "Smoothing passes:", 0, 1000);
    smooth_fill = spin(smoothing, "Fill passes:", 0, 1000);
    outlier_angle = spin(smoothing, "Outlier angle (degrees):", 0, 180);
    outlier_distance = spin(smoothing, "Outlier distance (0.01 mm):", 0, 100000);
    results->Add(smoothing.sizer(), 0, wxALL, 2);
    auto* parts = new wxBoxSizer(wxHORIZONTAL);
    create_inner = new wxCheckBox(box, wxID_ANY, "Inc. inner");
    create_outer = new wxCheckBox(box, wxID_ANY, "outer");
    create_caps = new wxCheckBox(box, wxID_ANY, "caps");
    for (wxCheckBox* c : {create_inner, create_outer, create_caps})
        parts->Add(c, 0, wxRIGHT, 6);
    results->Add(parts, 0, wxALL, 2);
    sizer->Add(results, 0, wxEXPAND | wxALL, 4);

    auto* buttons = new wxGridSizer(2, 4, 4);
    map = new wxButton(this, wxID_ANY, "Map thickness");
    estimate_density = new wxButton(this, wxID_ANY, "Estimate cortical density");
    compare = new wxButton(this, wxID_ANY, "Compare with alternate");
    save = new wxButton(this, wxID_ANY, "Save results");
    load = new wxButton(this, wxID_ANY, "Load results");
    save_alternate = new wxButton(this, wxID_ANY, "Save alternate");
    create = new wxButton(this, wxID_ANY, "Create surfaces");
    for (wxButton* b : {map, estimate_density, compare, save, load, save_alternate, create})
        buttons->Add(b, 0, wxEXPAND);
    sizer->Add(buttons, 0, wxALL, 4);
    status = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(status, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);

    surface->Bind(wxEVT_CHOICE, &thickness_task_page::OnSurface, this);
    alternate->Bind(wxEVT_CHOICE, &thickness_task_page::OnAlternate, this);
    technique->Bind(wxEVT_CHOICE, &thickness_task_page::OnTechnique, this);
    for (wxCheckBox* c : {inner_layer, outer_layer, metal, in_frame, threshold, fwhm, endo_model, local_density,
                          post_blur, create_inner, create_outer, create_caps})
        c->Bind(wxEVT_CHECKBOX, &thickness_task_page::OnSetting, this);
    for (wxSpinCtrl* s : {line_width, outlier_angle, outlier_distance})
        s->Bind(wxEVT_SPINCTRL, &thickness_task_page::OnSetting, this);
    for (wxSpinCtrl* s : {smooth_passes, smooth_fill})
        s->Bind(wxEVT_SPINCTRL, &thickness_task_page::OnSmoothing, this);
    on_entry(line_length, [this] { apply_line_length(); });
    for (wxTextCtrl* f : {outer_density, cortical_density, inner_density, in_plane_fwhm, out_plane_fwhm})
        on_entry(f, [this, f] { apply_level(f); });
    map->Bind(wxEVT_BUTTON, &thickness_task_page::OnMap, this);
    estimate_density->Bind(wxEVT_BUTTON, &thickness_task_page::OnEstimateDensity, this);
    compare->Bind(wxEVT_BUTTON, &thickness_task_page::OnCompare, this);
    save->Bind(wxEVT_BUTTON, &thickness_task_page::OnSave, this);
    load->Bind(wxEVT_BUTTON, &thickness_task_page::OnLoad, this);
    save_alternate->Bind(wxEVT_BUTTON, &thickness_task_page::OnSaveAlternate, this);
    create->Bind(wxEVT_BUTTON, &thickness_task_page::OnCreate, this);

    settings_changed_ = std::make_unique<pmf_functor<thickness_task_page>>(this, &thickness_task_page::SettingsChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_THICKNESS_TYPE,
                                                            res->RES_THICKNESS_LINE,
                                                            res->RES_THICKNESS_WIDTH,
                                                            res->RES_XSCALE,
                                                            res->RES_THICKNESS_INNER_LAYER,
                                                            res->RES_THICKNESS_OUTER_LAYER,
                                                            res->RES_THICKNESS_METAL,
                                                            res->RES_THICKNESS_IN_FRAME,
                                                            res->RES_THICKNESS_THRESHOLD,
                                                            res->RES_THICKNESS_FWHM,
                                                            res->RES_THICKNESS_ENDO_MODEL,
                                                            res->RES_THICKNESS_LOCAL_DENSITY,
                                                            res->RES_THICKNESS_POST_BLUR,
                                                            res->RES_THICKNESS_A,
                                                            res->RES_THICKNESS_B,
                                                            res->RES_THICKNESS_C,
                                                            res->RES_THICKNESS_GAUSS,
                                                            res->RES_THICKNESS_RECT,
                                                            res->RES_THICKNESS_SMOOTH,
                                                            res->RES_THICKNESS_SMOOTH_FILL,
                                                            res->RES_THICKNESS_OUTLIER_REJECT,
                                                            res->RES_THICKNESS_DISTANCE_REJECT,
                                                            res->RES_THICKNESS_CREATE_INNER,
                                                            res->RES_THICKNESS_CREATE_OUTER,
                                                            res->RES_THICKNESS_CREATE_CAPS})
        r->add_proc(settings_changed_.get());
    surfaces_changed_ = std::make_unique<pmf_functor<thickness_task_page>>(this, &thickness_task_page::SurfacesChanged);
    watch_surfaces(surfaces_changed_.get());
    // A script choosing the surfaces maps or compares next; the choices catch up then,
    // or when the page is turned to, the choice of surface giving no notice of its own.
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_THICKNESS_SURF, res->RES_REDISPLAY_THICKNESS})
        r->add_proc(surfaces_changed_.get());
    if (auto* book = dynamic_cast<wxNotebook*>(parent))
        book->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &thickness_task_page::OnPageChanged, this);
    SettingsChanged();
    SurfacesChanged();
}

thickness_task_page::~thickness_task_page() = default;

wxWindow* thickness_task_page::control_for(thickness_control_t c) const
{
    switch (c) {
        case thickness_control_t::threshold:
            return threshold;
        case thickness_control_t::fwhm:
            return fwhm;
        case thickness_control_t::post_blur:
            return post_blur;
        case thickness_control_t::local_density:
            return local_density;
        case thickness_control_t::endo_model:
            return endo_model;
        case thickness_control_t::a:
            return outer_density;
        case thickness_control_t::b:
            return cortical_density;
        case thickness_control_t::c:
            return inner_density;
        case thickness_control_t::gauss:
            return in_plane_fwhm;
        case thickness_control_t::rect:
            return out_plane_fwhm;
        case thickness_control_t::width:
            return line_width;
    }
    return nullptr;
}

void thickness_task_page::SettingsChanged()
{
    refreshing_ = true;
    const long type = res->RES_THICKNESS_TYPE->value();
    const bool known_type = type >= 0 && type < long(std::size(thickness_technique_names));
    technique->SetSelection(known_type ? int(type) : 0);
    // A field is set only when its setting changed, so that typing in another is not lost.
    const auto show = [this](wxTextCtrl* field, const base_res_t* r, const wxString& text) {
        if (!filled_ || r->changed())
            field->ChangeValue(text);
    };
    show(line_length, res->RES_THICKNESS_LINE, line_text());
    show(outer_density, res->RES_THICKNESS_A, level_text(res->RES_THICKNESS_A->value()));
    show(cortical_density, res->RES_THICKNESS_B, level_text(res->RES_THICKNESS_B->value()));
    show(inner_density, res->RES_THICKNESS_C, level_text(res->RES_THICKNESS_C->value()));
    show(in_plane_fwhm, res->RES_THICKNESS_GAUSS, level_text(res->RES_THICKNESS_GAUSS->value()));
    show(out_plane_fwhm, res->RES_THICKNESS_RECT, level_text(res->RES_THICKNESS_RECT->value()));
    const int width = clamp_int(res->RES_THICKNESS_WIDTH->value(), 0, 16);
    line_width->SetValue(width);
    line_width_label->SetLabel(
        wxString::Format("Line width (pixels), currently %.2lf mm:", width * res->RES_XSCALE->value() * 10.0));
    inner_layer->SetValue(res->RES_THICKNESS_INNER_LAYER->value());
    outer_layer->SetValue(res->RES_THICKNESS_OUTER_LAYER->value());
    metal->SetValue(res->RES_THICKNESS_METAL->value());
    in_frame->SetValue(res->RES_THICKNESS_IN_FRAME->value());
    threshold->SetValue(res->RES_THICKNESS_THRESHOLD->value());
    fwhm->SetValue(res->RES_THICKNESS_FWHM->value());
    endo_model->SetValue(res->RES_THICKNESS_ENDO_MODEL->value());
    local_density->SetValue(res->RES_THICKNESS_LOCAL_DENSITY->value());
    post_blur->SetValue(res->RES_THICKNESS_POST_BLUR->value());
    smooth_passes->SetValue(clamp_int(res->RES_THICKNESS_SMOOTH->value(), 0, 1000));
    smooth_fill->SetValue(clamp_int(res->RES_THICKNESS_SMOOTH_FILL->value(), 0, 1000));
    outlier_angle->SetValue(clamp_int(res->RES_THICKNESS_OUTLIER_REJECT->value(), 0, 180));
    outlier_distance->SetValue(clamp_int(res->RES_THICKNESS_DISTANCE_REJECT->value(), 0, 100000));
    create_inner->SetValue(res->RES_THICKNESS_CREATE_INNER->value());
    create_outer->SetValue(res->RES_THICKNESS_CREATE_OUTER->value());
    create_caps->SetValue(res->RES_THICKNESS_CREATE_CAPS->value());
    // What the technique sets is its to decide; "Manual" leaves everything to the user.
    const std::vector<thickness_control_t> fixed = thickness_controls_fixed_by(type);
    for (const thickness_control_t c :
         {thickness_control_t::threshold, thickness_control_t::fwhm, thickness_control_t::post_blur,
          thickness_control_t::local_density, thickness_control_t::endo_model, thickness_control_t::a,
          thickness_control_t::b, thickness_control_t::c, thickness_control_t::gauss, thickness_control_t::rect,
          thickness_control_t::width})
        control_for(c)->Enable(std::find(fixed.begin(), fixed.end(), c) == fixed.end());
    filled_ = true;
    refreshing_ = false;
    Layout();
}

void thickness_task_page::SurfacesChanged()
{
    surface_slots_ = fill_surface_choice(surface, int(thickness_surface_object()));
    alternate_slots_ = fill_surface_choice(alternate, int(alternate_surface_object()));
}

void thickness_task_page::OnPageChanged(wxBookCtrlEvent& event)
{
    event.Skip();  // the main window keeps the page shown too
    if (const auto* book = dynamic_cast<const wxNotebook*>(GetParent()); book && book->GetCurrentPage() == this)
        SurfacesChanged();
}

void thickness_task_page::OnSurface(wxCommandEvent&)
{
    const int slot = chosen_surface(surface, surface_slots_);
    if (slot < 0)
        thickness_session().surface_object = -1;
    else if (!choose_thickness_surface(slot))
        SurfacesChanged();
    show_results_status("");
}

void thickness_task_page::OnAlternate(wxCommandEvent&)
{
    const int slot = chosen_surface(alternate, alternate_slots_);
    if (slot < 0)
        res->RES_THICKNESS_SURF->write(-1);
    else if (!thickness_alternate(slot))
        SurfacesChanged();
}

void thickness_task_page::OnTechnique(wxCommandEvent&)
{
    if (!refreshing_)
        choose_thickness_technique(technique->GetSelection());
}

void thickness_task_page::OnSetting(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_THICKNESS_WIDTH->write_no_changeprocs(line_width->GetValue());
    res->RES_THICKNESS_INNER_LAYER->write_no_changeprocs(inner_layer->GetValue());
    res->RES_THICKNESS_OUTER_LAYER->write_no_changeprocs(outer_layer->GetValue());
    res->RES_THICKNESS_METAL->write_no_changeprocs(metal->GetValue());
    res->RES_THICKNESS_IN_FRAME->write_no_changeprocs(in_frame->GetValue());
    res->RES_THICKNESS_THRESHOLD->write_no_changeprocs(threshold->GetValue());
    res->RES_THICKNESS_FWHM->write_no_changeprocs(fwhm->GetValue());
    res->RES_THICKNESS_ENDO_MODEL->write_no_changeprocs(endo_model->GetValue());
    res->RES_THICKNESS_LOCAL_DENSITY->write_no_changeprocs(local_density->GetValue());
    res->RES_THICKNESS_POST_BLUR->write_no_changeprocs(post_blur->GetValue());
    res->RES_THICKNESS_OUTLIER_REJECT->write_no_changeprocs(outlier_angle->GetValue());
    res->RES_THICKNESS_DISTANCE_REJECT->write_no_changeprocs(outlier_distance->GetValue());
    res->RES_THICKNESS_CREATE_INNER->write_no_changeprocs(create_inner->GetValue());
    res->RES_THICKNESS_CREATE_OUTER->write_no_changeprocs(create_outer->GetValue());
    res->RES_THICKNESS_CREATE_CAPS->write_no_changeprocs(create_caps->GetValue());
    base_res_t::make_pending_writes_happen();
}

void thickness_task_page::OnSmoothing(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_THICKNESS_SMOOTH->write(smooth_passes->GetValue());
    res->RES_THICKNESS_SMOOTH_FILL->write(smooth_fill->GetValue());
    // The smoothed thickness follows at once; the fit itself need not run again.
    const long object = thickness_surface_object();
    if (object >= 0 && thickness_session().results(int(object))) {
        thickness_session().smooth(int(object));
        res->RES_REDISPLAY_THICKNESS->write();
    }
}

void thickness_task_page::apply_line_length()
{
    double mm = 0.0;
    const wxString text = line_length->GetValue().Strip(wxString::both);
    // The field as shown holds the setting rounded: leaving it untouched must not round the setting.
    if (text == line_text())
        return;
    if (text.ToCDouble(&mm) && std::isfinite(mm) && mm > 0.0 && mm <= max_line_mm) {
        if (std::fabs(mm / 10.0 - res->RES_THICKNESS_LINE->value()) > 1e-12)
            res->RES_THICKNESS_LINE->write(mm / 10.0);
        return;
    }
    wxLogWarning("The line length must be a number of millimetres above 0 and at most %g.", max_line_mm);
    line_length->ChangeValue(line_text());
}

void thickness_task_page::apply_level(wxTextCtrl* field)
{
    const std::optional<level_t> level = level_of(*this, field);
    if (!level || field->GetValue().Strip(wxString::both) == level_text(level->setting->value()))
        return;
    if (const std::optional<double> v = typed_level(field->GetValue(), *level)) {
        if (*v != level->setting->value())
            level->setting->write(*v);
        field->ChangeValue(level_text(*v));
        return;
    }
    if (level->blur)
        wxLogWarning("A FWHM must be a number of millimetres %s and at most %g, or empty for estimated.",
                     level->may_be_0 ? "from 0" : "above 0", max_fwhm_mm);
    else
        wxLogWarning("A density must be a number of HU from %g to %g, or empty for estimated.", -max_level_hu,
                     max_level_hu);
    field->ChangeValue(level_text(level->setting->value()));
}

void thickness_task_page::show_results_status(const wxString& done)
{
    const long object = thickness_surface_object();
    const thickness_results_t* results = object >= 0 ? thickness_session().results(int(object)) : nullptr;
    if (!results) {
        status->SetLabel(done.empty() ? wxString() : done + ".");
        return;
    }
    const auto& thick = results->values[thickness_results_t::thick];
    const auto measured = std::count_if(thick.begin(), thick.end(), [](double v) { return v < thickness_unknown; });
    status->SetLabel(wxString::Format("%s%s%zu points, %ld with a result.", done, done.empty() ? "" : ": ",
                                      results->points(), long(measured)));
    FitInside();
}

void thickness_task_page::OnMap(wxCommandEvent&)
{
    show_results_status(thickness_surf_fit() ? "Thickness mapped" : "Thickness not mapped");
}

void thickness_task_page::OnEstimateDensity(wxCommandEvent&)
{
    density_estimate_t estimate;
    bool show_plot = false;
    const bool taken = thickness_est_density(&estimate, &show_plot);
    status->SetLabel(taken ? estimate.text() : wxString("No cortical density taken."));
    FitInside();
    if (!show_plot)
        return;
    const wxString base = thickness_file_base(thickness_surface_object());
    if (density_dialog_) {
        density_dialog_->show_estimate(estimate, base);
    } else {
        density_dialog_ = new thickness_density_dialog(this, estimate, base);
    }
    density_dialog_->Show();
    density_dialog_->Raise();
}

void thickness_task_page::OnCompare(wxCommandEvent&)
{
    show_results_status(thickness_compare() ? "Thickness from the alternate surface" : "Not compared");
}

void thickness_task_page::OnSave(wxCommandEvent&)
{
    status->SetLabel(thickness_surf_save()
                         ? "Results saved under " + thickness_file_base(thickness_surface_object()) + "."
                         : wxString("Results not saved."));
    FitInside();
}

void thickness_task_page::OnLoad(wxCommandEvent&)
{
    show_results_status(thickness_surf_load() ? "Results loaded" : "Results not loaded");
}

void thickness_task_page::OnSaveAlternate(wxCommandEvent&)
{
    status->SetLabel(thickness_save_alternate()
                         ? "Alternate results saved under " + thickness_file_base(alternate_surface_object()) + "."
                         : wxString("Alternate results not saved."));
    FitInside();
}

void thickness_task_page::OnCreate(wxCommandEvent&)
{
    status->SetLabel(thickness_create()
                         ? "Surfaces saved under " + thickness_file_base(thickness_surface_object()) + "."
                         : wxString("Surfaces not created."));
    FitInside();
}
