#include "position_source_dialog.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "acquisition/igtl_messages.h"
#include "resources/resource_table.h"
#include "image_source_dialog.h"
#include "serial_ports.h"

namespace {

const long line_speeds[] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 921600, 1228739};
const char* const tracker_kinds[] = {"Automatic detection", "Polhemus Fastrak",  "Polhemus Liberty/Patriot",
                                     "Ascension Flock of Birds", "Ascension MiniBird", "Ascension LaserBird",
                                     "NDI Polaris",           "OptiTrack",          "Ascension trakSTAR",
                                     "OpenIGTLink server"};
const char* const tools[] = {"None",         "Tool 1",       "Tool 2",       "Tool 3",       "Tool 1 re tool 2",
                             "Tool 1 re tool 3", "Tool 2 re tool 1", "Tool 2 re tool 3", "Tool 3 re tool 1",
                             "Tool 3 re tool 2", "Tool 4",       "Tool 5",       "Tool 6",       "Tool 7",
                             "Tool 8",       "Tool 9",       "Tool 10"};
// Pointer codes: no relative tools.
const int pointer_codes[] = {0, 1, 2, 3, 10, 11, 12, 13, 14, 15, 16};


wxArrayString items(std::initializer_list<const char*> texts)
{
    wxArrayString a;
    for (const char* t : texts)
        a.Add(t);
    return a;
}

template <std::size_t N>
wxArrayString items(const char* const (&texts)[N])
{
    wxArrayString a;
    for (const char* t : texts)
        a.Add(t);
    return a;
}

int clamp_index(std::int64_t v, int count)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, count - 1));
}

}  // namespace

position_source_dialog::position_source_dialog(wxWindow* parent, std::function<wxString()> status_report,
                                               std::function<wxImage()> status_image)
    : wxDialog(parent, wxID_ANY, "Position source"),
      status_report_(std::move(status_report)),
      status_image_(std::move(status_image))
{
    auto* grid = new wxFlexGridSizer(2, wxSize(12, 6));
    auto label = [&](const char* text) {
        grid->Add(new wxStaticText(this, wxID_ANY, text), 0, wxALIGN_CENTER_VERTICAL);
    };
    auto choice = [&](const char* text, const wxArrayString& items, int selected) {
        label(text);
        auto* c = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, items);
        c->SetSelection(selected);
        grid->Add(c, 0, wxEXPAND);
        return c;
    };
    auto spin = [&](const char* text, int low, int high, std::int64_t value) {
        label(text);
        auto* s = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, low,
                                 high, static_cast<int>(std::clamp<std::int64_t>(value, low, high)));
        grid->Add(s, 0, wxEXPAND);
        return s;
    };

    detect = choice("Tracker:", items(tracker_kinds), clamp_index(res->RES_POS_DETECT->value(), std::size(tracker_kinds)));

    label("Serial port:");
    port = new wxComboBox(this, wxID_ANY, res->RES_SERIAL_PORT->value(), wxDefaultPosition, wxSize(220, -1),
                          serial_port_names());
    grid->Add(port, 0, wxEXPAND);

    wxArrayString speeds;
    int speed_index = 6;
    for (const long s : line_speeds) {
        if (s == res->RES_SERIAL_SPEED->value())
            speed_index = static_cast<int>(speeds.size());
        speeds.Add(wxString::Format("%ld", s));
    }
    speed = choice("Line speed (bps):", speeds, speed_index);

    label("OpenIGTLink server:");
    igtl_server = new wxTextCtrl(this, wxID_ANY, res->RES_IGTL_SERVER->value());
    grid->Add(igtl_server, 0, wxEXPAND);
    label("Probe transform:");
    igtl_probe = new wxTextCtrl(this, wxID_ANY, res->RES_IGTL_PROBE->value());
    igtl_probe->SetToolTip("Name of the server's TRANSFORM messages that give the probe's pose");
    grid->Add(igtl_probe, 0, wxEXPAND);
    // The serial settings mean nothing for a network server, and the server's nothing for a serial tracker.
    const auto enable_kind = [this] {
        const bool network = detect->GetSelection() == POS_DETECT_OPENIGTLINK;
        for (wxWindow* w : std::initializer_list<wxWindow*>{port, speed})
            w->Enable(!network);
        for (wxWindow* w : std::initializer_list<wxWindow*>{igtl_server, igtl_probe})
            w->Enable(network);
    };
    detect->Bind(wxEVT_CHOICE, [enable_kind](wxCommandEvent&) { enable_kind(); });
    enable_kind();

    probe_tool = choice("Probe tool:", items(tools), clamp_index(res->RES_POLARIS_PORT->value(), std::size(tools)));
    wxArrayString pointer_names;
    int pointer_index = 0;
    for (const int code : pointer_codes) {
        if (code == res->RES_POLARIS_POINTER->value())
            pointer_index = static_cast<int>(pointer_names.size());
        pointer_names.Add(tools[code]);
    }
    pointer_tool = choice("Pointer tool:", pointer_names, pointer_index);
    latency = spin("Tracker latency (ms):", -10000, 10000, res->RES_TEMP_CALIB->value());

    auto* manual_grid = new wxFlexGridSizer(2, wxSize(12, 6));
    std::swap(grid, manual_grid);
    manual = new wxCheckBox(this, wxID_ANY, "Use manual positions instead of a tracker");
    manual->SetValue(res->RES_POS_MANUAL->value());
    manual_translation = choice("Translation:", items({"None", "Along z", "Along x", "Along y"}),
                                clamp_index(res->RES_POS_MANUAL_TRAN->value(), 4));
    manual_span = spin("Translation span (mm):", -10000, 10000, res->RES_POS_MANUAL_SPAN->value());
    manual_rotation = choice("Rotation:",
                             items({"None", "Roll about x", "Elevation about y", "Azimuth about z"}),
                             clamp_index(res->RES_POS_MANUAL_ROT->value(), 4));
    manual_angle = spin("Rotation angle (degrees):", -360, 360, res->RES_POS_MANUAL_ANGLE->value());
    manual_radius = spin("Rotation radius (mm):", -10000, 10000, res->RES_POS_MANUAL_RADIUS->value());
    std::swap(grid, manual_grid);

    // The motion settings matter only while manual positions are chosen.
    const auto enable_manual = [this] {
        for (wxWindow* w : std::initializer_list<wxWindow*>{manual_translation, manual_span, manual_rotation,
                                                            manual_angle, manual_radius})
            w->Enable(manual->GetValue());
    };
    manual->Bind(wxEVT_CHECKBOX, [enable_manual](wxCommandEvent&) { enable_manual(); });
    enable_manual();

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* reprobe = new wxButton(this, wxID_ANY, "Search again");
    auto* status = new wxButton(this, wxID_ANY, "Status ...");
    reprobe->Bind(wxEVT_BUTTON, &position_source_dialog::OnReprobe, this);
    status->Bind(wxEVT_BUTTON, &position_source_dialog::OnStatus, this);
    buttons->Add(reprobe, 0, wxRIGHT, 8);
    buttons->Add(status);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 10);
    column->Add(buttons, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    column->Add(manual, 0, wxLEFT | wxRIGHT | wxTOP, 10);
    column->Add(manual_grid, 0, wxALL, 10);
    column->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(column);
}

void position_source_dialog::apply() const
{
    long chosen_speed = 38400;
    speed->GetStringSelection().ToLong(&chosen_speed);
    const int pointer_index = pointer_tool->GetSelection();
    // Written together so that one change pass re-probes once.
    res->RES_SERIAL_PORT->write_no_changeprocs(port->GetValue().Trim(true).Trim(false));
    res->RES_SERIAL_SPEED->write_no_changeprocs(chosen_speed);
    res->RES_POS_DETECT->write_no_changeprocs(static_cast<pos_detect_t>(std::max(0, detect->GetSelection())));
    res->RES_POLARIS_PORT->write_no_changeprocs(static_cast<polaris_port_t>(std::max(0, probe_tool->GetSelection())));
    res->RES_POLARIS_POINTER->write_no_changeprocs(
        static_cast<polaris_port_t>(pointer_codes[std::max(0, pointer_index)]));
    res->RES_TEMP_CALIB->write_no_changeprocs(latency->GetValue());
    write_igtl_server(igtl_server->GetValue());
    const wxString probe_name = wxString(igtl_probe->GetValue()).Trim(true).Trim(false);
    res->RES_IGTL_PROBE->write_no_changeprocs(probe_name.empty() ? wxString(igtl_probe_device) : probe_name);
    res->RES_POS_MANUAL_TRAN->write_no_changeprocs(std::max(0, manual_translation->GetSelection()));
    res->RES_POS_MANUAL_SPAN->write_no_changeprocs(manual_span->GetValue());
    res->RES_POS_MANUAL_ROT->write_no_changeprocs(std::max(0, manual_rotation->GetSelection()));
    res->RES_POS_MANUAL_ANGLE->write_no_changeprocs(manual_angle->GetValue());
    res->RES_POS_MANUAL_RADIUS->write_no_changeprocs(manual_radius->GetValue());
    // Manual positions need a motion to describe.
    const bool moves = manual_translation->GetSelection() > 0 || manual_rotation->GetSelection() > 0;
    res->RES_POS_MANUAL->write_no_changeprocs(manual->GetValue() && moves);
    base_res_t::make_pending_writes_happen();
}

void position_source_dialog::OnReprobe(wxCommandEvent&)
{
    wxBusyCursor busy;
    apply();
    res->RES_POS_REPROBE->write();
}

void position_source_dialog::OnStatus(wxCommandEvent&)
{
    wxString report;
    wxImage image;
    {
        wxBusyCursor busy;
        report = status_report_ ? status_report_() : wxString("No position sensor available.");
        if (status_report_ && status_image_)
            image = status_image_();
    }
    show_position_status(this, report, image);
}

void show_position_status(wxWindow* parent, const wxString& report, const wxImage& image)
{
    constexpr int fit_width = 520;
    wxDialog window(parent, wxID_ANY, "Position sensor status", wxDefaultPosition,
                    wxSize(560, image.IsOk() ? 800 : 480), wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* text = new wxTextCtrl(&window, wxID_ANY, report, wxDefaultPosition, wxDefaultSize,
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    text->SetFont(wxFont(wxFontInfo(10).Family(wxFONTFAMILY_TELETYPE)));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(text, 1, wxEXPAND | wxALL, 8);
    if (image.IsOk()) {
        // Small images grow by a whole factor so that pixels stay sharp; large ones shrink to the width.
        const int w = image.GetWidth(), h = image.GetHeight();
        wxImage shown = image;
        if (w > fit_width)
            shown = image.Scale(fit_width, std::max(1, h * fit_width / w), wxIMAGE_QUALITY_BOX_AVERAGE);
        else if (const int factor = fit_width / w; factor > 1)
            shown = image.Scale(w * factor, h * factor, wxIMAGE_QUALITY_NEAREST);
        auto* pane = new wxScrolledWindow(&window, wxID_ANY, wxDefaultPosition,
                                          wxSize(-1, std::min(shown.GetHeight(), 400)));
        auto* bitmap = new wxStaticBitmap(pane, wxID_ANY, wxBitmap(shown));
        auto* inside = new wxBoxSizer(wxVERTICAL);
        inside->Add(bitmap);
        pane->SetSizer(inside);
        pane->SetScrollRate(8, 8);
        pane->FitInside();
        column->Add(pane, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    }
    column->Add(window.CreateButtonSizer(wxOK), 0, wxALL | wxALIGN_RIGHT, 8);
    window.SetSizer(column);
    window.ShowModal();
}
