// The pages of the fixed reslice views: Ortho (two planes across the
// current frame) and Isocentre (the isocentre frame's plane).
#include "reslice_pages.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
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
#include "resources/image_file.h"
#include "reconstruction/reslice_frames.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "views/gl_support.h"
#include "main_frame.h"
#include "page_controls.h"

ortho_page::ortho_page(wxWindow* parent, reslice_views_t& views) : wxScrolledWindow(parent), views_(views)
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
    scroll_when_squeezed(this, column);
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

isocentre_page::isocentre_page(wxWindow* parent, reslice_views_t& views) : wxScrolledWindow(parent), views_(views)
{
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, "Slice thickness (mm):"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    thickness = new wxSpinCtrlDouble(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 50, 0, 0.5);
    row->Add(thickness);
    compounding = compounding_box(this);
    faster = new wxCheckBox(this, wxID_ANY, "Faster, less accurate reslice");
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* locate = new wxButton(this, wxID_ANY, "Locate", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    locate->Bind(wxEVT_BUTTON, &isocentre_page::OnIsocentreLocate, this);
    buttons->Add(locate, 0, wxRIGHT, 2);
    auto* save = new wxButton(this, wxID_ANY, "Save", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    save->Bind(wxEVT_BUTTON, &isocentre_page::OnIsocentreSave, this);
    buttons->Add(save);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(row, 0, wxALL, 4);
    column->Add(compounding, 0, wxALL, 4);
    column->Add(faster, 0, wxALL, 4);
    column->Add(buttons, 0, wxALL, 4);
    scroll_when_squeezed(this, column);
    const reslice_settings& s = views_.reslices[isocentre_reslice_window].settings();
    thickness->SetValue(2.0 * s.slice_half_thickness * 10.0);
    compounding->SetSelection(static_cast<int>(s.compounding));
    faster->SetValue(!s.linear);
    thickness->Bind(wxEVT_SPINCTRLDOUBLE, [this](wxSpinDoubleEvent&) { apply_controls(); });
    compounding->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { apply_controls(); });
    faster->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { apply_controls(); });
    changed_ = std::make_unique<pmf_functor<isocentre_page>>(this, &isocentre_page::IsocentreViewChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_ISOCENTRE_XTRANS, res->RES_ISOCENTRE_YTRANS,
                                                            res->RES_ISOCENTRE_ZTRANS, res->RES_ISOCENTRE_AZIMUTH,
                                                            res->RES_ISOCENTRE_ELEVATION, res->RES_ISOCENTRE_ROLL})
        r->add_proc(changed_.get());
}

isocentre_page::~isocentre_page() = default;

void isocentre_page::IsocentreViewChanged()
{
    views_.placed[isocentre_reslice_window] = false;
    const reslice_info* info = published_reslice_info();
    if (info && info->windows[isocentre_reslice_window].active == &views_.reslices[isocentre_reslice_window])
        views_.place(isocentre_reslice_window);
}

void isocentre_page::apply_controls()
{
    reslice_internals& r = views_.reslices[isocentre_reslice_window];
    reslice_settings s = r.settings();
    s.slice_half_thickness = thickness->GetValue() / 20.0;
    s.compounding = static_cast<reslice_compounding_t>(compounding->GetSelection());
    s.linear = !faster->GetValue();
    r.set_settings(s);
    views_.changed(isocentre_reslice_window);
}

void isocentre_page::OnIsocentreLocate(wxCommandEvent&)
{
    views_.place(isocentre_reslice_window);
}

void isocentre_page::OnIsocentreSave(wxCommandEvent&)
{
    const auto choice = ask_save_file("Save reslice", reslice_image_filters, res->RES_ASCII_FILENAME->value().GetPath());
    if (choice && save_reslice_image(views_.reslices[isocentre_reslice_window], choice->path) && main_win)
        main_win->report_saved(choice->path);
}
