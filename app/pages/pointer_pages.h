// The task pages that work with the tracked pointer: Pointer (the stylus tip
// found by pivoting), Cal with pointer (the probe calibrated from stylus tips
// imaged in the B-scan) and Isocentre (the room's isocentre from the
// phantom's faces touched with the pointer).
#pragma once

#include <array>
#include <memory>
#include <vector>

#include <wx/scrolwin.h>

#include "calibration/point_calibration.h"
#include "calibration/pointer_calibration.h"
#include "common/functor.h"

class wxButton;
class wxStaticText;
class wxTextCtrl;

class pointer_page : public wxScrolledWindow {
public:
    explicit pointer_page(wxWindow* parent);
    ~pointer_page() override;

    void OnStartPointer(wxCommandEvent&);
    void PointerChanged();     // a pointer pose while collecting
    void PointerCalChanged();  // the stored calibration's date

    bool collecting() const { return collecting_; }
    std::size_t poses() const { return poses_.size(); }

    wxButton* start = nullptr;
    wxStaticText* message = nullptr;
    wxStaticText* calibrated = nullptr;

private:
    std::vector<pointer_pose_t> poses_;
    pivot_result_t last_;
    bool collecting_ = false;
    std::unique_ptr<pmf_functor<pointer_page>> pose_arrived_, changed_;
};

class point_cal_page : public wxScrolledWindow {
public:
    explicit point_cal_page(wxWindow* parent);
    ~point_cal_page() override;

    void PointcalChanged();
    void OnPointcalAccept(wxCommandEvent&);
    void OnPointcalSolve(wxCommandEvent&);
    void OnPointcalRemoveLast(wxCommandEvent&);
    void OnPointcalCountClear(wxCommandEvent&);
    void OnPointcalSave(wxCommandEvent&);
    void OnPointcalSetTemperature(wxCommandEvent&);
    void OnPointcalDepthText(wxCommandEvent&);

    const std::vector<point_status_t>& accepted() const { return accepted_; }
    bool solved() const { return solution_.solved; }

    wxButton* accept = nullptr;
    wxStaticText* count = nullptr;
    wxButton *solve = nullptr, *remove_last = nullptr, *clear = nullptr, *save = nullptr;
    wxTextCtrl *temperature = nullptr, *depth = nullptr;
    wxStaticText* calibrated = nullptr;
    std::array<wxStaticText*, 3> messages{};

private:
    void show_count();
    void solve_points();

    std::vector<point_status_t> accepted_;
    point_solve solution_;
    bool refreshing_ = false;
    std::unique_ptr<pmf_functor<point_cal_page>> changed_;
};

class isocentre_task_page : public wxScrolledWindow {
public:
    explicit isocentre_task_page(wxWindow* parent);
    ~isocentre_task_page() override;

    void IsocentreChanged();
    void LocationChanged();  // the pointer's tip in the isocentre's frame
    void OnFiducial(int n);  // stores the pointer tip as fiducial n (1 to 5)
    void OnGetIsocentre(wxCommandEvent&);
    void OnResetIsocentre(wxCommandEvent&);

    std::array<wxButton*, 5> fiducials{};
    wxButton *get = nullptr, *reset = nullptr;
    wxStaticText* message = nullptr;
    wxStaticText* calibrated = nullptr;
    wxStaticText* location = nullptr;

private:
    std::unique_ptr<pmf_functor<isocentre_task_page>> changed_, pointer_moved_;
};
