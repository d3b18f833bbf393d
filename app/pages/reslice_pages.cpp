#include "reslice_pages.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "common/dynabuf.h"
#include "common/file_names.h"
#include "common/interaction.h"
#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_frames.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "views/gl_support.h"
#include "main_frame.h"
#include "page_controls.h"

void reslice_views_t::changed(int window)
{
    reslice_settings_changed(reslices[static_cast<std::size_t>(window)]);
    if (redraw)
        redraw();
}

reslice_page::reslice_page(wxWindow* parent, reslice_views_t& views) : wxScrolledWindow(parent), views_(views)
{
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 4));
    grid->Add(new wxStaticText(this, wxID_ANY, "Width:"), 0, wxALIGN_CENTER_VERTICAL);
    width = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 4096, 256);
    grid->Add(width);
    grid->Add(new wxStaticText(this, wxID_ANY, "Height:"), 0, wxALIGN_CENTER_VERTICAL);
    height = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 4096, 256);
    grid->Add(height);
    grid->Add(new wxStaticText(this, wxID_ANY, "Slice thickness (mm):"), 0, wxALIGN_CENTER_VERTICAL);
    thickness = new wxSpinCtrlDouble(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 50, 0, 0.5);
    grid->Add(thickness);
    grid->Add(new wxStaticText(this, wxID_ANY, "Crop to surface:"), 0, wxALIGN_CENTER_VERTICAL);
    surface = new wxChoice(this, wxID_ANY);
    grid->Add(surface);
    compounding = compounding_box(this);
    faster = new wxCheckBox(this, wxID_ANY, "Faster, less accurate reslice");
    landmarks = new wxCheckBox(this, wxID_ANY, "Landmarks");
    sweeps = new wxCheckBox(this, wxID_ANY, "Sweeps");
    auto* shown = new wxBoxSizer(wxHORIZONTAL);
    shown->Add(landmarks, 0, wxRIGHT, 12);
    shown->Add(sweeps);
    partitioning = new wxCheckBox(this, wxID_ANY, "Use sweep partitioning");
    single_sweep = new wxCheckBox(this, wxID_ANY, "Show a single sweep");
    auto* sliders = new wxFlexGridSizer(2, wxSize(8, 4));
    sliders->AddGrowableCol(1);
    sweep = labelled_slider(this, sliders, "Sweep:", 1, 1, 2);
    opacity = labelled_slider(this, sliders, "Opacity (%):", 100, 0, 100);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    struct button_t {
        const char* label;
        void (reslice_page::*handler)(wxCommandEvent&);
    };
    for (const button_t& b : {button_t{"Flip", &reslice_page::OnResliceFlip}, button_t{"Rotate", &reslice_page::OnResliceRotate},
                              button_t{"Locate", &reslice_page::OnResliceLocate}, button_t{"Save", &reslice_page::OnResliceSave}}) {
        auto* button = new wxButton(this, wxID_ANY, b.label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        button->Bind(wxEVT_BUTTON, b.handler, this);
        buttons->Add(button, 0, wxRIGHT, 2);
    }
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 4);
    column->Add(compounding, 0, wxALL, 4);
    column->Add(faster, 0, wxALL, 4);
    column->Add(shown, 0, wxALL, 4);
    column->Add(partitioning, 0, wxALL, 4);
    column->Add(single_sweep, 0, wxALL, 4);
    column->Add(sliders, 0, wxEXPAND | wxALL, 4);
    column->Add(buttons, 0, wxALL, 4);
    scroll_when_squeezed(this, column);
    // Each control changes its own setting only: the others keep what the
    // reslice on screen has, whatever their fields last showed.
    const auto edits = [this](auto edit) { return [this, edit](wxCommandEvent&) { apply(edit); }; };
    width->Bind(wxEVT_SPINCTRL, edits([this](reslice_settings& s) { s.width = width->GetValue(); }));
    height->Bind(wxEVT_SPINCTRL, edits([this](reslice_settings& s) { s.height = height->GetValue(); }));
    thickness->Bind(wxEVT_SPINCTRLDOUBLE, edits([this](reslice_settings& s) {
        s.slice_half_thickness = thickness->GetValue() / 20.0;  // full thickness in mm to half in cm
    }));
    compounding->Bind(wxEVT_RADIOBOX, edits([this](reslice_settings& s) {
        s.compounding = static_cast<reslice_compounding_t>(compounding->GetSelection());
    }));
    faster->Bind(wxEVT_CHECKBOX, edits([this](reslice_settings& s) { s.linear = !faster->GetValue(); }));
    surface->Bind(wxEVT_CHOICE, &reslice_page::OnResliceSurface, this);
    landmarks->Bind(wxEVT_CHECKBOX, &reslice_page::OnResliceLandmarks, this);
    sweeps->Bind(wxEVT_CHECKBOX, &reslice_page::OnResliceSweeps, this);
    partitioning->Bind(wxEVT_CHECKBOX, &reslice_page::OnResliceUsePartitioning, this);
    single_sweep->Bind(wxEVT_CHECKBOX, &reslice_page::OnResliceUseSingleSweep, this);
    sweep->Bind(wxEVT_SLIDER, &reslice_page::OnResliceSweepNumber, this);
    opacity->Bind(wxEVT_SLIDER, &reslice_page::OnResliceOpacity, this);
    // The views rebuild on these themselves; the page only shows them.
    changed_ = std::make_unique<pmf_functor<reslice_page>>(this, &reslice_page::ResliceChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_SWEEPS, res->RES_BUF_FRAMES,
                                                            res->RES_USE_PARTITIONING, res->RES_USE_SINGLE_SWEEP,
                                                            res->RES_SWEEP_DISP_NUMBER, res->RES_RESLICE_OPACITY})
        r->add_proc(changed_.get());
    watch_surfaces(changed_.get());
    // The reslice is placed, located and dragged elsewhere; the fields follow it.
    settings_changed_ = std::make_unique<pmf_functor<reslice_page>>(this, &reslice_page::ResliceSettingsChanged);
    res->RES_RESLICE->add_proc(settings_changed_.get());
    refresh_controls();
}

reslice_page::~reslice_page() = default;

void reslice_page::refresh_controls()
{
    ResliceSettingsChanged();
    landmarks->SetValue(views_.overlays[0].landmarks);
    ResliceChanged();
}

void reslice_page::ResliceSettingsChanged()
{
    const reslice_settings& s = views_.reslices[0].settings();
    for (const auto& [field, value] : {std::pair{width, s.width}, std::pair{height, s.height}}) {
        const int shown = static_cast<int>(std::min<std::int64_t>(value, std::numeric_limits<int>::max()));
        if (shown > field->GetMax())
            field->SetRange(field->GetMin(), shown);
        if (field->GetValue() != shown)
            field->SetValue(shown);
    }
    const double mm = 2.0 * s.slice_half_thickness * 10.0;
    if (thickness->GetValue() != mm)
        thickness->SetValue(mm);
    if (compounding->GetSelection() != static_cast<int>(s.compounding))
        compounding->SetSelection(static_cast<int>(s.compounding));
    if (faster->GetValue() != !s.linear)
        faster->SetValue(!s.linear);
}

void reslice_page::ResliceChanged()
{
    partitioning->SetValue(res->RES_USE_PARTITIONING->value());
    single_sweep->SetValue(res->RES_USE_SINGLE_SWEEP->value());
    const int count = static_cast<int>(sweep_count_from_session());
    sweep->SetRange(1, std::max(2, count));  // GTK wants the maximum above the minimum
    sweep->SetValue(std::clamp(static_cast<int>(res->RES_SWEEP_DISP_NUMBER->value()) + 1, 1, count));
    sweep->Enable(count > 1 && res->RES_USE_SINGLE_SWEEP->value());
    sweeps->Enable(count > 1);
    sweeps->SetValue(views_.overlays[0].sweeps);
    opacity->SetValue(std::clamp(static_cast<int>(res->RES_RESLICE_OPACITY->value()), 0, 100));
    // The crop follows its surface: rebuilt with it, back to "(none)" when it is deleted.
    const int chosen = views_.reslices[0].settings().surface;
    const surface_interp* now =
        chosen >= 0 && chosen < resource_t::surface_slots ? res->RES_SURFACE[static_cast<std::size_t>(chosen)]->value().get()
                                                          : nullptr;
    if (chosen >= 0 && !now) {
        views_.reslices[0].set_reslice_surface(-1);
        views_.changed(0);
    } else if (now != cropped_) {
        views_.changed(0);
    }
    cropped_ = now;
    surfaces_ = fill_surface_choice(surface, views_.reslices[0].settings().surface);
}

void reslice_page::apply_controls()
{
    apply([this](reslice_settings& s) {
        s.width = width->GetValue();
        s.height = height->GetValue();
        s.slice_half_thickness = thickness->GetValue() / 20.0;  // full thickness in mm to half in cm
        s.compounding = static_cast<reslice_compounding_t>(compounding->GetSelection());
        s.linear = !faster->GetValue();
    });
}

void reslice_page::apply(const std::function<void(reslice_settings&)>& edit)
{
    reslice_settings s = views_.reslices[0].settings();
    edit(s);
    views_.reslices[0].set_settings(s);
    views_.changed(0);
}

void reslice_page::OnResliceFlip(wxCommandEvent&)
{
    reslice_settings s = views_.reslices[0].settings();
    s.normal = -1.0 * s.normal;
    views_.reslices[0].set_settings(s);
    views_.changed(0);
}

void reslice_page::OnResliceRotate(wxCommandEvent&)
{
    // Half a turn in the plane: the up point reflected through the centre.
    reslice_settings s = views_.reslices[0].settings();
    s.up = s.centre + (-1.0) * (s.up - s.centre);
    views_.reslices[0].set_settings(s);
    views_.changed(0);
}

void reslice_page::OnResliceLocate(wxCommandEvent& event)
{
    OnResliceVoxel(event);
}

void reslice_page::OnResliceVoxel(wxCommandEvent&)
{
    if (views_.place(0))
        refresh_controls();
}

void reslice_page::OnResliceSave(wxCommandEvent&)
{
    const auto choice = ask_save_file("Save reslice", reslice_image_filters, res->RES_ASCII_FILENAME->value().GetPath());
    if (choice && save_reslice_image(views_.reslices[0], choice->path) && main_win)
        main_win->report_saved(choice->path);
}

void reslice_page::OnResliceSurface(wxCommandEvent&)
{
    views_.reslices[0].set_reslice_surface(chosen_surface(surface, surfaces_));
    const int chosen = views_.reslices[0].settings().surface;
    cropped_ = chosen >= 0 ? res->RES_SURFACE[static_cast<std::size_t>(chosen)]->value().get() : nullptr;
    views_.changed(0);
}

void reslice_page::OnResliceLandmarks(wxCommandEvent&)
{
    views_.overlays[0].landmarks = landmarks->GetValue();
    if (views_.repaint)
        views_.repaint();
}

void reslice_page::OnResliceSweeps(wxCommandEvent&)
{
    views_.overlays[0].sweeps = sweeps->GetValue();
    if (views_.repaint)
        views_.repaint();
}

void reslice_page::OnResliceUsePartitioning(wxCommandEvent&)
{
    res->RES_USE_PARTITIONING->write(partitioning->GetValue());
}

void reslice_page::OnResliceUseSingleSweep(wxCommandEvent&)
{
    res->RES_USE_SINGLE_SWEEP->write(single_sweep->GetValue());
}

void reslice_page::OnResliceSweepNumber(wxCommandEvent&)
{
    res->RES_SWEEP_DISP_NUMBER->write(sweep->GetValue() - 1);
}

void reslice_page::OnResliceOpacity(wxCommandEvent&)
{
    res->RES_RESLICE_OPACITY->write(opacity->GetValue());
}
