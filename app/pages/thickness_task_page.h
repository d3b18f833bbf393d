// The Thickness task page: the surface to work on and the alternate one, the
// technique, the profile and model settings (RES_THICKNESS_...), smoothing,
// outliers and the derived surfaces' parts, and the buttons that run the
// thickness operations (thickness/thickness_actions.h). Every control
// follows its setting when a script or a loaded recording changes it.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <wx/scrolwin.h>
#include <wx/weakref.h>

#include "common/functor.h"
#include "thickness/techniques.h"
#include "thickness_density_dialog.h"

class wxBookCtrlEvent;
class wxButton;
class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;
class wxTextCtrl;
class wxWindow;

class thickness_task_page : public wxScrolledWindow {
public:
    explicit thickness_task_page(wxWindow* parent);
    ~thickness_task_page() override;

    void SettingsChanged();  // controls from the resources
    void SurfacesChanged();  // the surface choices
    void OnPageChanged(wxBookCtrlEvent&);  // turned to: the choices catch up with scripts

    void OnSurface(wxCommandEvent&);
    void OnAlternate(wxCommandEvent&);
    void OnTechnique(wxCommandEvent&);
    void OnSetting(wxCommandEvent&);  // checkboxes and spin controls
    void OnSmoothing(wxCommandEvent&);
    void OnMap(wxCommandEvent&);
    void OnEstimateDensity(wxCommandEvent&);
    void OnCompare(wxCommandEvent&);
    void OnSave(wxCommandEvent&);
    void OnLoad(wxCommandEvent&);
    void OnSaveAlternate(wxCommandEvent&);
    void OnCreate(wxCommandEvent&);
    // Typed text fields: refused values are warned about and the setting shown again.
    void apply_line_length();
    void apply_level(wxTextCtrl* field);

    wxChoice* surface = nullptr;
    wxChoice* alternate = nullptr;
    wxChoice* technique = nullptr;
    wxTextCtrl* line_length = nullptr;  // mm
    wxStaticText* line_width_label = nullptr;
    wxSpinCtrl* line_width = nullptr;  // pixels
    wxCheckBox* inner_layer = nullptr;
    wxCheckBox* outer_layer = nullptr;
    wxCheckBox* metal = nullptr;
    wxCheckBox* in_frame = nullptr;
    wxCheckBox* threshold = nullptr;
    wxCheckBox* fwhm = nullptr;
    wxCheckBox* endo_model = nullptr;
    wxCheckBox* local_density = nullptr;
    wxCheckBox* post_blur = nullptr;
    wxTextCtrl* outer_density = nullptr;     // RES_THICKNESS_A
    wxTextCtrl* cortical_density = nullptr;  // RES_THICKNESS_B
    wxTextCtrl* inner_density = nullptr;     // RES_THICKNESS_C
    wxTextCtrl* in_plane_fwhm = nullptr;     // RES_THICKNESS_GAUSS
    wxTextCtrl* out_plane_fwhm = nullptr;    // RES_THICKNESS_RECT
    wxSpinCtrl* smooth_passes = nullptr;
    wxSpinCtrl* smooth_fill = nullptr;
    wxSpinCtrl* outlier_angle = nullptr;
    wxSpinCtrl* outlier_distance = nullptr;
    wxCheckBox* create_inner = nullptr;
    wxCheckBox* create_outer = nullptr;
    wxCheckBox* create_caps = nullptr;
    wxButton* map = nullptr;
    wxButton* estimate_density = nullptr;
    wxButton* compare = nullptr;
    wxButton* save = nullptr;
    wxButton* load = nullptr;
    wxButton* save_alternate = nullptr;
    wxButton* create = nullptr;
    wxStaticText* status = nullptr;

    // The controls a technique fixes, by what they set.
    wxWindow* control_for(thickness_control_t c) const;
    // The density plots of the last estimate the user asked to see; null when closed.
    thickness_density_dialog* density_dialog() const { return density_dialog_.get(); }

private:
    void show_results_status(const wxString& done);
    bool refreshing_ = false;  // controls being set from the resources: their events write nothing
    bool filled_ = false;      // every control shown from its setting once
    std::vector<int> surface_slots_, alternate_slots_;
    wxWeakRef<thickness_density_dialog> density_dialog_;
    std::unique_ptr<pmf_functor<thickness_task_page>> settings_changed_;
    std::unique_ptr<pmf_functor<thickness_task_page>> surfaces_changed_;
};
