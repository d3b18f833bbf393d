#include "rf_display_dialog.h"

#include <algorithm>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "acquisition/rf_utility.h"
#include "app/labelled_grid.h"
#include "resources/resource_table.h"

namespace {

const char* const rate_names[] = {"50 MHz", "100 MHz", "200 MHz", "External clock"};

}  // namespace

rf_display_dialog::rf_display_dialog(wxWindow* parent, std::vector<probe_entry_t> probes)
    : wxDialog(parent, wxID_ANY, "RF display"), probes_(std::move(probes))
{
    labelled_grid_t layout(this);
    wxFlexGridSizer* grid = layout.sizer();
    grid->AddGrowableCol(1);

    layout.label("Display:");
    wxArrayString kinds;
    kinds.Add("Envelope (B-mode)");
    kinds.Add("Phase");
    kinds.Add("Strain");
    kinds.Add("Attenuation");
    display = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, kinds);
    display->SetSelection(clamp_int(res->RES_RF_DISPLAY->value(), 1, 4) - 1);
    display->Bind(wxEVT_CHOICE, &rf_display_dialog::OnRfDisplayType, this);
    grid->Add(display, 0, wxEXPAND);
    grid->AddSpacer(0);
    display_note = new wxStaticText(this, wxID_ANY, wxEmptyString);
    grid->Add(display_note, 0);

    layout.label("Probe:");
    wxArrayString names;
    names.Add("no probe");
    int chosen = 0;
    const wxString wanted = res->RES_RF_PROBE_NAME->value();
    const long number = static_cast<long>(res->RES_RF_PROBE->value());
    for (std::size_t k = 0; k < probes_.size(); ++k) {
        names.Add(probes_[k].name);
        if (wanted.empty() ? static_cast<long>(k) == number : probes_[k].name == wanted)
            chosen = static_cast<int>(k) + 1;
    }
    // A probe the recording names but whose file is missing stays named, so OK does not forget it.
    if (!wanted.empty() && chosen == 0) {
        names.Add(wanted + " (file not found)");
        chosen = static_cast<int>(names.size()) - 1;
    }
    probe = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, names);
    probe->SetSelection(chosen);
    probe->Bind(wxEVT_CHOICE, &rf_display_dialog::OnRfProbe, this);
    grid->Add(probe, 0, wxEXPAND);

    band = layout.spin("Filter band:", 1, 64, res->RES_RF_FILTER->value());
    layout.label("Sampling rate:");
    rate = new wxChoice(this, wxID_ANY);
    grid->Add(rate, 0, wxEXPAND);
    range = layout.spin("Dynamic range (dB):", 1, 200, res->RES_RF_LOG_MULT->value());
    offset = layout.spin("Offset (dB):", -100, 200, res->RES_RF_LOG_OFFSET->value());
    layout.label("Gamma:");
    gamma = new wxSpinCtrlDouble(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0.1,
                                 5.0, std::clamp(res->RES_RF_LOG_GAMMA->value(), 0.1, 5.0), 0.05);
    gamma->SetDigits(2);
    grid->Add(gamma, 0, wxEXPAND);
    persistence = layout.spin("Persistence (frames):", 0, 100, res->RES_RF_PERSIST->value());
    grid->AddSpacer(0);
    dual = new wxCheckBox(this, wxID_ANY, "Dual display");
    dual->SetValue(res->RES_RF_DUAL_DISPLAY->value());
    grid->Add(dual, 0);

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 1, wxEXPAND | wxALL, 12);
    top->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 12);
    probe_chosen();
    wxCommandEvent none;
    OnRfDisplayType(none);
    SetSizerAndFit(top);
}

void rf_display_dialog::probe_chosen()
{
    const int k = probe->GetSelection() - 1;
    probe_t chosen;
    const bool known = k >= 0 && static_cast<std::size_t>(k) < probes_.size() &&
                       read_probe_file(probes_[static_cast<std::size_t>(k)].path, &chosen);
    ext_freq_index_ = known ? chosen.ext_freq_index : 3;
    band->SetRange(1, known ? static_cast<int>(std::max(1L, chosen.filters)) : 64);
    // Rates the probe has no filters for are marked: the display then uses the first it has.
    const long freq = static_cast<long>(res->RES_RF_FREQ->value());
    const int current = freq >= 0 && freq < 3 ? static_cast<int>(freq) : 3;
    const int keep = rate->GetCount() == 4 ? rate->GetSelection() : current;
    rate->Clear();
    for (std::size_t r = 0; r < sampling_rate_count; ++r)
        rate->Append(wxString(rate_names[r]) +
                     (known && !chosen.rates[r].has_filters() ? wxString(" (no filters)") : wxString()));
    rate->SetSelection(keep);
}

void rf_display_dialog::OnRfProbe(wxCommandEvent&)
{
    probe_chosen();
}

void rf_display_dialog::OnRfDisplayType(wxCommandEvent&)
{
    const int kind = display->GetSelection() + 1;
    const wxString note = kind == rf_utility::display_strain        ? "Strain imaging is not available yet: the envelope is shown."
                          : kind >= rf_utility::display_attenuation ? "Attenuation imaging is not available yet: the envelope is shown."
                                                                     : wxString();
    if (display_note->GetLabel() != note || display_note->IsShown() == note.empty()) {
        display_note->SetLabel(note);
        display_note->Show(!note.empty());  // no empty row under the choice
        if (GetSizer())
            Fit();
    }
}

void rf_display_dialog::apply() const
{
    res->RES_RF_DISPLAY->write_no_changeprocs(display->GetSelection() + 1);
    const int k = probe->GetSelection() - 1;
    if (k < 0) {
        res->RES_RF_PROBE_NAME->write_no_changeprocs("");
        res->RES_RF_PROBE->write_no_changeprocs(-1);
    } else if (static_cast<std::size_t>(k) < probes_.size()) {
        res->RES_RF_PROBE_NAME->write_no_changeprocs(probes_[static_cast<std::size_t>(k)].name);
        res->RES_RF_PROBE->write_no_changeprocs(k);
    }  // else the missing probe stays named
    res->RES_RF_FILTER->write_no_changeprocs(band->GetValue());
    const int r = std::max(0, rate->GetSelection());
    res->RES_RF_FREQ->write_no_changeprocs(r < 3 ? r : ext_freq_index_);
    res->RES_RF_LOG_MULT->write_no_changeprocs(range->GetValue());
    res->RES_RF_LOG_OFFSET->write_no_changeprocs(offset->GetValue());
    res->RES_RF_LOG_GAMMA->write_no_changeprocs(gamma->GetValue());
    res->RES_RF_PERSIST->write_no_changeprocs(persistence->GetValue());
    res->RES_RF_DUAL_DISPLAY->write_no_changeprocs(dual->GetValue());
    base_res_t::make_pending_writes_happen();
}
