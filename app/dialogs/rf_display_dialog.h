// "RF display": how RF frames are turned into images: display type, probe,
// filter band, sampling rate, compression (dynamic range, offset, gamma),
// persistence and dual display. OK writes the resources; the RF display
// filters the frames again from them.
#pragma once

#include <vector>

#include <wx/dialog.h>

#include "acquisition/probe_library.h"

class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxSpinCtrlDouble;
class wxStaticText;

class rf_display_dialog : public wxDialog {
public:
    // probes: those found, numbered as RES_RF_PROBE counts them.
    rf_display_dialog(wxWindow* parent, std::vector<probe_entry_t> probes);
    void apply() const;  // writes the controls' values to the resources

    wxChoice* display = nullptr;  // envelope, phase, strain, attenuation
    wxStaticText* display_note = nullptr;
    wxChoice* probe = nullptr;    // "no probe", then the probes found
    wxSpinCtrl* band = nullptr;
    wxChoice* rate = nullptr;     // 50, 100, 200 MHz, external clock
    wxSpinCtrl* range = nullptr;  // dB
    wxSpinCtrl* offset = nullptr; // dB
    wxSpinCtrlDouble* gamma = nullptr;
    wxSpinCtrl* persistence = nullptr;
    wxCheckBox* dual = nullptr;

private:
    void probe_chosen();  // the band and rates the chosen probe offers
    void OnRfProbe(wxCommandEvent&);
    void OnRfDisplayType(wxCommandEvent&);

    std::vector<probe_entry_t> probes_;
    long ext_freq_index_ = 3;
};
