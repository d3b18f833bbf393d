// "Zaber gantry control": starts the gantry on a port, homes, moves, steps and
// stops each axis or all of them, and opens, runs, steps and resets a .zsq
// command sequence. Modeless, so that recording goes on while it is open; a
// run takes one sequence step per idle tick, so the windows repaint between
// steps. The texts follow the gantry's resources.
#pragma once

#include <array>
#include <memory>

#include <wx/dialog.h>

#include "common/functor.h"

class wxButton;
class wxChoice;
class wxComboBox;
class wxStaticText;
class wxTextCtrl;
class zaberGantry;
class gantry_runner_t;

class zaber_dialog : public wxDialog {
public:
    zaber_dialog(wxWindow* parent, zaberGantry& gantry, gantry_runner_t& runner);
    ~zaber_dialog() override;

    // The three axis fields then the buttons of each row: x, y, z, all.
    std::array<wxTextCtrl*, 3> value{};
    std::array<wxButton*, 4> home{}, move{}, step{}, stop{};
    wxComboBox* port = nullptr;
    wxChoice* mode = nullptr;
    wxButton* start = nullptr;
    wxButton* open_sequence = nullptr;
    wxButton* run = nullptr;
    wxButton* step_sequence = nullptr;
    wxButton* reset = nullptr;
    wxButton* stop_run = nullptr;
    wxStaticText* position = nullptr;
    wxStaticText* progress = nullptr;
    wxStaticText* sequence_name = nullptr;

private:
    void OnStart(wxCommandEvent&);
    void OnAxis(int row, int action);
    void OnOpenSequence(wxCommandEvent&);
    void OnRun(wxCommandEvent&);
    void OnStepSequence(wxCommandEvent&);
    void OnReset(wxCommandEvent&);
    void OnStopRun(wxCommandEvent&);
    // The number typed for an axis; "Enter a numerical value" when there is none.
    bool read_value(int axis, double* out);
    void update_texts();

    zaberGantry& gantry_;
    gantry_runner_t& runner_;
    std::unique_ptr<pmf_functor<zaber_dialog>> texts_proc_;
};
