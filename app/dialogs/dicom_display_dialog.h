// "DICOM display": how DICOM frames are shown and calibrated. The window
// (centre and width in Hounsfield units, or one of the file's presets), the
// Hounsfield slope and offset of the values kept, a smoothing size, and the
// bone-density phantom with its scale and offset, which "Calibrate from
// inserts" fits to the phantom's outlined inserts. Each control writes its
// resource as it changes, so the frames follow while the dialog is open.
#pragma once

#include <vector>

#include <wx/dialog.h>

#include "volumes/dicom_image.h"

class wxButton;
class wxChoice;
class wxComboBox;
class wxSpinCtrl;
class wxSpinCtrlDouble;

class dicom_display_dialog : public wxDialog {
public:
    dicom_display_dialog(wxWindow* parent, std::vector<window_preset_t> presets);

    wxChoice* preset = nullptr;  // "(presets in the file)", then each
    wxSpinCtrlDouble* centre = nullptr;
    wxSpinCtrlDouble* width = nullptr;
    wxSpinCtrlDouble* slope = nullptr;
    wxSpinCtrlDouble* offset = nullptr;
    wxSpinCtrl* smoothing = nullptr;
    wxComboBox* phantom = nullptr;
    wxSpinCtrlDouble* density_scale = nullptr;
    wxSpinCtrlDouble* density_offset = nullptr;
    wxButton* calibrate = nullptr;  // fits scale and offset to the outlined inserts

private:
    void preset_chosen();
    void calibrate_from_inserts();
    std::vector<window_preset_t> presets_;
};
