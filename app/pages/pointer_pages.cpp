#include "pointer_pages.h"

#include <cmath>

#include <wx/button.h>
#include <wx/config.h>
#include <wx/log.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "calibration/calib_internals.h"
#include "calibration/calibration_store.h"
#include "calibration/isocentre_calibration.h"
#include "calibration/pointer_tip.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "common/pos_stat.h"
#include "page_controls.h"
#include "resources/resource_table.h"
#include "surfaces/landmark_session.h"

namespace {

wxTextCtrl* labelled_field(wxWindow* parent, wxSizer* sizer, const char* label)
{
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    auto* field = new wxTextCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxSize(70, -1), wxTE_PROCESS_ENTER);
    row->Add(field, 0);
    sizer->Add(row, 0, wxALL, 4);
    return field;
}

// A fixed offset of the second pointer type on the magnetic tracker: its tip
// sits off the sensor by this much more than the pivot finds. No pointer type
// is told apart here, so the correction is the one for all but type 2.
constexpr double second_pointer_z_correction_cm = 1.95;

}  // namespace

// ---------------------------------------------------------------- Pointer

pointer_page::pointer_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    start = new wxButton(this, wxID_ANY, " Start pointer calibration ");
    message = new wxStaticText(this, wxID_ANY, "");
    calibrated = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(start, 0, wxALL, 4);
    sizer->Add(message, 0, wxALL, 4);
    sizer->Add(calibrated, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);
    start->Bind(wxEVT_BUTTON, &pointer_page::OnStartPointer, this);
    pose_arrived_ = std::make_unique<pmf_functor<pointer_page>>(this, &pointer_page::PointerChanged);
    changed_ = std::make_unique<pmf_functor<pointer_page>>(this, &pointer_page::PointerCalChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_POINTER_CAL_DATE, res->RES_POINTCAL_CAL_DATE,
                                                            res->RES_POINTER_SOURCE})
        r->add_proc(changed_.get());
    PointerCalChanged();
}

pointer_page::~pointer_page() = default;

void pointer_page::PointerCalChanged()
{
    const wxString date = res->RES_POINTER_SOURCE->value() == 5 ? res->RES_POINTCAL_CAL_DATE->value()
                                                                : res->RES_POINTER_CAL_DATE->value();
    calibrated->SetLabel(date.empty() ? wxString("No valid pointer calibration") : "Pointer calibrated on " + date);
}

void pointer_page::OnStartPointer(wxCommandEvent&)
{
    if (!collecting_) {
        poses_.clear();
        last_ = {};
        collecting_ = true;
        start->SetLabel(" Stop pointer calibration ");
        message->SetLabel("Waiting for pointer position\n\n");
        res->RES_POINTER_CAPTURE_EVENT->add_proc(pose_arrived_.get());
        return;
    }
    collecting_ = false;
    start->SetLabel(" Start pointer calibration ");
    res->RES_POINTER_CAPTURE_EVENT->remove_worry(pose_arrived_.get());
    // Only a result the page showed as a calibration is kept.
    if (last_.solved)
        store_pointer_tip(last_.tip, res->RES_POINTER_SOURCE->value());
    last_ = {};
}

void pointer_page::PointerChanged()
{
    const std::shared_ptr<pos_stat_t>& sample = res->RES_POINTER_CAPTURE_EVENT->value();
    if (!collecting_ || !sample)
        return;
    if (sample->state == POS_MISSING || !sample->pose || sample->pose.size() < 6) {
        message->SetLabel("No reading - pointer missing");
        return;
    }
    pointer_pose_t p;
    for (std::size_t i = 0; i < 6; ++i)
        p[i] = sample->pose[i];
    poses_.push_back(p);
    if (poses_.size() < 4)
        return;
    last_ = solve_pivot(poses_);
    if (last_.solved && res->RES_POINTER_SOURCE->value() == 5 && res->RES_POSITION_SOURCE->value() == SENSOR_ASCENSION)
        last_.tip.z += second_pointer_z_correction_cm;
    message->SetLabel(last_.message);
}

// ------------------------------------------------------- Cal with pointer

point_cal_page::point_cal_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    accept = new wxButton(this, wxID_ANY, "         No valid point");
    count = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(accept, 0, wxEXPAND | wxALL, 4);
    sizer->Add(count, 0, wxALL, 4);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    solve = new wxButton(this, wxID_ANY, "Solve");
    remove_last = new wxButton(this, wxID_ANY, "Remove last");
    clear = new wxButton(this, wxID_ANY, "Clear");
    save = new wxButton(this, wxID_ANY, "Save");
    for (wxButton* b : {solve, remove_last, clear, save})
        buttons->Add(b, 0, wxRIGHT, 4);
    sizer->Add(buttons, 0, wxALL, 4);
    temperature = labelled_field(this, sizer, "Water temperature (Celsius):");
    depth = labelled_field(this, sizer, "Depth setting (cm):");
    calibrated = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(calibrated, 0, wxALL, 4);
    for (wxStaticText*& m : messages) {
        m = new wxStaticText(this, wxID_ANY, "");
        sizer->Add(m, 0, wxALL, 4);
    }
    scroll_when_squeezed(this, sizer);

    accept->Bind(wxEVT_BUTTON, &point_cal_page::OnPointcalAccept, this);
    solve->Bind(wxEVT_BUTTON, &point_cal_page::OnPointcalSolve, this);
    remove_last->Bind(wxEVT_BUTTON, &point_cal_page::OnPointcalRemoveLast, this);
    clear->Bind(wxEVT_BUTTON, &point_cal_page::OnPointcalCountClear, this);
    save->Bind(wxEVT_BUTTON, &point_cal_page::OnPointcalSave, this);
    on_entry(temperature, [this] {
        wxCommandEvent none;
        OnPointcalSetTemperature(none);
    });
    on_entry(depth, [this] {
        wxCommandEvent none;
        OnPointcalDepthText(none);
    });
    changed_ = std::make_unique<pmf_functor<point_cal_page>>(this, &point_cal_page::PointcalChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_CALIB_POINT_AVAIL, res->RES_CAL_DATE, res->RES_CAL_TEMPERATURE, res->RES_CAL_DEPTH,
             res->RES_CAL_MESSAGE_1, res->RES_CAL_MESSAGE_2, res->RES_CAL_MESSAGE_3})
        r->add_proc(changed_.get());
    show_count();
    PointcalChanged();
}

point_cal_page::~point_cal_page() = default;

void point_cal_page::PointcalChanged()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    accept->SetLabel(res->RES_CALIB_POINT_AVAIL->value() ? "  Accept point for calibration"
                                                         : "         No valid point");
    calibrated->SetLabel(probe_calibration_text());
    if (!temperature->HasFocus())
        temperature->ChangeValue(wxString::Format("%g", res->RES_CAL_TEMPERATURE->value()));
    if (!depth->HasFocus())
        depth->ChangeValue(wxString::Format("%g", res->RES_CAL_DEPTH->value()));
    messages[0]->SetLabel(res->RES_CAL_MESSAGE_1->value());
    messages[1]->SetLabel(res->RES_CAL_MESSAGE_2->value());
    messages[2]->SetLabel(res->RES_CAL_MESSAGE_3->value());
    save->Enable(solution_.solved);
    refreshing_ = false;
}

void point_cal_page::show_count()
{
    count->SetLabel(wxString::Format("Currently have %d points.", int(accepted_.size())));
}

void point_cal_page::solve_points()
{
    solution_.run_point_solve(accepted_, 0.0, res->RES_CAL_TEMPERATURE->value());
    res->RES_CAL_MESSAGE_1->write(solution_.message1);
    res->RES_CAL_MESSAGE_3->write(solution_.message3);
    PointcalChanged();
}

void point_cal_page::OnPointcalAccept(wxCommandEvent&)
{
    const auto calib = res->RES_CALIB_ACTIVE->value();
    if (!calib || !res->RES_CALIB_POINT_AVAIL->value() || !calib->latest_point())
        return;
    accepted_.push_back(*calib->latest_point());
    show_count();
    if (accepted_.size() < 3) {
        res->RES_CAL_MESSAGE_3->write("");
        solution_.solved = false;
        PointcalChanged();
        return;
    }
    solve_points();
}

void point_cal_page::OnPointcalSolve(wxCommandEvent&)
{
    solve_points();
}

void point_cal_page::OnPointcalRemoveLast(wxCommandEvent&)
{
    if (accepted_.empty())
        return;
    accepted_.pop_back();
    solution_.solved = false;
    show_count();
    PointcalChanged();
}

void point_cal_page::OnPointcalCountClear(wxCommandEvent&)
{
    accepted_.clear();
    solution_.solved = false;
    res->RES_CAL_MESSAGE_3->write("");
    show_count();
    PointcalChanged();
}

void point_cal_page::OnPointcalSave(wxCommandEvent&)
{
    if (!store_point_calibration(solution_))
        return;
    solution_.solved = false;
    PointcalChanged();
}

void point_cal_page::OnPointcalSetTemperature(wxCommandEvent&)
{
    apply_water_temperature(temperature);
}

void point_cal_page::OnPointcalDepthText(wxCommandEvent&)
{
    double d = 0;
    if (depth->GetValue().Strip(wxString::both).ToCDouble(&d) && d >= 0.0 && d < 1000.0) {
        if (d != res->RES_CAL_DEPTH->value())
            res->RES_CAL_DEPTH->write(d);
        return;
    }
    depth->ChangeValue(wxString::Format("%g", res->RES_CAL_DEPTH->value()));
}

// -------------------------------------------------------------- Isocentre

isocentre_task_page::isocentre_task_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    for (int n = 1; n <= 5; ++n) {
        auto*& b = fiducials[std::size_t(n - 1)];
        b = new wxButton(this, wxID_ANY, isocentre_fiducial_name(n));
        b->Bind(wxEVT_BUTTON, [this, n](wxCommandEvent&) { OnFiducial(n); });
        sizer->Add(b, 0, wxEXPAND | wxALL, 2);
    }
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    get = new wxButton(this, wxID_ANY, "Get isocentre");
    reset = new wxButton(this, wxID_ANY, "Reset");
    buttons->Add(get, 0, wxRIGHT, 4);
    buttons->Add(reset, 0);
    sizer->Add(buttons, 0, wxALL, 4);
    message = new wxStaticText(this, wxID_ANY, "");
    calibrated = new wxStaticText(this, wxID_ANY, "");
    location = new wxStaticText(this, wxID_ANY, "");
    for (wxStaticText* t : {message, calibrated, location})
        sizer->Add(t, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);
    get->Bind(wxEVT_BUTTON, &isocentre_task_page::OnGetIsocentre, this);
    reset->Bind(wxEVT_BUTTON, &isocentre_task_page::OnResetIsocentre, this);
    changed_ = std::make_unique<pmf_functor<isocentre_task_page>>(this, &isocentre_task_page::IsocentreChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_ISOCENTRE_CAL_DATE, res->RES_ISOCENTRE_XTRANS,
                                                            res->RES_ISOCENTRE_YTRANS, res->RES_ISOCENTRE_ZTRANS,
                                                            res->RES_ISOCENTRE_AZIMUTH, res->RES_ISOCENTRE_ELEVATION,
                                                            res->RES_ISOCENTRE_ROLL, res->RES_LANDMARKS})
        r->add_proc(changed_.get());
    // Pointer samples come tens of times a second: they move only the location line.
    pointer_moved_ = std::make_unique<pmf_functor<isocentre_task_page>>(this, &isocentre_task_page::LocationChanged);
    res->RES_POINTER_CAPTURE_EVENT->add_proc(pointer_moved_.get());
    IsocentreChanged();
}

isocentre_task_page::~isocentre_task_page() = default;

void isocentre_task_page::IsocentreChanged()
{
    const wxString date = res->RES_ISOCENTRE_CAL_DATE->value();
    calibrated->SetLabel(date.empty() ? wxString("No valid isocentre calibration") : "Isocentre calibrated on " + date);
    LocationChanged();
    const auto placed = isocentre_fiducials(landmarks_from_session());
    for (std::size_t i = 0; i < 5; ++i)
        fiducials[i]->SetLabel(isocentre_fiducial_name(int(i + 1)) + (placed[i] ? " (set)" : ""));
}

void isocentre_task_page::LocationChanged()
{
    const auto& sample = res->RES_POINTER_CAPTURE_EVENT->value();
    const auto tip = sample && sample->state != POS_MISSING ? pointer_tip_in_world(sample->pose) : std::nullopt;
    if (!tip) {
        location->SetLabel("");
    } else {
        // Where the pointer is in the isocentre's frame.
        matrix16d to_isocentre;
        to_isocentre.forward(res->RES_ISOCENTRE_XTRANS->value(), res->RES_ISOCENTRE_YTRANS->value(),
                             res->RES_ISOCENTRE_ZTRANS->value(), res->RES_ISOCENTRE_AZIMUTH->value(),
                             res->RES_ISOCENTRE_ELEVATION->value(), res->RES_ISOCENTRE_ROLL->value());
        const vertex3d p = to_isocentre * *tip;
        location->SetLabel(wxString::Format("Location: (%7.2lf, %7.2lf, %7.2lf) mm", 10 * p.x, 10 * p.y, 10 * p.z));
    }
}

void isocentre_task_page::OnFiducial(int n)
{
    const auto& sample = res->RES_POINTER_CAPTURE_EVENT->value();
    const auto tip = sample && sample->state != POS_MISSING ? pointer_tip_in_world(sample->pose) : std::nullopt;
    if (!tip) {
        message->SetLabel("No reading - pointer missing");
        return;
    }
    landmarks marks = landmarks_from_session();
    set_isocentre_fiducial(&marks, n, *tip);
    landmarks_to_session(std::move(marks));
}

void isocentre_task_page::OnGetIsocentre(wxCommandEvent&)
{
    const isocentre_result_t r = solve_isocentre(isocentre_fiducials(landmarks_from_session()));
    if (!r.started) {
        message->SetLabel("At least four fiducials are needed.");
        return;
    }
    message->SetLabel(r.message);
    if (r.gave_up)
        interaction().inform(isocentre_box_title, isocentre_give_up_text);
    if (r.solved)
        store_isocentre(r.pose);
}

void isocentre_task_page::OnResetIsocentre(wxCommandEvent&)
{
    landmarks marks = landmarks_from_session();
    clear_isocentre_fiducials(&marks);
    landmarks_to_session(std::move(marks));
    message->SetLabel("");
}
