#include "probe_calib_page.h"

#include <cmath>

#include <wx/button.h>
#include <wx/log.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include "calibration/calib_internals.h"
#include "calibration/calibration_store.h"
#include "common/interaction.h"
#include "page_controls.h"
#include "resources/resource_table.h"

namespace {

wxTextCtrl* setting_field(wxWindow* parent, wxSizer* grid, const char* label)
{
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* field = new wxTextCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxSize(80, -1), wxTE_PROCESS_ENTER);
    grid->Add(field, 0);
    return field;
}

// A field being typed in keeps its text until the value is set.
void show_value(wxTextCtrl* field, const wxString& text, bool even_focused = false)
{
    if ((even_focused || !field->HasFocus()) && field->GetValue() != text)
        field->ChangeValue(text);
}

}  // namespace

probe_calib_page::probe_calib_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);

    {
        auto* step1 = new wxStaticBoxSizer(wxVERTICAL, this, "Step 1: line detection");
        wxWindow* box = step1->GetStaticBox();
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        define_region = new wxButton(box, wxID_ANY, "Define region");
        defaults = new wxButton(box, wxID_ANY, "Defaults");
        row->Add(define_region, 0, wxRIGHT, 4);
        row->Add(defaults, 0);
        step1->Add(row, 0, wxALL, 2);
        invert = new wxToggleButton(box, wxID_ANY, " Configure for upside down image");
        step1->Add(invert, 0, wxALL, 2);
        auto* grid = new wxFlexGridSizer(2, 4, 4);
        sigma = setting_field(box, grid, "Edge kernel width (pixels):");
        stripes = setting_field(box, grid, "Stripes:");
        min_gradient = setting_field(box, grid, "Minimum gradient:");
        pixel_threshold = setting_field(box, grid, "Inlier distance (pixels):");
        accept_ratio = setting_field(box, grid, "Accept ratio:");
        step1->Add(grid, 0, wxALL, 2);
        temporal = new wxButton(box, wxID_ANY, "Start temporal calibration");
        step1->Add(temporal, 0, wxALL, 2);
        sizer->Add(step1, 0, wxEXPAND | wxALL, 4);
    }
    {
        auto* step2 = new wxStaticBoxSizer(wxVERTICAL, this, "Step 2: lines");
        wxWindow* box = step2->GetStaticBox();
        accept = new wxButton(box, wxID_ANY, "         No valid line");
        line_count = new wxStaticText(box, wxID_ANY, "");
        clear_lines = new wxButton(box, wxID_ANY, "Clear lines");
        step2->Add(accept, 0, wxEXPAND | wxALL, 2);
        step2->Add(line_count, 0, wxALL, 2);
        step2->Add(clear_lines, 0, wxALL, 2);
        sizer->Add(step2, 0, wxEXPAND | wxALL, 4);
    }
    {
        auto* step3 = new wxStaticBoxSizer(wxVERTICAL, this, "Step 3: scales");
        wxWindow* box = step3->GetStaticBox();
        mark_first = new wxButton(box, wxID_ANY, "   Mark ends of first line");
        mark_second = new wxButton(box, wxID_ANY, "   Mark ends of second line");
        mark_status = new wxStaticText(box, wxID_ANY, "");
        step3->Add(mark_first, 0, wxEXPAND | wxALL, 2);
        step3->Add(mark_second, 0, wxEXPAND | wxALL, 2);
        step3->Add(mark_status, 0, wxALL, 2);
        // The sliders count tenths of a millimetre: 1000 is 10 cm.
        auto* lengths = new wxFlexGridSizer(2, 4, 4);
        lengths->AddGrowableCol(1);
        length_first = labelled_slider(box, lengths, "First line length (in mm):", 1000, 50, 2000);
        length_second = labelled_slider(box, lengths, "Second line length (in mm):", 1000, 50, 2000);
        step3->Add(lengths, 0, wxEXPAND | wxALL, 2);
        sizer->Add(step3, 0, wxEXPAND | wxALL, 4);
    }
    {
        auto* solve_box = new wxStaticBoxSizer(wxVERTICAL, this, "Solve");
        wxWindow* box = solve_box->GetStaticBox();
        auto* water = new wxBoxSizer(wxHORIZONTAL);
        water->Add(new wxStaticText(box, wxID_ANY, "Water temperature (Celsius):"), 0,
                   wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
        temperature = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxSize(60, -1), wxTE_PROCESS_ENTER);
        water->Add(temperature, 0);
        solve_box->Add(water, 0, wxALL, 2);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        solve = new wxButton(box, wxID_ANY, "Solve");
        save = new wxButton(box, wxID_ANY, "Save");
        buttons->Add(solve, 0, wxRIGHT, 4);
        buttons->Add(save, 0);
        solve_box->Add(buttons, 0, wxALL, 2);
        calibrated = new wxStaticText(box, wxID_ANY, "");
        solve_box->Add(calibrated, 0, wxALL, 2);
        for (wxStaticText*& m : messages) {
            m = new wxStaticText(box, wxID_ANY, "");
            solve_box->Add(m, 0, wxALL, 2);
        }
        sizer->Add(solve_box, 0, wxEXPAND | wxALL, 4);
    }
    scroll_when_squeezed(this, sizer);

    define_region->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalRoiButton, this);
    defaults->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalibDefaults, this);
    invert->Bind(wxEVT_TOGGLEBUTTON, &probe_calib_page::OnInvert, this);
    for (wxTextCtrl* f : {sigma, stripes, min_gradient, pixel_threshold, accept_ratio})
        on_entry(f, [this] {
            wxCommandEvent none;
            OnSetting(none);
        });
    temporal->Bind(wxEVT_BUTTON, &probe_calib_page::OnTempCalibButton, this);
    accept->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalAccept, this);
    clear_lines->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalFramecountClear, this);
    mark_first->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSetscaleButton(1); });
    mark_second->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSetscaleButton(2); });
    on_entry(temperature, [this] {
        wxCommandEvent none;
        OnSetTemperature(none);
    });
    solve->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalSolve, this);
    save->Bind(wxEVT_BUTTON, &probe_calib_page::OnCalSave, this);

    changed_ = std::make_unique<pmf_functor<probe_calib_page>>(this, &probe_calib_page::CalibChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_CAL_DATE, res->RES_CAL_INVERT, res->RES_CALIB_LINE_AVAIL, res->RES_CAL_SIGMA,
             res->RES_CAL_STRIPES, res->RES_CAL_MINGRAD, res->RES_CAL_PIXTHRESH, res->RES_CAL_ACCEPT_RATIO,
             res->RES_CAL_TEMPERATURE, res->RES_CAL_MESSAGE_1, res->RES_CAL_MESSAGE_2, res->RES_CAL_MESSAGE_3,
             res->RES_CALIB_DEFINING_SCALELINE, res->RES_BUF_FRAMES})
        r->add_proc(changed_.get());
    scale_point_ = std::make_unique<pmf_functor<probe_calib_page>>(this, &probe_calib_page::ScalePointChanged);
    res->RES_CALIB_SCALE_POINTS->add_proc(scale_point_.get());
    show_count();
    CalibChanged();
}

probe_calib_page::~probe_calib_page() = default;

std::shared_ptr<calib_internals> probe_calib_page::calib() const
{
    return res->RES_CALIB_ACTIVE->value();
}

void probe_calib_page::CalibChanged()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    calibrated->SetLabel(probe_calibration_text());
    invert->SetValue(res->RES_CAL_INVERT->value());
    invert->SetLabel(res->RES_CAL_INVERT->value() ? " Configure for normal image" : " Configure for upside down image");
    accept->SetLabel(res->RES_CALIB_LINE_AVAIL->value() ? "  Accept line for calibration" : "         No valid line");
    show_settings(false);
    messages[0]->SetLabel(res->RES_CAL_MESSAGE_1->value());
    messages[1]->SetLabel(res->RES_CAL_MESSAGE_2->value());
    messages[2]->SetLabel(res->RES_CAL_MESSAGE_3->value());
    const auto c = calib();
    temporal->SetLabel(c && c->temp_calib_running() ? "Stop temporal calibration" : "Start temporal calibration");
    solve->Enable(!solving_);
    save->Enable(!solving_ && solution_ && solution_->solved);
    refreshing_ = false;
}

void probe_calib_page::OnCalRoiButton(wxCommandEvent&)
{
    if (const auto c = calib())
        c->start_defining_roi();
}

void probe_calib_page::OnCalibDefaults(wxCommandEvent&)
{
    res->RES_CAL_SIGMA->write(5.0);
    res->RES_CAL_STRIPES->write(20);
    res->RES_CAL_MINGRAD->write(5.0);
    res->RES_CAL_PIXTHRESH->write(3);
    res->RES_CAL_ACCEPT_RATIO->write(0.6);
    res->RES_CAL_INVERT->write(false);
}

void probe_calib_page::OnInvert(wxCommandEvent&)
{
    res->RES_CAL_INVERT->write(invert->GetValue());
}

// Each field is read as typed; a value that is not a number goes back to the
// setting, one out of range is refused by the detector with a warning.
void probe_calib_page::OnSetting(wxCommandEvent&)
{
    double d = 0;
    long l = 0;
    if (sigma->GetValue().Strip(wxString::both).ToCDouble(&d) && d != res->RES_CAL_SIGMA->value())
        res->RES_CAL_SIGMA->write(d);
    if (stripes->GetValue().Strip(wxString::both).ToLong(&l) && l != res->RES_CAL_STRIPES->value())
        res->RES_CAL_STRIPES->write(l);
    if (min_gradient->GetValue().Strip(wxString::both).ToCDouble(&d) && d != res->RES_CAL_MINGRAD->value())
        res->RES_CAL_MINGRAD->write(d);
    if (pixel_threshold->GetValue().Strip(wxString::both).ToLong(&l) && l != res->RES_CAL_PIXTHRESH->value())
        res->RES_CAL_PIXTHRESH->write(l);
    if (accept_ratio->GetValue().Strip(wxString::both).ToCDouble(&d) && d != res->RES_CAL_ACCEPT_RATIO->value())
        res->RES_CAL_ACCEPT_RATIO->write(d);
    show_settings(true);
}

void probe_calib_page::show_settings(bool even_focused)
{
    show_value(sigma, wxString::Format(" %4.1lf", res->RES_CAL_SIGMA->value()), even_focused);
    show_value(stripes, wxString::Format(" %li", res->RES_CAL_STRIPES->value()), even_focused);
    show_value(min_gradient, wxString::Format(" %4.1lf", res->RES_CAL_MINGRAD->value()), even_focused);
    show_value(pixel_threshold, wxString::Format(" %li", res->RES_CAL_PIXTHRESH->value()), even_focused);
    show_value(accept_ratio, wxString::Format(" %4.2lf", res->RES_CAL_ACCEPT_RATIO->value()), even_focused);
    show_value(temperature, wxString::Format("%g", res->RES_CAL_TEMPERATURE->value()), even_focused);
}

void probe_calib_page::OnTempCalibButton(wxCommandEvent&)
{
    const auto c = calib();
    if (!c)
        return;
    if (c->temp_calib_running())
        c->stop_temp_calib();
    else
        c->start_temp_calib();
    CalibChanged();
}

void probe_calib_page::show_count()
{
    line_count->SetLabel(wxString::Format("Currently have %d lines.", int(accepted_.size())));
}

void probe_calib_page::OnCalAccept(wxCommandEvent&)
{
    const auto c = calib();
    if (!c || !res->RES_CALIB_LINE_AVAIL->value())
        return;
    if (c->latest_status().decision != 1) {
        wxLogError("ERROR: res->calib_line_avail = %d, but cal_intern_ptr->latest_status.decision = %d, %d",
                   int(res->RES_CALIB_LINE_AVAIL->value()), c->latest_status().decision, int(accepted_.size()));
        return;
    }
    accepted_.push_back(c->latest_status());
    show_count();
    res->RES_CAL_MESSAGE_3->write("");
}

void probe_calib_page::OnCalFramecountClear(wxCommandEvent&)
{
    if (interaction().ask("Clear calib lines?",
                          "Caution: If you really want to clear\nall the currently accepted lines,\npress OK.  Press "
                          "Cancel to keep\nthe currently accepted lines.\n",
                          question_t::ok_cancel, answer_t::cancel) != answer_t::ok)
        return;
    accepted_.clear();
    show_count();
}

void probe_calib_page::OnSetscaleButton(int line)
{
    res->RES_CALIB_DEFINING_SCALELINE->write(line);
    const int first = 4 * (line - 1);
    for (int i = first; i < first + 4; ++i)
        scale_ends_[std::size_t(i)] = -1;
    mark_status->SetLabel("Left button sets one end of line.\nRight button sets other end.");
}

void probe_calib_page::ScalePointChanged()
{
    const long line = res->RES_CALIB_DEFINING_SCALELINE->value();
    const scale_point_pos_t& p = res->RES_CALIB_SCALE_POINTS->value();
    if (line < 1 || line > 2 || p.point < 0 || p.point > 1 || !(p.x >= 0) || !(p.y >= 0))
        return;
    const std::size_t at = std::size_t(4 * (line - 1) + 2 * p.point);
    scale_ends_[at] = p.x;
    scale_ends_[at + 1] = p.y;
    const std::size_t first = std::size_t(4 * (line - 1));
    if (scale_ends_[first] >= 0 && scale_ends_[first + 2] >= 0) {
        res->RES_CALIB_DEFINING_SCALELINE->write(0);
        mark_status->SetLabel(" Finished locating ends of line");
    }
}

void probe_calib_page::OnCalSolve(wxCommandEvent&)
{
    if (solving_)
        return;
    if (accepted_.empty()) {
        wxLogError("You must accept some lines before solving for spatial calibration.");
        return;
    }
    solution_.reset();
    double sx = 0, sy = 0;
    if (res->RES_BUF_RF->value()) {
        // RF data come with their own pixel size.
        sx = sy = res->RES_RF_SCALE->value();
        if (!(sx > 0.0)) {
            wxLogError("The image stream must have been turned on in order to calculate the image scales.");
            return;
        }
    } else {
        wxString why;
        if (!solve_scale_lines({scale_ends_, length_first->GetValue() / 100.0, length_second->GetValue() / 100.0}, &sx,
                               &sy, &why)) {
            wxLogError("%s", why);
            return;
        }
    }
    solving_ = true;
    res->RES_CAL_MESSAGE_3->write("Solving...");
    CalibChanged();
    const double celsius = res->RES_CAL_TEMPERATURE->value();
    const long width = res->RES_BUF_WIDTH->value();
    if (solver_.joinable())
        solver_.join();
    solver_ = std::jthread([this, lines = accepted_, sx, sy, celsius, width] {
        auto result = std::make_shared<plane_solve>();
        result->run_plane_solve(lines, sx, sy, celsius, width);
        CallAfter([this, result] { solve_finished(result); });
    });
}

void probe_calib_page::solve_finished(std::shared_ptr<plane_solve> result)
{
    solving_ = false;
    solution_ = result->solved ? result : nullptr;
    res->RES_CAL_MESSAGE_1->write(result->message1);
    res->RES_CAL_MESSAGE_3->write(result->message3);
    CalibChanged();
}

void probe_calib_page::OnCalSave(wxCommandEvent&)
{
    if (!solution_ || !solution_->solved)
        return;
    store_plane_calibration(*solution_);
    solution_.reset();
    CalibChanged();
}

void probe_calib_page::OnSetTemperature(wxCommandEvent&)
{
    apply_water_temperature(temperature);
}
