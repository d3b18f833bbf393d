// The "Reslice", "Ortho" and "Isocentre" visual pages: the controls of the
// reslice views in the lower windows. The pages change the reslices'
// settings; the views rebuild them.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include <wx/scrolwin.h>

#include "common/functor.h"
#include "reconstruction/reslice_info.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/reslice_windows.h"
#include "views/reslice_canvas.h"

class surface_interp;
class wxCheckBox;
class wxChoice;
class wxRadioBox;
class wxSlider;
class wxSpinCtrl;
class wxSpinCtrlDouble;

// What the pages act on: the session's reslice windows, with what each
// view draws over its reslice and a way to have the views redrawn.
struct reslice_views_t : reslice_windows_t {
    std::array<reslice_overlays, reslice_window_count> overlays{};  // what each window's view draws over it
    std::function<void()> redraw;
    std::function<void()> repaint;  // the overlays changed: draw again without rebuilding
    // Window w's settings changed: publishes them and redraws.
    void changed(int window) override;
};

class reslice_page : public wxScrolledWindow {
public:
    reslice_page(wxWindow* parent, reslice_views_t& views);
    ~reslice_page() override;
    void refresh_controls();        // shows the settings of window 0, then ResliceChanged
    void ResliceChanged();          // shows the sweep and opacity resources
    void ResliceSettingsChanged();  // shows the size, slab and compounding of the reslice on screen

    wxSpinCtrl* width = nullptr;
    wxSpinCtrl* height = nullptr;
    wxSpinCtrlDouble* thickness = nullptr;
    wxChoice* surface = nullptr;  // "(none)", then the surfaces that exist
    wxRadioBox* compounding = nullptr;
    wxCheckBox* faster = nullptr;
    wxCheckBox* landmarks = nullptr;  // the landmarks in the slab, over the reslice
    wxCheckBox* sweeps = nullptr;     // the sweeps' partitions, over the reslice; needs two sweeps
    wxCheckBox* partitioning = nullptr;
    wxCheckBox* single_sweep = nullptr;
    wxSlider* sweep = nullptr;    // the sweep shown, counted from 1
    wxSlider* opacity = nullptr;  // of the reslice in the 3D view, percent

    void OnResliceFlip(wxCommandEvent&);
    void OnResliceRotate(wxCommandEvent&);
    void OnResliceLocate(wxCommandEvent&);
    void OnResliceVoxel(wxCommandEvent&);
    void OnResliceSave(wxCommandEvent&);
    void OnResliceSurface(wxCommandEvent&);
    void OnResliceLandmarks(wxCommandEvent&);
    void OnResliceSweeps(wxCommandEvent&);
    void OnResliceUsePartitioning(wxCommandEvent&);
    void OnResliceUseSingleSweep(wxCommandEvent&);
    void OnResliceSweepNumber(wxCommandEvent&);
    void OnResliceOpacity(wxCommandEvent&);
    void apply_controls();  // every field at once

private:
    void apply(const std::function<void(reslice_settings&)>& edit);

    reslice_views_t& views_;
    std::vector<int> surfaces_;  // the RES_SURFACE slot of each surface entry
    std::unique_ptr<pmf_functor<reslice_page>> changed_;
    const surface_interp* cropped_ = nullptr;  // the surface the reslice was last cropped to
    std::unique_ptr<pmf_functor<reslice_page>> settings_changed_;
};

class ortho_page : public wxScrolledWindow {
public:
    ortho_page(wxWindow* parent, reslice_views_t& views);
    ~ortho_page() override;
    void OrthoChanged();  // shows the surfaces that exist

    wxSpinCtrlDouble* thickness = nullptr;
    wxChoice* surface = nullptr;
    wxRadioBox* compounding = nullptr;
    wxCheckBox* faster = nullptr;

    void OnOrthoLocate(wxCommandEvent&);
    void OnOrthoSurface(wxCommandEvent&);
    void apply_controls();

private:
    reslice_views_t& views_;
    std::vector<int> surfaces_;
    std::unique_ptr<pmf_functor<ortho_page>> changed_;
};

// Window 4, placed in the isocentre frame; placed afresh when the isocentre
// calibration changes while it is shown.
class isocentre_page : public wxScrolledWindow {
public:
    isocentre_page(wxWindow* parent, reslice_views_t& views);
    ~isocentre_page() override;
    void IsocentreViewChanged();  // the isocentre pose changed

    wxSpinCtrlDouble* thickness = nullptr;
    wxRadioBox* compounding = nullptr;
    wxCheckBox* faster = nullptr;

    void OnIsocentreLocate(wxCommandEvent&);
    void OnIsocentreSave(wxCommandEvent&);
    void apply_controls();

private:
    reslice_views_t& views_;
    std::unique_ptr<pmf_functor<isocentre_page>> changed_;
};

// The Save buttons' file types.
inline constexpr const char* reslice_image_filters =
    "PNG file (*.png)|*.png|JPEG file (*.jpeg)|*.jpeg;*.jpg|Windows bitmap file (*.bmp)|*.bmp|Raw PPM file "
    "(*.ppm)|*.ppm";
