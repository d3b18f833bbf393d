#include "dicom_display_dialog.h"

#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>

#include "app/labelled_grid.h"
#include "common/interaction.h"
#include "resources/resource_table.h"
#include "segmentation/density_calibration.h"
#include "volumes/dicom_display.h"

namespace {

wxSpinCtrlDouble* number(wxWindow* parent, labelled_grid_t& layout, const char* label, double value, double low,
                         double high, double step, int digits)
{
    layout.label(label);
    auto* c =
        new wxSpinCtrlDouble(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxSize(140, -1),
                             wxSP_ARROW_KEYS | wxTE_PROCESS_ENTER, low, high, std::isfinite(value) ? value : 0.0, step);
    c->SetDigits(digits);
    layout.sizer()->Add(c, 0, wxEXPAND);
    return c;
}

// Writes the control's value to `r` whenever it changes.
void writes(wxSpinCtrlDouble* c, double_res_t* r)
{
    c->Bind(wxEVT_SPINCTRLDOUBLE, [c, r](wxSpinDoubleEvent&) { r->write(c->GetValue()); });
    c->Bind(wxEVT_TEXT_ENTER, [c, r](wxCommandEvent&) { r->write(c->GetValue()); });
}

}  // namespace

dicom_display_dialog::dicom_display_dialog(wxWindow* parent, std::vector<window_preset_t> presets)
    : wxDialog(parent, wxID_ANY, "DICOM display"), presets_(std::move(presets))
{
    labelled_grid_t layout(this);
    wxFlexGridSizer* grid = layout.sizer();
    grid->AddGrowableCol(1);

    layout.label("Window preset:");
    wxArrayString names;
    names.Add(presets_.empty() ? "(none in the file)" : "(presets in the file)");
    for (const window_preset_t& p : presets_)
        names.Add(wxString::Format("Centre %g, width %g", p.centre, p.width));
    preset = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, names);
    preset->SetSelection(0);
    preset->Enable(!presets_.empty());
    preset->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { preset_chosen(); });
    grid->Add(preset, 0, wxEXPAND);

    centre = number(this, layout, "Window centre (HU):", res->RES_DICOM_WIN_CENTRE->value(), -1e6, 1e6, 10, 1);
    writes(centre, res->RES_DICOM_WIN_CENTRE);
    width = number(this, layout, "Window width (HU):", res->RES_DICOM_WIN_WIDTH->value(), 1, 1e6, 10, 1);
    writes(width, res->RES_DICOM_WIN_WIDTH);
    slope = number(this, layout, "Hounsfield slope:", res->RES_DICOM_HUM->value(), -1e4, 1e4, 0.01, 4);
    writes(slope, res->RES_DICOM_HUM);
    offset = number(this, layout, "Hounsfield offset:", res->RES_DICOM_HUB->value(), -1e6, 1e6, 1, 1);
    writes(offset, res->RES_DICOM_HUB);
    smoothing = layout.spin("Smoothing size (pixels):", 0, 10, res->RES_DICOM_FILTER->value());
    smoothing->Bind(wxEVT_SPINCTRL, [this](wxSpinEvent&) { res->RES_DICOM_FILTER->write(smoothing->GetValue()); });

    layout.label("Bone-density phantom:");
    wxArrayString phantoms;
    phantoms.Add("No");
    const wxString current = res->RES_DICOM_BMD_PHANTOM->value();
    if (current != "No")
        phantoms.Add(current);
    phantom = new wxComboBox(this, wxID_ANY, current, wxDefaultPosition, wxDefaultSize, phantoms, wxTE_PROCESS_ENTER);
    auto phantom_named = [this](wxCommandEvent&) {
        const wxString name = phantom->GetValue().Strip(wxString::both);
        res->RES_DICOM_BMD_PHANTOM->write(name.empty() ? wxString("No") : name);
    };
    phantom->Bind(wxEVT_COMBOBOX, phantom_named);
    phantom->Bind(wxEVT_TEXT_ENTER, phantom_named);
    phantom->Bind(wxEVT_KILL_FOCUS, [phantom_named](wxFocusEvent& e) {
        wxCommandEvent unused;
        phantom_named(unused);
        e.Skip();
    });
    grid->Add(phantom, 0, wxEXPAND);
    density_scale = number(this, layout, "Density scale:", res->RES_DICOM_BMD_SCALE->value(), -1e4, 1e4, 0.01, 4);
    writes(density_scale, res->RES_DICOM_BMD_SCALE);
    density_offset = number(this, layout, "Density offset:", res->RES_DICOM_BMD_OFFSET->value(), -1e6, 1e6, 1, 2);
    writes(density_offset, res->RES_DICOM_BMD_OFFSET);
    layout.label("");
    calibrate = new wxButton(this, wxID_ANY, "Calibrate from inserts");
    calibrate->SetToolTip("Fit the density scale and offset to the phantom's inserts: objects named by their "
                          "density in mg/cm^3, outlined on the frames");
    calibrate->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { calibrate_from_inserts(); });
    grid->Add(calibrate);

    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(grid, 1, wxEXPAND | wxALL, 10);
    all->Add(new wxButton(this, wxID_CLOSE, "Close"), 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetEscapeId(wxID_CLOSE);
    SetSizerAndFit(all);
}

void dicom_display_dialog::preset_chosen()
{
    const int k = preset->GetSelection() - 1;
    if (k < 0 || std::size_t(k) >= presets_.size())
        return;
    const window_preset_t& p = presets_[std::size_t(k)];
    write_dicom_window(p.centre, p.width);
    centre->SetValue(p.centre);
    width->SetValue(p.width);
}

void dicom_display_dialog::calibrate_from_inserts()
{
    const density_fit_t fit = measure_density_phantom();
    interaction().inform("Bone-density calibration", density_fit_text(fit));
    if (!apply_density_fit(fit))
        return;
    phantom->SetValue(res->RES_DICOM_BMD_PHANTOM->value());
    density_scale->SetValue(fit.scale);
    density_offset->SetValue(fit.offset);
}
