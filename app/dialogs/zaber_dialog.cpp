#include "zaber_dialog.h"

#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "common/interaction.h"
#include "devices/gantry_runner.h"
#include "devices/zaber_gantry.h"
#include "resources/resource_table.h"
#include "serial_ports.h"

namespace {

constexpr const char* caption = "Zaber gantry control";
enum { ACT_HOME, ACT_MOVE, ACT_STEP, ACT_STOP };
constexpr int all_axes = 3;

}  // namespace

zaber_dialog::zaber_dialog(wxWindow* parent, zaberGantry& gantry, gantry_runner_t& runner)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE),
      gantry_(gantry),
      runner_(runner)
{
    auto* column = new wxBoxSizer(wxVERTICAL);

    auto* top = new wxFlexGridSizer(3, wxSize(8, 6));
    top->Add(new wxStaticText(this, wxID_ANY, "Serial port:"), 0, wxALIGN_CENTER_VERTICAL);
    port = new wxComboBox(this, wxID_ANY, res->RES_ZABER_PORT->value(), wxDefaultPosition, wxSize(220, -1),
                          serial_port_names());
    top->Add(port, 0, wxEXPAND);
    start = new wxButton(this, wxID_ANY, "Start");
    top->Add(start);
    top->Add(new wxStaticText(this, wxID_ANY, "Mode:"), 0, wxALIGN_CENTER_VERTICAL);
    wxArrayString modes;
    modes.Add("Steps by hand");
    modes.Add("One step per recorded frame");
    modes.Add("One step per sweep");
    mode = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, modes);
    const long m = res->RES_ZABER_MODE->value();
    mode->SetSelection(m >= 0 && m < static_cast<long>(modes.size()) ? static_cast<int>(m) : 0);
    top->Add(mode, 0, wxEXPAND);
    column->Add(top, 0, wxALL, 10);

    auto* axes = new wxFlexGridSizer(6, wxSize(6, 4));
    const char* const rows[] = {"x (cm):", "y (cm):", "z (cm):", "All axes:"};
    for (int r = 0; r < 4; ++r) {
        axes->Add(new wxStaticText(this, wxID_ANY, rows[r]), 0, wxALIGN_CENTER_VERTICAL);
        if (r < 3) {
            value[static_cast<std::size_t>(r)] = new wxTextCtrl(this, wxID_ANY, "0", wxDefaultPosition, wxSize(90, -1));
            axes->Add(value[static_cast<std::size_t>(r)]);
        } else {
            axes->AddSpacer(1);
        }
        const auto i = static_cast<std::size_t>(r);
        home[i] = new wxButton(this, wxID_ANY, "Home");
        move[i] = new wxButton(this, wxID_ANY, "Move to");
        step[i] = new wxButton(this, wxID_ANY, "Step by");
        stop[i] = new wxButton(this, wxID_ANY, "Stop");
        for (auto [button, action] : {std::pair{home[i], ACT_HOME}, std::pair{move[i], ACT_MOVE},
                                      std::pair{step[i], ACT_STEP}, std::pair{stop[i], ACT_STOP}}) {
            button->Bind(wxEVT_BUTTON, [this, r, action = action](wxCommandEvent&) { OnAxis(r, action); });
            axes->Add(button);
        }
    }
    column->Add(axes, 0, wxLEFT | wxRIGHT, 10);
    position = new wxStaticText(this, wxID_ANY, "");
    column->Add(position, 0, wxALL, 10);

    auto* sequence = new wxBoxSizer(wxHORIZONTAL);
    open_sequence = new wxButton(this, wxID_ANY, "Open sequence file");
    run = new wxButton(this, wxID_ANY, "Run");
    step_sequence = new wxButton(this, wxID_ANY, "Step");
    reset = new wxButton(this, wxID_ANY, "Reset");
    stop_run = new wxButton(this, wxID_ANY, "Stop");
    for (wxButton* b : {open_sequence, run, step_sequence, reset, stop_run})
        sequence->Add(b, 0, wxRIGHT, 6);
    column->Add(sequence, 0, wxLEFT | wxRIGHT, 10);
    sequence_name = new wxStaticText(this, wxID_ANY, "No sequence file");
    progress = new wxStaticText(this, wxID_ANY, "");
    column->Add(sequence_name, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(progress, 0, wxALL, 10);
    column->Add(CreateButtonSizer(wxCLOSE), 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(column);

    start->Bind(wxEVT_BUTTON, &zaber_dialog::OnStart, this);
    open_sequence->Bind(wxEVT_BUTTON, &zaber_dialog::OnOpenSequence, this);
    run->Bind(wxEVT_BUTTON, &zaber_dialog::OnRun, this);
    step_sequence->Bind(wxEVT_BUTTON, &zaber_dialog::OnStepSequence, this);
    reset->Bind(wxEVT_BUTTON, &zaber_dialog::OnReset, this);
    stop_run->Bind(wxEVT_BUTTON, &zaber_dialog::OnStopRun, this);
    mode->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        res->RES_ZABER_MODE->write(std::max(0, mode->GetSelection()));
        base_res_t::make_pending_writes_happen();
    });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Hide(); }, wxID_CLOSE);

    texts_proc_ = std::make_unique<pmf_functor<zaber_dialog>>(this, &zaber_dialog::update_texts);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_ZABER_POS_X, res->RES_ZABER_POS_Y,
                                                            res->RES_ZABER_POS_Z, res->RES_ZABER_CURRENT_STEP,
                                                            res->RES_ZABER_SEQ_STEPS, res->RES_ZABER_RUNNING})
        r->add_proc(texts_proc_.get());
    update_texts();
}

zaber_dialog::~zaber_dialog()
{
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_ZABER_POS_X, res->RES_ZABER_POS_Y,
                                                            res->RES_ZABER_POS_Z, res->RES_ZABER_CURRENT_STEP,
                                                            res->RES_ZABER_SEQ_STEPS, res->RES_ZABER_RUNNING})
        r->remove_worry(texts_proc_.get());
}

void zaber_dialog::update_texts()
{
    position->SetLabel(wxString::Format("Current position is (%.6f, %.6f, %.6f) cm", res->RES_ZABER_POS_X->value(),
                                        res->RES_ZABER_POS_Y->value(), res->RES_ZABER_POS_Z->value()));
    progress->SetLabel(wxString::Format("Completed %li of %li steps", res->RES_ZABER_CURRENT_STEP->value(),
                                        res->RES_ZABER_SEQ_STEPS->value()));
    start->SetLabel(res->RES_ZABER_RUNNING->value() ? "Restart" : "Start");
    Layout();
}

bool zaber_dialog::read_value(int axis, double* out)
{
    double v = 0.0;
    const wxString text = value[static_cast<std::size_t>(axis)]->GetValue().Strip(wxString::both);
    // nan and inf read as numbers but are no place a stage can go.
    if (!text.ToCDouble(&v) || !std::isfinite(v)) {
        interaction().inform(caption, "Enter a numerical value");
        value[static_cast<std::size_t>(axis)]->SetFocus();
        return false;
    }
    *out = v;
    return true;
}

void zaber_dialog::OnStart(wxCommandEvent&)
{
    wxBusyCursor busy;
    runner_.stop();
    res->RES_ZABER_PORT->write(port->GetValue().Strip(wxString::both));
    base_res_t::make_pending_writes_happen();
    gantry_.initialise();  // failures are logged
    update_texts();
}

void zaber_dialog::OnAxis(int row, int action)
{
    if (!gantry_.running()) {
        interaction().inform(caption, "Start the gantry first.");
        return;
    }
    std::array<double, 3> v{};
    if (action == ACT_MOVE || action == ACT_STEP) {
        for (int a = 0; a < 3; ++a)
            if ((row == all_axes || row == a) && !read_value(a, &v[static_cast<std::size_t>(a)]))
                return;
    }
    wxBusyCursor busy;  // the moves block until the stage stands still
    if (row == all_axes) {
        switch (action) {
            case ACT_HOME:
                gantry_.homeAll();
                break;
            case ACT_MOVE:
                gantry_.moveAllToPosition(v[0], v[1], v[2]);
                break;
            case ACT_STEP:
                gantry_.stepAll(v[0], v[1], v[2]);
                break;
            default:
                runner_.stop();
                break;
        }
    } else {
        switch (action) {
            case ACT_HOME:
                gantry_.homeAxis(row);
                break;
            case ACT_MOVE:
                gantry_.moveAxisToPosition(row, v[static_cast<std::size_t>(row)]);
                break;
            case ACT_STEP:
                gantry_.stepAxis(row, v[static_cast<std::size_t>(row)]);
                break;
            default:
                gantry_.stopAxis(row);
                break;
        }
    }
    base_res_t::make_pending_writes_happen();
}

void zaber_dialog::OnOpenSequence(wxCommandEvent&)
{
    const auto chosen =
        interaction().ask_file("Open sequence file", "Sequence files (*.zsq)|*.zsq|All files|*", wxEmptyString, false);
    if (!chosen)
        return;
    runner_.stop();
    if (gantry_.loadSeq(chosen->path))
        sequence_name->SetLabel(wxFileName(chosen->path).GetFullName());
    base_res_t::make_pending_writes_happen();
    update_texts();
}

void zaber_dialog::OnRun(wxCommandEvent&)
{
    runner_.start_run();
}

void zaber_dialog::OnStepSequence(wxCommandEvent&)
{
    wxBusyCursor busy;
    runner_.step();
    base_res_t::make_pending_writes_happen();
}

void zaber_dialog::OnReset(wxCommandEvent&)
{
    runner_.stop();
    gantry_.resetSeq();
    base_res_t::make_pending_writes_happen();
}

void zaber_dialog::OnStopRun(wxCommandEvent&)
{
    runner_.stop();
    base_res_t::make_pending_writes_happen();
}
