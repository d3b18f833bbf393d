// The Probe calib task page: plane-phantom calibration from the live image of
// a water bath's floor. Step 1 sets up the line detection (region, settings,
// upside-down images) and the temporal calibration; step 2 accepts detected
// lines from many probe poses; step 3 gives the pixel scales by two lines of
// known length marked on the image; then solve and save. The solve runs off
// the UI thread, so the page and the live image carry on meanwhile.
#pragma once

#include <array>
#include <memory>
#include <thread>
#include <vector>

#include <wx/scrolwin.h>

#include "calibration/plane_calibration.h"
#include "common/functor.h"

class calib_internals;
class wxButton;
class wxSlider;
class wxStaticText;
class wxTextCtrl;
class wxToggleButton;

class probe_calib_page : public wxScrolledWindow {
public:
    explicit probe_calib_page(wxWindow* parent);
    ~probe_calib_page() override;

    void CalibChanged();       // labels and texts from the resources
    void ScalePointChanged();  // an end of a scale line marked on the review window

    void OnCalRoiButton(wxCommandEvent&);
    void OnCalibDefaults(wxCommandEvent&);
    void OnInvert(wxCommandEvent&);
    void OnSetting(wxCommandEvent&);
    void OnTempCalibButton(wxCommandEvent&);
    void OnCalAccept(wxCommandEvent&);
    void OnCalFramecountClear(wxCommandEvent&);
    void OnSetscaleButton(int line);
    void OnCalSolve(wxCommandEvent&);
    void OnCalSave(wxCommandEvent&);
    void OnSetTemperature(wxCommandEvent&);

    // The accepted lines, the ends of the scale lines (x, y of the first
    // line's two ends, then the second's; negative while unset).
    const std::vector<frame_status_t>& accepted() const { return accepted_; }
    const std::array<double, 8>& scale_ends() const { return scale_ends_; }
    bool solving() const { return solving_; }
    const plane_solve* solution() const { return solution_.get(); }

    wxButton* define_region = nullptr;
    wxButton* defaults = nullptr;
    wxToggleButton* invert = nullptr;
    wxTextCtrl *sigma = nullptr, *stripes = nullptr, *min_gradient = nullptr, *pixel_threshold = nullptr,
               *accept_ratio = nullptr;
    wxButton* temporal = nullptr;
    wxButton* accept = nullptr;
    wxStaticText* line_count = nullptr;
    wxButton* clear_lines = nullptr;
    wxButton *mark_first = nullptr, *mark_second = nullptr;
    wxStaticText* mark_status = nullptr;
    wxSlider *length_first = nullptr, *length_second = nullptr;
    wxTextCtrl* temperature = nullptr;
    wxButton* solve = nullptr;
    wxButton* save = nullptr;
    wxStaticText* calibrated = nullptr;
    std::array<wxStaticText*, 3> messages{};

private:
    std::shared_ptr<calib_internals> calib() const;
    void show_count();
    void show_settings(bool even_focused);
    void solve_finished(std::shared_ptr<plane_solve> result);

    std::vector<frame_status_t> accepted_;
    std::array<double, 8> scale_ends_{-1, -1, -1, -1, -1, -1, -1, -1};
    std::shared_ptr<plane_solve> solution_;
    bool solving_ = false;
    bool refreshing_ = false;
    std::jthread solver_;
    std::unique_ptr<pmf_functor<probe_calib_page>> changed_, scale_point_;
};
