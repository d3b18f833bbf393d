#include "pressure_pages.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "correction/auto_correction.h"
#include "page_controls.h"
#include "resources/resource_table.h"

namespace {

constexpr const char* warning_text =
    "Correction of the data for probe pressure is\nbased on evidence of deformation in the data\nitself. It is "
    "impossible to guarantee such\ncorrection will produce an ideal non-contact\nscan. Corrections should be "
    "assessed using\nthe pressure visualisation below. Only accept\nthe correction if you are sure that it "
    "matches\nthe pattern of contact pressure variation\nduring scanning.";

}  // namespace

pressure_task_page::pressure_task_page(wxWindow* parent) : wxScrolledWindow(parent, wxID_ANY)
{
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto_correct = new wxCheckBox(this, wxID_ANY, "Auto-correct positions\nduring recording:", wxDefaultPosition,
                                  wxDefaultSize, wxALIGN_RIGHT);
    auto_correct->SetValue(res->RES_AUTO_CORRECT_POS->value());
    column->Add(auto_correct, 0, wxALL, 6);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, "Results for sweep:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    sweep = new wxChoice(this, wxID_ANY);
    row->Add(sweep);
    column->Add(row, 0, wxALL, 6);
    correct = new wxButton(this, wxID_ANY, "Correct positions");
    correct_pressure = new wxButton(this, wxID_ANY, "Correct positions and pressure");
    column->Add(correct, 0, wxLEFT | wxRIGHT | wxTOP, 6);
    column->Add(correct_pressure, 0, wxALL, 6);
    movement = new wxStaticText(this, wxID_ANY, "");
    column->Add(movement, 0, wxALL, 6);
    auto* choice = new wxBoxSizer(wxHORIZONTAL);
    accept = new wxButton(this, wxID_ANY, " Accept correction");
    reject = new wxButton(this, wxID_ANY, " Reject correction");
    choice->Add(accept, 0, wxRIGHT, 6);
    choice->Add(reject);
    column->Add(choice, 0, wxALL, 6);
    auto* box = new wxStaticBoxSizer(wxVERTICAL, this, "Warning");
    box->Add(new wxStaticText(box->GetStaticBox(), wxID_ANY, warning_text), 0, wxALL, 4);
    column->Add(box, 0, wxALL, 6);
    scroll_when_squeezed(this, column);

    auto_correct->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        res->RES_AUTO_CORRECT_POS->write(auto_correct->GetValue());
        base_res_t::make_pending_writes_happen();
    });
    correct->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { run(false); });
    correct_pressure->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { run(true); });
    accept->Bind(wxEVT_BUTTON, &pressure_task_page::OnAccept, this);
    reject->Bind(wxEVT_BUTTON, &pressure_task_page::OnReject, this);
    changed_ = std::make_unique<pmf_functor<pressure_task_page>>(this, &pressure_task_page::PressureChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_SWEEPS, res->RES_BUF_FRAMES, res->RES_CORRELATION,
                                                            res->RES_AUTO_CORRECT_POS})
        r->add_proc(changed_.get());
    PressureChanged();
}

pressure_task_page::~pressure_task_page()
{
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_SWEEPS, res->RES_BUF_FRAMES, res->RES_CORRELATION,
                                                            res->RES_AUTO_CORRECT_POS})
        r->remove_worry(changed_.get());
}

void pressure_task_page::PressureChanged()
{
    auto_correct->SetValue(res->RES_AUTO_CORRECT_POS->value());
    const std::size_t count = recording_sweeps().size();
    if (sweep->GetCount() != count) {
        const int chosen = std::max(0, sweep->GetSelection());
        sweep->Clear();
        for (std::size_t i = 0; i < count; ++i)
            sweep->Append(wxString::Format("%zu", i + 1));
        if (count > 0)
            sweep->SetSelection(std::min(chosen, static_cast<int>(count) - 1));
    }
    const bool data = bufp && bufp->frames() > 1 && res->RES_POS_REC->value();
    correct->Enable(data);
    correct_pressure->Enable(data);
    const bool pending = static_cast<bool>(res->RES_CORRELATION->value());
    accept->Enable(pending);
    reject->Enable(pending);
    if (!pending && res->RES_CORRELATION->changed())
        movement->SetLabel("");
    Layout();
}

void pressure_task_page::run(bool pressure)
{
    const auto sweeps = recording_sweeps();
    const int chosen = sweep->GetSelection();
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= sweeps.size()) {
        interaction().inform("Pressure", "There is no sweep to correct.");
        return;
    }
    const auto [first, last] = sweeps[static_cast<std::size_t>(chosen)];
    reject_pending_correction();  // a new run replaces the one pending
    double max_a = 0.0, max_b = 0.0;
    const auto done = make_pending_correction(first, last, pressure, &max_a, &max_b);
    if (!done || !done->valid()) {
        movement->SetLabel("No valid correction");
    } else {
        wxString text = "Maximum data movement:\n" + wxString::Format("%.2lf mm due to position correction", max_a);
        if (pressure)
            text += "\n" + wxString::Format("%.2lf mm due to pressure correction", max_b);
        movement->SetLabel(text);
    }
    Layout();
}

void pressure_task_page::OnAccept(wxCommandEvent&)
{
    wxString groups;
    if (base_res_t::file_needs_save(RES_MASK_RECORDING, groups)) {
        const answer_t answer = interaction().ask(
            "Correct un-saved data",
            "The current file has not been completely saved. Accepting\na correction will permanently overwrite the "
            "current data.\nThere are unsaved changes for:\n\n" +
                groups + "\nSelect OK to continue with the correction",
            question_t::ok_cancel, answer_t::cancel);
        if (answer != answer_t::ok)
            return;
    }
    wxBusyCursor busy;
    if (!accept_pending_correction())
        interaction().inform("Pressure", "The correction could not be applied: the recording has changed since.");
    movement->SetLabel("");
}

void pressure_task_page::OnReject(wxCommandEvent&)
{
    reject_pending_correction();
    movement->SetLabel("");
}

pressure_visual_page::pressure_visual_page(wxWindow* parent) : wxScrolledWindow(parent, wxID_ANY)
{
    auto* column = new wxBoxSizer(wxVERTICAL);
    status = new wxStaticText(this, wxID_ANY, "");
    column->Add(status, 0, wxALL, 6);
    apply = new wxButton(this, wxID_ANY, " Apply correction");
    remove = new wxButton(this, wxID_ANY, " Remove correction");
    column->Add(apply, 0, wxLEFT | wxRIGHT | wxTOP, 6);
    column->Add(remove, 0, wxALL, 6);
    column->Add(new wxStaticText(this, wxID_ANY,
                                 "The reslices below cross the sweep: apply and remove\n"
                                 "the correction to see the data after and before it."),
                0, wxALL, 6);
    scroll_when_squeezed(this, column);
    apply->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        wxBusyCursor busy;
        if (const auto run = res->RES_CORRELATION->value())
            run->show();                                             // the reason is logged when it cannot
        res->RES_CORRELATION->write(res->RES_CORRELATION->value());  // the status follows
        base_res_t::make_pending_writes_happen();
    });
    remove->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        wxBusyCursor busy;
        if (const auto run = res->RES_CORRELATION->value())
            run->hide();
        res->RES_CORRELATION->write(res->RES_CORRELATION->value());
        base_res_t::make_pending_writes_happen();
    });
    changed_ = std::make_unique<pmf_functor<pressure_visual_page>>(this, &pressure_visual_page::PressureChanged);
    res->RES_CORRELATION->add_proc(changed_.get());
    PressureChanged();
}

pressure_visual_page::~pressure_visual_page()
{
    res->RES_CORRELATION->remove_worry(changed_.get());
}

void pressure_visual_page::PressureChanged()
{
    status->SetLabel(pending_correction_text());
    const auto run = res->RES_CORRELATION->value();
    apply->Enable(run && run->valid() && !run->shown());
    remove->Enable(run && run->shown());
    Layout();
}
