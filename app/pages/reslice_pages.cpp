#include "reslice_pages.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

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
#include "common/interaction.h"
#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_frames.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "views/gl_support.h"

bool reslice_views_t::place(int window)
{
    const reslice_source source = source_from_session();
    reslice_internals& r = reslices[static_cast<std::size_t>(window)];
    r.set_pixel_size(source.pixel_size);
    bool ok = false;
    if (window == 0) {
        ok = r.set_reslice_for_min_voxels(source);
    } else {
        const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
        reslice_source one;
        if (add_frame(&one, bufp->imagecp(current), bufp->positioncp(current), calibration_from_session())) {
            reslice_settings s = r.settings();
            ok = default_plane_settings(window, one.frames.front(), source.sx, source.sy, &s);
            if (ok)
                r.set_settings(s);
        }
    }
    if (ok) {
        reslice_settings s = r.settings();
        s.bscan_half_thickness = suggested_bscan_half_thickness(source);
        r.set_settings(s);
    }
    placed[static_cast<std::size_t>(window)] = ok;
    changed(window);
    return ok;
}

void reslice_views_t::changed(int window)
{
    reslice_settings_changed(reslices[static_cast<std::size_t>(window)]);
    if (redraw)
        redraw();
}

reslice_views_t::~reslice_views_t()
{
    for (const reslice_internals& r : reslices)
        forget_reslice_window(&r, r.window());
}

namespace {

wxRadioBox* compounding_box(wxWindow* parent)
{
    const wxString choices[] = {"&Max", "M&in", "&Ave"};
    return new wxRadioBox(parent, wxID_ANY, "Compounding", wxDefaultPosition, wxDefaultSize, 3, choices, 3);
}

// The sweeps of RES_SWEEPS as the reslices group the frames: distinct first
// frames, those below 0 counting as 0 and those past the last frame not at all.
int sweep_count()
{
    const std::shared_ptr<multi_sweeps>& sweeps = res->RES_SWEEPS->value();
    const long last = bufp->frames() - 1;
    std::set<long> firsts;
    if (sweeps)
        for (long f : sweeps->first_frames)
            if (f <= last)
                firsts.insert(std::max(0L, f));
    return std::max(1, static_cast<int>(firsts.size()));
}

// Fills `choice` with "(none)" and one entry per surface that exists,
// selecting `current` (a surface that has gone shows as "(none)"); returns the
// RES_SURFACE slot of each entry after the first.
std::vector<int> fill_surface_choice(wxChoice* choice, int current)
{
    std::vector<int> slots;
    wxArrayString items;
    items.Add("(none)");
    for (int i = 0; i < resource_t::surface_slots; ++i)
        if (res->RES_SURFACE[static_cast<std::size_t>(i)]->value()) {
            slots.push_back(i);
            items.Add(wxString::Format("Surface %d", i));
        }
    if (choice->GetStrings() != items)
        choice->Set(items);
    const auto at = std::find(slots.begin(), slots.end(), current);
    choice->SetSelection(at == slots.end() ? 0 : 1 + static_cast<int>(at - slots.begin()));
    return slots;
}

int chosen_surface(const wxChoice* choice, const std::vector<int>& slots)
{
    const int i = choice->GetSelection() - 1;
    return i >= 0 && static_cast<std::size_t>(i) < slots.size() ? slots[static_cast<std::size_t>(i)] : -1;
}

void watch_surfaces(base_functor* f)
{
    for (gen_res_t<std::shared_ptr<surface_interp>>* slot : res->RES_SURFACE)
        slot->add_proc(f);
}

wxSlider* labelled_slider(wxWindow* parent, wxSizer* grid, const char* label, int value, int low, int high)
{
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* slider = new wxSlider(parent, wxID_ANY, value, low, high, wxDefaultPosition, wxSize(140, -1),
                                wxSL_HORIZONTAL | wxSL_VALUE_LABEL);
    grid->Add(slider, 1, wxEXPAND);
    return slider;
}

}  // namespace

reslice_page::reslice_page(wxWindow* parent, reslice_views_t& views) : wxPanel(parent), views_(views)
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
    column->Add(partitioning, 0, wxALL, 4);
    column->Add(single_sweep, 0, wxALL, 4);
    column->Add(sliders, 0, wxEXPAND | wxALL, 4);
    column->Add(buttons, 0, wxALL, 4);
    SetSizer(column);
    for (wxWindow* w : std::initializer_list<wxWindow*>{width, height, thickness})
        w->Bind(wxEVT_SPINCTRL, [this](wxCommandEvent&) { apply_controls(); });
    thickness->Bind(wxEVT_SPINCTRLDOUBLE, [this](wxSpinDoubleEvent&) { apply_controls(); });
    compounding->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { apply_controls(); });
    faster->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { apply_controls(); });
    surface->Bind(wxEVT_CHOICE, &reslice_page::OnResliceSurface, this);
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
    refresh_controls();
}

reslice_page::~reslice_page() = default;

void reslice_page::refresh_controls()
{
    const reslice_settings& s = views_.reslices[0].settings();
    width->SetValue(static_cast<int>(s.width));
    height->SetValue(static_cast<int>(s.height));
    thickness->SetValue(2.0 * s.slice_half_thickness * 10.0);
    compounding->SetSelection(static_cast<int>(s.compounding));
    faster->SetValue(!s.linear);
    ResliceChanged();
}

void reslice_page::ResliceChanged()
{
    partitioning->SetValue(res->RES_USE_PARTITIONING->value());
    single_sweep->SetValue(res->RES_USE_SINGLE_SWEEP->value());
    const int sweeps = sweep_count();
    sweep->SetRange(1, std::max(2, sweeps));  // GTK wants the maximum above the minimum
    sweep->SetValue(std::clamp(static_cast<int>(res->RES_SWEEP_DISP_NUMBER->value()) + 1, 1, sweeps));
    sweep->Enable(sweeps > 1 && res->RES_USE_SINGLE_SWEEP->value());
    opacity->SetValue(std::clamp(static_cast<int>(res->RES_RESLICE_OPACITY->value()), 0, 100));
    surfaces_ = fill_surface_choice(surface, views_.reslices[0].settings().surface);
}

void reslice_page::apply_controls()
{
    reslice_settings s = views_.reslices[0].settings();
    s.width = width->GetValue();
    s.height = height->GetValue();
    s.slice_half_thickness = thickness->GetValue() / 20.0;  // full thickness in mm to half in cm
    s.compounding = static_cast<reslice_compounding_t>(compounding->GetSelection());
    s.linear = !faster->GetValue();
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
    const auto choice = interaction().ask_file("Save reslice",
                                               "PNG file (*.png)|*.png|JPEG file (*.jpeg)|*.jpeg|Windows bitmap file "
                                               "(*.bmp)|*.bmp|Raw PPM file (*.ppm)|*.ppm",
                                               res->RES_ASCII_FILENAME->value().GetPath(), true);
    if (choice)
        save_reslice_image(views_.reslices[0], choice->path);
}

void reslice_page::OnResliceSurface(wxCommandEvent&)
{
    views_.reslices[0].set_reslice_surface(chosen_surface(surface, surfaces_));
    views_.changed(0);
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

ortho_page::ortho_page(wxWindow* parent, reslice_views_t& views) : wxPanel(parent), views_(views)
{
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, "Slice thickness (mm):"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    thickness = new wxSpinCtrlDouble(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 50, 0, 0.5);
    row->Add(thickness);
    auto* crop = new wxBoxSizer(wxHORIZONTAL);
    crop->Add(new wxStaticText(this, wxID_ANY, "Crop to surface:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    surface = new wxChoice(this, wxID_ANY);
    crop->Add(surface);
    compounding = compounding_box(this);
    faster = new wxCheckBox(this, wxID_ANY, "Faster, less accurate reslice");
    auto* locate = new wxButton(this, wxID_ANY, "Locate", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    locate->Bind(wxEVT_BUTTON, &ortho_page::OnOrthoLocate, this);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(row, 0, wxALL, 4);
    column->Add(crop, 0, wxALL, 4);
    column->Add(compounding, 0, wxALL, 4);
    column->Add(faster, 0, wxALL, 4);
    column->Add(locate, 0, wxALL, 4);
    SetSizer(column);
    thickness->Bind(wxEVT_SPINCTRLDOUBLE, [this](wxSpinDoubleEvent&) { apply_controls(); });
    compounding->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { apply_controls(); });
    faster->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { apply_controls(); });
    surface->Bind(wxEVT_CHOICE, &ortho_page::OnOrthoSurface, this);
    changed_ = std::make_unique<pmf_functor<ortho_page>>(this, &ortho_page::OrthoChanged);
    watch_surfaces(changed_.get());
    OrthoChanged();
}

ortho_page::~ortho_page() = default;

void ortho_page::OrthoChanged()
{
    surfaces_ = fill_surface_choice(surface, views_.reslices[1].settings().surface);
}

void ortho_page::OnOrthoSurface(wxCommandEvent&)
{
    const int chosen = chosen_surface(surface, surfaces_);
    for (int w : {1, 2}) {
        views_.reslices[static_cast<std::size_t>(w)].set_reslice_surface(chosen);
        views_.changed(w);
    }
}

void ortho_page::apply_controls()
{
    for (int w : {1, 2}) {
        reslice_settings s = views_.reslices[static_cast<std::size_t>(w)].settings();
        s.slice_half_thickness = thickness->GetValue() / 20.0;
        s.compounding = static_cast<reslice_compounding_t>(compounding->GetSelection());
        s.linear = !faster->GetValue();
        views_.reslices[static_cast<std::size_t>(w)].set_settings(s);
        views_.changed(w);
    }
}

void ortho_page::OnOrthoLocate(wxCommandEvent&)
{
    views_.place(1);
    views_.place(2);
}

bool save_reslice_image(const reslice_internals& reslice, const wxString& path)
{
    const long w = reslice.width(), h = reslice.height();
    const std::vector<std::uint8_t> rgb = codes_to_rgb(reslice.image().data(), w, h);
    // Stored top row first, as the view shows it (the reslice's y axis points up).
    std::vector<std::uint8_t> rows(rgb.size());
    const std::size_t stride = static_cast<std::size_t>(w) * 3;
    for (long y = 0; y < h; ++y)
        std::copy_n(rgb.data() + static_cast<std::size_t>(h - 1 - y) * stride, stride,
                    rows.data() + static_cast<std::size_t>(y) * stride);
    if (wxFileName(path).GetExt().Lower() == "ppm") {
        wxFFile file(path, "wb");
        if (!file.IsOpened()) {
            wxLogError("Error opening ppm file for writing.\n");
            return false;
        }
        const wxString header = wxString::Format("P6\n%ld %ld\n255\n", w, h);
        if (!file.Write(header)) {
            wxLogError("Error writing ppm file header.\n");
            return false;
        }
        if (file.Write(rows.data(), rows.size()) != rows.size()) {
            wxLogError("Error writing ppm file data.\n");
            return false;
        }
        return true;
    }
    wxImage picture(static_cast<int>(w), static_cast<int>(h), false);
    std::copy(rows.begin(), rows.end(), picture.GetData());
    bool saved;
    {
        wxLogNull quiet;
        saved = picture.SaveFile(path);
    }
    if (!saved)
        wxLogError("Error opening file for writing.\n");
    return saved;
}
