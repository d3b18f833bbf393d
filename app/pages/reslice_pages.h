// The "Reslice" and "Ortho" visual pages: the controls of the reslice views
// in the lower windows. The pages change the reslices' settings; the views
// rebuild them.
#pragma once

#include <array>
#include <functional>

#include <wx/panel.h>

#include "reconstruction/reslice_internals.h"

class wxCheckBox;
class wxRadioBox;
class wxSpinCtrl;
class wxSpinCtrlDouble;

// What both pages act on: the reslices and a way to have their views redrawn.
struct reslice_views_t {
    std::array<reslice_internals, 3> reslices{reslice_internals(0), reslice_internals(1), reslice_internals(2)};
    std::array<bool, 3> placed{};
    std::function<void()> redraw;
    // Puts window w's plane where it starts: window 0 the least-voxel plane
    // of the data, windows 1 and 2 across the current frame.
    bool place(int window);
};

class reslice_page : public wxPanel {
public:
    reslice_page(wxWindow* parent, reslice_views_t& views);
    void refresh_controls();  // shows the settings of window 0

    wxSpinCtrl* width = nullptr;
    wxSpinCtrl* height = nullptr;
    wxSpinCtrlDouble* thickness = nullptr;
    wxRadioBox* compounding = nullptr;
    wxCheckBox* faster = nullptr;

    void OnResliceFlip(wxCommandEvent&);
    void OnResliceRotate(wxCommandEvent&);
    void OnResliceLocate(wxCommandEvent&);
    void OnResliceVoxel(wxCommandEvent&);
    void OnResliceSave(wxCommandEvent&);
    void apply_controls();

private:
    reslice_views_t& views_;
};

class ortho_page : public wxPanel {
public:
    ortho_page(wxWindow* parent, reslice_views_t& views);

    wxSpinCtrlDouble* thickness = nullptr;
    wxRadioBox* compounding = nullptr;
    wxCheckBox* faster = nullptr;

    void OnOrthoLocate(wxCommandEvent&);
    void apply_controls();

private:
    reslice_views_t& views_;
};

// Saves a reslice image as PNG, JPEG or BMP (by extension) or as raw PPM.
bool save_reslice_image(const reslice_internals& reslice, const wxString& path);
