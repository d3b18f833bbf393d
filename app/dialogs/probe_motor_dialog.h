// "Probe motor control": the swept probe's controller port and kind, the
// sweep's range, frames and volumes, the acquisition mode, initialisation
// (which centres the motor) and the manual moves, and the frame spacing the
// settings give. OK writes the settings; the buttons act at once.
#pragma once

#include <wx/dialog.h>

class wxButton;
class wxChoice;
class wxComboBox;
class wxSpinCtrl;
class wxStaticText;
class flapping;

class probe_motor_dialog : public wxDialog {
public:
    probe_motor_dialog(wxWindow* parent, flapping& motor);
    void apply() const;  // writes the controls' values to the resources

    wxComboBox* port = nullptr;
    wxChoice* kind = nullptr;
    wxSpinCtrl* range = nullptr;
    wxSpinCtrl* steps = nullptr;
    wxSpinCtrl* volumes = nullptr;
    wxChoice* mode = nullptr;
    wxButton* initialise = nullptr;
    wxButton* left = nullptr;
    wxButton* step_left = nullptr;
    wxButton* centre = nullptr;
    wxButton* step_right = nullptr;
    wxButton* right = nullptr;
    wxStaticText* spacing = nullptr;
    wxStaticText* state = nullptr;

private:
    void update_texts();

    flapping& motor_;
};

namespace flap {
struct sweep_geometry_t;
}

// The text under the settings: consecutive frames' angle, and their distance
// at the middle of the image, for this range and number of frames.
wxString frame_spacing_text(long range_degrees, long frames, const flap::sweep_geometry_t& geometry);
