#include "shape_model_page.h"

#include <algorithm>
#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/wrapsizer.h>
#include <wx/utils.h>

#include "common/interaction.h"
#include "models/fit_model_session.h"
#include "page_controls.h"
#include "resources/resource_table.h"
#include "segmentation/object_list.h"

namespace {

constexpr const char* caption = "Fit shape model";

wxButton* button(wxWindow* parent, wxSizer* sizer, const char* label)
{
    auto* b = new wxButton(parent, wxID_ANY, label);
    sizer->Add(b, 0, wxRIGHT | wxBOTTOM, 4);
    return b;
}

// A number above 0 typed in a field; nan and inf are not numbers here.
bool positive(const wxTextCtrl* field, double* out)
{
    double v = 0.0;
    if (!field->GetValue().Strip(wxString::both).ToCDouble(&v) || !std::isfinite(v) || !(v > 0.0))
        return false;
    *out = v;
    return true;
}

}  // namespace

shape_model_page::shape_model_page(wxWindow* parent) : wxScrolledWindow(parent, wxID_ANY)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    const ssm_settings_t& s = model->settings;
    auto* column = new wxBoxSizer(wxVERTICAL);

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    load = button(this, row, "Load model...");
    row->Add(new wxStaticText(this, wxID_ANY, "Current shape model:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    current = new wxStaticText(this, wxID_ANY, current_shape_model_text());
    row->Add(current, 0, wxALIGN_CENTER_VERTICAL);
    column->Add(row, 0, wxALL, 6);

    auto* grid = new wxFlexGridSizer(2, wxSize(8, 4));
    const auto label = [&](const wxString& text) {
        auto* t = new wxStaticText(this, wxID_ANY, text);
        grid->Add(t, 0, wxALIGN_CENTER_VERTICAL);
        return t;
    };
    label("Points from:");
    points_from = new wxChoice(this, wxID_ANY);
    grid->Add(points_from, 0, wxEXPAND);
    const wxString types[] = {"&SSM", "&LAD"};
    type = new wxRadioBox(this, wxID_ANY, "Registration", wxDefaultPosition, wxDefaultSize, 2, types, 2);
    type->SetSelection(s.type == ssm_registration_t::lad ? 1 : 0);
    label("Number of SSM modes:");
    modes = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 1000,
                           s.modes);
    grid->Add(modes, 0, wxEXPAND);
    label("Nonrigid flexibility:");
    flexibility = new wxTextCtrl(this, wxID_ANY, wxString::Format("%g", s.flexibility));
    grid->Add(flexibility, 0, wxEXPAND);
    label("Number of iterations:");
    iterations = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1,
                                1000, std::max(1, s.iterations));
    grid->Add(iterations, 0, wxEXPAND);
    range_label = label("Search range (mm)");
    range = new wxTextCtrl(this, wxID_ANY, "");
    grid->Add(range, 0, wxEXPAND);
    show_range(s.search_range * 10.0);
    column->Add(grid, 0, wxALL, 6);
    column->Add(type, 0, wxLEFT | wxRIGHT, 6);

    auto* actions = new wxWrapSizer(wxHORIZONTAL);
    map_points = button(this, actions, "Map points");
    initialize = button(this, actions, "Initialize from object");
    fit_landmarks = button(this, actions, "Fit to landmarks");
    start = button(this, actions, "Start registration");
    reset_model = button(this, actions, "Reset model");
    reset_nonrigid = button(this, actions, "Reset nonrigid");
    flip = button(this, actions, "Flip inside/outside");
    column->Add(actions, 0, wxALL, 6);

    auto* back = new wxFlexGridSizer(2, wxSize(8, 4));
    back->Add(new wxStaticText(this, wxID_ANY, "Contours to:"), 0, wxALIGN_CENTER_VERTICAL);
    contours_to = new wxChoice(this, wxID_ANY);
    back->Add(contours_to, 0, wxEXPAND);
    back->Add(new wxStaticText(this, wxID_ANY, "Every"), 0, wxALIGN_CENTER_VERTICAL);
    every =
        new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 10000, 1);
    back->Add(every, 0, wxEXPAND);
    back->Add(new wxStaticText(this, wxID_ANY, "Contour accuracy (x0.1 pixels):"), 0, wxALIGN_CENTER_VERTICAL);
    accuracy =
        new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 1000, 5);
    back->Add(accuracy, 0, wxEXPAND);
    column->Add(back, 0, wxALL, 6);
    auto* last = new wxBoxSizer(wxHORIZONTAL);
    make_contours = button(this, last, "Make contours");
    save = button(this, last, "Save surface");
    column->Add(last, 0, wxLEFT | wxRIGHT, 6);
    status = new wxStaticText(this, wxID_ANY, "");
    column->Add(status, 0, wxALL, 6);
    scroll_when_squeezed(this, column);

    load->Bind(wxEVT_BUTTON, &shape_model_page::OnLoad, this);
    map_points->Bind(wxEVT_BUTTON, &shape_model_page::OnMapPoints, this);
    initialize->Bind(wxEVT_BUTTON, &shape_model_page::OnInitialize, this);
    fit_landmarks->Bind(wxEVT_BUTTON, &shape_model_page::OnFitLandmarks, this);
    start->Bind(wxEVT_BUTTON, &shape_model_page::OnStart, this);
    make_contours->Bind(wxEVT_BUTTON, &shape_model_page::OnMakeContours, this);
    save->Bind(wxEVT_BUTTON, &shape_model_page::OnSave, this);
    reset_model->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        fit_model_from_session()->reset_model();
        shape_model_changed();
    });
    reset_nonrigid->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        fit_model_from_session()->reset_nonrigid();
        shape_model_changed();
    });
    flip->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        fit_model_from_session()->reflect_registration_matrix();
        shape_model_changed();
    });
    // The label follows the magnitude of the range typed.
    range->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        double v = 0.0;
        if (positive(range, &v))
            range_label->SetLabel(search_range_label(v * range_unit_mm_));
    });

    changed_ = std::make_unique<pmf_functor<shape_model_page>>(this, &shape_model_page::ModelChanged);
    res->RES_NEW_SHAPE_MODEL->add_proc(changed_.get());
    res->RES_OBJECT->add_proc(changed_.get());
    ModelChanged();
}

shape_model_page::~shape_model_page()
{
    res->RES_NEW_SHAPE_MODEL->remove_worry(changed_.get());
    res->RES_OBJECT->remove_worry(changed_.get());
}

void shape_model_page::show_range(double range_mm)
{
    range_label->SetLabel(search_range_label(range_mm, &range_unit_mm_));
    range->ChangeValue(wxString::Format("%g", range_mm / range_unit_mm_));
}

void shape_model_page::fill_objects()
{
    const auto& table = res->RES_OBJECT->value();
    for (wxChoice* choice : {points_from, contours_to}) {
        const int chosen = std::max(0, choice->GetSelection());
        choice->Clear();
        if (!table)
            continue;
        const int length = object_list_length(*table);
        for (int i = 0; i < length; ++i)
            choice->Append((*table)[i].name);
        choice->SetSelection(std::min(chosen, length - 1));
    }
}

void shape_model_page::ModelChanged()
{
    if (!res->RES_NEW_SHAPE_MODEL->changed() || res->RES_OBJECT->changed())
        fill_objects();
    current->SetLabel(current_shape_model_text());
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (model->loaded())
        status->SetLabel(wxString::Format("%zu vertices, %d modes; %zu target points; scale %.4f%s",
                                          model->vertex_count(), model->mode_count(), model->target_points().size(),
                                          model->scale(), model->reflected() ? ", flipped" : ""));
    else
        status->SetLabel("");
    Layout();
}

bool shape_model_page::apply_settings()
{
    ssm_settings_t& s = fit_model_from_session()->settings;
    double flex = 0.0, typed_range = 0.0;
    if (!flexibility->GetValue().Strip(wxString::both).ToCDouble(&flex) || !std::isfinite(flex) || flex < 0.0) {
        interaction().inform(caption, "The nonrigid flexibility must be a number of 0 or more.");
        return false;
    }
    if (!positive(range, &typed_range)) {
        interaction().inform(caption, "The search range must be a number above 0.");
        return false;
    }
    s.type = type->GetSelection() == 1 ? ssm_registration_t::lad : ssm_registration_t::ssm;
    s.modes = modes->GetValue();
    s.flexibility = flex;
    s.iterations = iterations->GetValue();
    s.search_range = typed_range * range_unit_mm_ / 10.0;  // cm
    return true;
}

void shape_model_page::OnLoad(wxCommandEvent&)
{
    const auto chosen = interaction().ask_file("Open shape model", "PLY file|*.ply|All files|*.*",
                                               res->RES_ASCII_FILENAME->value().GetPath(), false);
    if (!chosen)
        return;
    wxBusyCursor busy;
    const ssm_load_t loaded = load_shape_model(chosen->path);
    if (loaded != ssm_load_t::ok)
        interaction().inform(caption, ssm_load_failure_text(loaded));
}

void shape_model_page::OnMapPoints(wxCommandEvent&)
{
    if (!fit_model_from_session()->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    wxBusyCursor busy;
    points_from_object(points_from->GetSelection());  // the failure is logged
}

void shape_model_page::OnInitialize(wxCommandEvent&)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    if (model->target_points().empty() && !points_from_object(points_from->GetSelection()))
        return;
    if (model->initialize_from_points())
        shape_model_changed();
}

void shape_model_page::OnFitLandmarks(wxCommandEvent&)
{
    if (!fit_model_from_session()->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    const std::vector<wxString> missing = missing_session_landmarks();
    if (!missing.empty()) {
        wxString text = "First place a landmark on:\n";
        for (const wxString& name : missing)
            text += name + "\n";
        interaction().inform(caption, text);
        return;
    }
    fit_to_session_landmarks();
}

void shape_model_page::OnStart(wxCommandEvent&)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    if (model->target_points().empty()) {
        interaction().inform(caption, "First map some points from one of the objects");
        return;
    }
    if (!apply_settings())
        return;
    double rms = 0.0;
    std::size_t pairs = 0;
    model->register_model([&](int, const ssm_iteration_t& done) {
        if (done.applied) {
            rms = done.rms_after;
            pairs = done.pairs;
        }
    });
    shape_model_changed();
    status->SetLabel(status->GetLabel() + wxString::Format("\nRMS %.3f mm over %zu points", rms * 10.0, pairs));
}

void shape_model_page::OnMakeContours(wxCommandEvent&)
{
    if (!fit_model_from_session()->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    wxBusyCursor busy;
    contours_to_object(contours_to->GetSelection(), every->GetValue(), accuracy->GetValue());
}

void shape_model_page::OnSave(wxCommandEvent&)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model->loaded()) {
        interaction().inform(caption, "First load a shape model\n");
        return;
    }
    const auto chosen = interaction().ask_file("Save model surface as", shape_model_save_filters,
                                               res->RES_ASCII_FILENAME->value().GetPath(), true);
    if (!chosen)
        return;
    wxString path = chosen->path;
    // A name without a suffix takes the chosen filter's.
    if (wxFileName(path).GetExt().empty())
        path += chosen->filter == 0 ? ".wrl" : ".ply";
    if (!model->save_surface(path))
        interaction().inform(caption, "Error opening surface file for writing\n");
}
