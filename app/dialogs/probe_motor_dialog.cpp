#include "probe_motor_dialog.h"

#include <algorithm>
#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "common/vertex_math.h"
#include "devices/flapping.h"
#include "resources/resource_table.h"
#include "serial_ports.h"

wxString frame_spacing_text(long range_degrees, long frames, const flap::sweep_geometry_t& geometry)
{
    if (frames < 2 || range_degrees <= 0)
        return "Mean frame spacing: set a range above 0 and at least 2 frames";
    // One frame step in motor counts, the sweep's ends limited as the motor limits them.
    const double end = flap::end_counts(range_degrees);
    const double step = 2.0 * end / static_cast<double>(frames - 1);
    const double degrees = step * flap::degrees_per_count;
    // The distance the middle of the image moves in one step.
    matrix16d w;
    const double middle_y = 0.5 * static_cast<double>(res->RES_BUF_HEIGHT->value()) * res->RES_YSCALE->value();
    const vertex3d middle{0.5 * static_cast<double>(res->RES_BUF_WIDTH->value()) * res->RES_XSCALE->value(), middle_y,
                          0.0};
    double mm = 0.0;
    if (flap::sweep_transform(step, -1, geometry, &w))
        mm = 10.0 * length(w * middle - middle);
    return wxString::Format("Mean frame spacing is %.3f mm, %.3f degrees", mm, degrees);
}

probe_motor_dialog::probe_motor_dialog(wxWindow* parent, flapping& motor)
    : wxDialog(parent, wxID_ANY, "Probe motor control"), motor_(motor)
{
    auto* grid = new wxFlexGridSizer(2, wxSize(12, 6));
    auto label = [&](const char* text) {
        grid->Add(new wxStaticText(this, wxID_ANY, text), 0, wxALIGN_CENTER_VERTICAL);
    };
    auto spin = [&](const char* text, int low, int high, long value) {
        label(text);
        auto* s = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, low,
                                 high, static_cast<int>(std::clamp<long>(value, low, high)));
        grid->Add(s, 0, wxEXPAND);
        return s;
    };

    label("Serial port:");
    port = new wxComboBox(this, wxID_ANY, res->RES_FLAP_PORT->value(), wxDefaultPosition, wxSize(220, -1),
                          serial_port_names());
    grid->Add(port, 0, wxEXPAND);
    label("Controller:");
    wxArrayString kinds;
    kinds.Add("None");
    kinds.Add("Swept-probe motor controller (28800 bps)");
    kind = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, kinds);
    const long k = res->RES_FLAP_TYPE->value();
    kind->SetSelection(k == 0 || k == 1 ? static_cast<int>(k) : wxNOT_FOUND);  // another kind stays as it is
    grid->Add(kind, 0, wxEXPAND);
    // The motor limits a range beyond 29.44 degrees to its ±14.72.
    range = spin("Sweep range (degrees):", 1, 90, res->RES_FLAP_RANGE->value());
    steps = spin("Frames per sweep:", 2, 2000, res->RES_FLAP_STEPS->value());
    volumes = spin("Sweeps per acquisition:", 1, 1000, res->RES_FLAP_VOLUMES->value());
    label("Acquisition mode:");
    wxArrayString modes;
    for (const char* m : {"Mode 0", "Mode 1", "Mode 2 (sweeps)", "Mode 3 (volumes, frames counted per sweep)"})
        modes.Add(m);
    mode = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, modes);
    mode->SetSelection(static_cast<int>(std::clamp<long>(res->RES_FLAP_MODE->value(), 0, 3)));
    grid->Add(mode, 0, wxEXPAND);

    spacing = new wxStaticText(this, wxID_ANY, "");
    state = new wxStaticText(this, wxID_ANY, "");
    initialise = new wxButton(this, wxID_ANY, "Initialise");
    auto* moves = new wxBoxSizer(wxHORIZONTAL);
    left = new wxButton(this, wxID_ANY, "<< Left end");
    step_left = new wxButton(this, wxID_ANY, "< Step");
    centre = new wxButton(this, wxID_ANY, "Centre");
    step_right = new wxButton(this, wxID_ANY, "Step >");
    right = new wxButton(this, wxID_ANY, "Right end >>");
    const std::pair<wxButton*, flap_move_t> buttons[] = {{left, flap_move_t::left},
                                                         {step_left, flap_move_t::step_left},
                                                         {centre, flap_move_t::centre},
                                                         {step_right, flap_move_t::step_right},
                                                         {right, flap_move_t::right}};
    for (const auto& [button, move] : buttons) {
        moves->Add(button, 0, wxRIGHT, 4);
        button->Bind(wxEVT_BUTTON, [this, move = move](wxCommandEvent&) {
            wxBusyCursor busy;
            apply();  // the range and frames the moves use
            flap_move(motor_, move);
            update_texts();
        });
    }
    initialise->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        apply();
        motor_.find_centre(true);  // failures are logged
        update_texts();
    });
    for (wxSpinCtrl* s : {range, steps})
        s->Bind(wxEVT_SPINCTRL, [this](wxSpinEvent&) { update_texts(); });

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 10);
    column->Add(spacing, 0, wxLEFT | wxRIGHT, 10);
    column->Add(initialise, 0, wxALL, 10);
    column->Add(moves, 0, wxLEFT | wxRIGHT, 10);
    column->Add(state, 0, wxALL, 10);
    column->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(column);
    update_texts();
}

void probe_motor_dialog::update_texts()
{
    spacing->SetLabel(frame_spacing_text(range->GetValue(), steps->GetValue(), motor_.geometry()));
    if (!motor_.initialised())
        state->SetLabel("The motor is not initialised.");
    else
        state->SetLabel(wxString::Format("Motor at %ld counts%s", motor_.get_step(),
                                         motor_.at_left()     ? " (left end)"
                                         : motor_.at_right()  ? " (right end)"
                                         : motor_.at_centre() ? " (centre)"
                                                              : ""));
    Layout();
    Fit();
}

void probe_motor_dialog::apply() const
{
    res->RES_FLAP_PORT->write_no_changeprocs(port->GetValue().Strip(wxString::both));
    if (kind->GetSelection() != wxNOT_FOUND)
        res->RES_FLAP_TYPE->write_no_changeprocs(kind->GetSelection());
    res->RES_FLAP_RANGE->write_no_changeprocs(range->GetValue());
    res->RES_FLAP_STEPS->write_no_changeprocs(steps->GetValue());
    res->RES_FLAP_VOLUMES->write_no_changeprocs(volumes->GetValue());
    res->RES_FLAP_MODE->write_no_changeprocs(std::max(0, mode->GetSelection()));
    base_res_t::make_pending_writes_happen();
}
