// The graphical results of "Estimate cortical density": the cortical density
// plot or the density distribution, and saving the one shown as PNG. Opened
// by the Thickness task page when the user asks to see the estimate;
// modeless, so the surface and the settings stay in reach beside it.
#pragma once

#include <wx/dialog.h>

#include "thickness/density_estimate.h"

class plot_panel_t;
class wxButton;
class wxChoice;
class wxStaticText;

class thickness_density_dialog : public wxDialog {
public:
    // `base` is where the object's thickness files go (thickness_file_base).
    thickness_density_dialog(wxWindow* parent, const density_estimate_t& estimate, const wxString& base);

    // A new estimate, shown in the plot chosen.
    void show_estimate(const density_estimate_t& estimate, const wxString& base);
    // The file "Save" writes: "<base>_density.png", or "<base>_density_distribution.png".
    wxString default_path() const;

    void OnPlotChosen(wxCommandEvent&);
    void OnSave(wxCommandEvent&);    // to default_path(), asking before replacing it
    void OnSaveAs(wxCommandEvent&);  // to a file the user picks

    wxChoice* which = nullptr;  // "Cortical density", "Density distribution"
    plot_panel_t* plot = nullptr;
    wxButton* save = nullptr;
    wxButton* save_as = nullptr;
    wxStaticText* status = nullptr;

private:
    void show_plot();
    bool save_to(const wxString& path);
    density_estimate_t estimate_;
    wxString base_;
};
