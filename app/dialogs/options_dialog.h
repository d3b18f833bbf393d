// GUI, mouse and shortcut options: the settings that shape how the windows
// respond. OK writes them to their resources (and so to the settings file).
#pragma once

#include <wx/dialog.h>

class wxCheckBox;
class wxSpinCtrl;

class options_dialog : public wxDialog {
public:
    explicit options_dialog(wxWindow* parent);
    void apply() const;  // writes the controls' values to the resources

    wxSpinCtrl* icon_size = nullptr;
    wxSpinCtrl* pick_distance = nullptr;
    wxSpinCtrl* key_step = nullptr;
    wxSpinCtrl* key_turn = nullptr;
    wxSpinCtrl* graphics_power = nullptr;
    wxCheckBox* wheel_zooms = nullptr;
    wxCheckBox* middle_rotates = nullptr;
    wxCheckBox* right_zooms = nullptr;
    wxCheckBox* dynamic_update = nullptr;
    wxCheckBox* expert = nullptr;
};
