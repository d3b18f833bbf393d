// "Image source": which capture device (or simulated source, or OpenIGTLink
// server) to use, its
// input, video standard and driver buffers, how long frames wait for the
// tracker, the recording window within the device frame, colour flow, and
// the part of an RF source's frames that is kept.
// OK writes the resources; the source follows them.
#pragma once

#include <functional>

#include <wx/dialog.h>

class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;
class wxString;
class wxTextCtrl;

// A typed OpenIGTLink server address, written when it is host:port; otherwise the old one stays, with a warning.
void write_igtl_server(const wxString& typed);

class image_source_dialog : public wxDialog {
public:
    // search_again looks for capture devices anew and republishes the list;
    // network_status tells how the OpenIGTLink images fare (empty: not running).
    image_source_dialog(wxWindow* parent, std::function<void()> search_again,
                        std::function<wxString()> network_status = {});
    void apply() const;  // writes the controls' values to the resources

    wxChoice* source = nullptr;
    wxChoice* simulated = nullptr;
    wxSpinCtrl* simulated_lag = nullptr;  // the water bath's: how far its images trail the tracker
    wxTextCtrl* igtl_server = nullptr;    // host:port of the OpenIGTLink images
    wxStaticText* igtl_status = nullptr;  // and how they fare, while they run
    wxChoice* input_type = nullptr;
    wxSpinCtrl* input_number = nullptr;
    wxChoice* standard = nullptr;
    wxSpinCtrl* buffers = nullptr;
    wxSpinCtrl* group_delay = nullptr;
    wxSpinCtrl* window_x = nullptr;
    wxSpinCtrl* window_y = nullptr;
    wxSpinCtrl* window_width = nullptr;
    wxSpinCtrl* window_height = nullptr;
    wxCheckBox* colour_flow = nullptr;
    wxSpinCtrl* grey_threshold = nullptr;
    wxSpinCtrl* chroma_threshold = nullptr;
    wxStaticText* device_size = nullptr;
    wxSpinCtrl* rf_vectors = nullptr;
    wxSpinCtrl* rf_vector_offset = nullptr;
    wxSpinCtrl* rf_samples = nullptr;
    wxSpinCtrl* rf_sample_offset = nullptr;
    wxStaticText* rf_note = nullptr;  // why the RF frame size cannot change, when it cannot

private:
    void fill_sources();
    void bound_window();
    void OnSearchAgain(wxCommandEvent&);
    void OnWindowChanged(wxCommandEvent&);

    std::function<void()> search_again_;
};
