// "Position source": which tracker to look for, on which port and at what
// speed, which tools carry the probe and the pointer, the tracker latency,
// and synthetic manual positions for recordings made without a tracker.
// OK writes the resources; a change of the detection settings re-probes.
#pragma once

#include <functional>

#include <wx/dialog.h>
#include <wx/image.h>

class wxCheckBox;
class wxChoice;
class wxTextCtrl;
class wxComboBox;
class wxSpinCtrl;

class position_source_dialog : public wxDialog {
public:
    // status_report builds the "Position sensor status" text on demand;
    // status_image then gives the image that came with it, if any.
    position_source_dialog(wxWindow* parent, std::function<wxString()> status_report,
                           std::function<wxImage()> status_image = {});
    void apply() const;  // writes the controls' values to the resources

    wxComboBox* port = nullptr;
    wxChoice* speed = nullptr;
    wxTextCtrl* igtl_server = nullptr;  // an OpenIGTLink server as the tracker: host:port
    wxTextCtrl* igtl_probe = nullptr;   // and the name of its probe TRANSFORM
    wxChoice* detect = nullptr;
    wxChoice* probe_tool = nullptr;
    wxChoice* pointer_tool = nullptr;
    wxSpinCtrl* latency = nullptr;
    wxCheckBox* manual = nullptr;
    wxChoice* manual_translation = nullptr;
    wxSpinCtrl* manual_span = nullptr;
    wxChoice* manual_rotation = nullptr;
    wxSpinCtrl* manual_angle = nullptr;
    wxSpinCtrl* manual_radius = nullptr;

private:
    void OnReprobe(wxCommandEvent&);
    void OnStatus(wxCommandEvent&);

    std::function<wxString()> status_report_;
    std::function<wxImage()> status_image_;
};

// The report in a window of its own, titled "Position sensor status", with
// the image (when there is one) below it.
void show_position_status(wxWindow* parent, const wxString& report, const wxImage& image = wxImage());
