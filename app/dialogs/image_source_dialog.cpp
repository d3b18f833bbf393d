#include "image_source_dialog.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/log.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "acquisition/igtl_receiver.h"
#include "acquisition/rf_window.h"
#include "common/dynabuf.h"
#include "app/labelled_grid.h"
#include "resources/resource_table.h"

namespace {

// RES_VID_PORT values in the order of the input choice.
const long input_types[] = {1, 2, 4, 8};
const char* const input_names[] = {"Camera", "Composite", "S-Video", "Digital"};
const char* const standard_names[] = {"PAL", "NTSC", "PAL 4:3", "NTSC 4:3"};

}  // namespace

image_source_dialog::image_source_dialog(wxWindow* parent, std::function<void()> search_again,
                                         std::function<wxString()> network_status)
    : wxDialog(parent, wxID_ANY, "Image source"), search_again_(std::move(search_again))
{
    labelled_grid_t layout(this);
    wxFlexGridSizer* grid = layout.sizer();

    layout.label("Source:");
    auto* source_row = new wxBoxSizer(wxHORIZONTAL);
    source = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxSize(240, -1));
    auto* search = new wxButton(this, wxID_ANY, "Search again");
    source_row->Add(source, 1, wxEXPAND | wxRIGHT, 6);
    source_row->Add(search, 0);
    grid->Add(source_row, 0, wxEXPAND);
    search->Bind(wxEVT_BUTTON, &image_source_dialog::OnSearchAgain, this);

    layout.label("Simulated images:");
    wxArrayString simulations;
    simulations.Add("B-scans of the demo phantom at the tracker's pose");
    simulations.Add("Replay of the frames held now");
    simulations.Add("B-scans of a water bath's floor, for calibration");
    simulated = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, simulations);
    simulated->SetSelection(clamp_int(res->RES_SIM_IMAGE_SOURCE->value(), 0, 2));
    grid->Add(simulated, 0, wxEXPAND);

    layout.label("Simulated image lag (ms):");
    simulated_lag = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                   -500, 500, clamp_int(res->RES_SIM_IMAGE_LAG->value(), -500, 500));
    grid->Add(simulated_lag, 0);

    layout.label("OpenIGTLink server:");
    igtl_server = new wxTextCtrl(this, wxID_ANY, res->RES_IGTL_SERVER->value(), wxDefaultPosition, wxSize(240, -1));
    igtl_server->SetToolTip("host:port of the server whose IMAGE messages the \"OpenIGTLink images\" source records");
    grid->Add(igtl_server, 0, wxEXPAND);
    layout.label("");
    const wxString status = network_status ? network_status() : wxString();
    igtl_status = new wxStaticText(this, wxID_ANY, status.empty() ? wxString("Not receiving now") : status);
    grid->Add(igtl_status, 0);

    layout.label("Input:");
    auto* input_row = new wxBoxSizer(wxHORIZONTAL);
    wxArrayString types;
    int type_index = 1;
    for (std::size_t k = 0; k < std::size(input_types); ++k) {
        types.Add(input_names[k]);
        if (input_types[k] == res->RES_VID_PORT->value())
            type_index = static_cast<int>(k);
    }
    input_type = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, types);
    input_type->SetSelection(type_index);
    input_number = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0,
                                  8, clamp_int(res->RES_VID_PORT_NUMBER->value(), 0, 8));
    input_row->Add(input_type, 1, wxEXPAND | wxRIGHT, 6);
    input_row->Add(new wxStaticText(this, wxID_ANY, "number"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    input_row->Add(input_number, 0);
    grid->Add(input_row, 0, wxEXPAND);

    layout.label("Standard:");
    wxArrayString standards;
    for (const char* s : standard_names)
        standards.Add(s);
    standard = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, standards);
    standard->SetSelection(clamp_int(res->RES_VIDEO_STANDARD->value(), 0, 3));
    grid->Add(standard, 0, wxEXPAND);

    buffers = layout.spin("Driver buffers:", 2, 64, res->RES_VID_BUFFERS->value());
    group_delay = layout.spin("Group delay (ms):", 0, 2000, res->RES_VID_GROUP_DELAY->value());

    layout.label("Device frame:");
    device_size = new wxStaticText(this, wxID_ANY, wxEmptyString);
    grid->Add(device_size, 0, wxALIGN_CENTER_VERTICAL);
    window_x = layout.spin("Window left:", 0, 99999, res->RES_VID_XPOS->value());
    window_y = layout.spin("Window top:", 0, 99999, res->RES_VID_YPOS->value());
    window_width = layout.spin("Window width:", 16, 99999, res->RES_BUF_WIDTH->value());
    window_height = layout.spin("Window height:", 16, 99999, res->RES_BUF_HEIGHT->value());
    for (wxSpinCtrl* s : {window_x, window_y, window_width, window_height})
        s->Bind(wxEVT_SPINCTRL, &image_source_dialog::OnWindowChanged, this);

    layout.label("Colour flow:");
    colour_flow = new wxCheckBox(this, wxID_ANY, "Code colour flow in the frames");
    colour_flow->SetValue(res->RES_BUF_DOPPLER->value());
    grid->Add(colour_flow, 0);
    grey_threshold = layout.spin("Flow luma threshold:", 0, 255, res->RES_VID_GREY_THRESH->value());
    chroma_threshold = layout.spin("Flow chroma threshold:", 0, 255, res->RES_VID_CHROMA_THRESH->value());

    // An RF source's frames: how many vectors and samples are kept, from which.
    const rf_utility::window_t rf = current_rf_window();
    const auto rf_row = [&](const char* label, const char* from, long count, long first, int most) {
        layout.label(label);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        auto* count_spin = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                          wxSP_ARROW_KEYS, 1, most, clamp_int(count, 1, most));
        auto* first_spin = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                          wxSP_ARROW_KEYS, 0, most, clamp_int(first, 0, most));
        row->Add(count_spin, 1, wxEXPAND | wxRIGHT, 6);
        row->Add(new wxStaticText(this, wxID_ANY, from), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
        row->Add(first_spin, 1, wxEXPAND);
        grid->Add(row, 0, wxEXPAND);
        return std::pair{count_spin, first_spin};
    };
    std::tie(rf_vectors, rf_vector_offset) = rf_row("RF vectors:", "from vector", rf.vectors, rf.vector_offset, 65535);
    std::tie(rf_samples, rf_sample_offset) =
        rf_row("RF samples:", "from sample", rf.samples, rf.sample_offset, 1 << 20);

    // The frame size and colour coding belong to the frames held: they change only without frames.
    const bool holding = bufp && bufp->frames() > 0;
    for (wxWindow* w : std::initializer_list<wxWindow*>{window_width, window_height, colour_flow})
        w->Enable(!holding);
    const wxString rf_locked = rf_size_lock_reason();
    rf_vectors->Enable(rf_locked.empty());
    rf_samples->Enable(rf_locked.empty());

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 1, wxEXPAND | wxALL, 12);
    if (holding)
        top->Add(new wxStaticText(this, wxID_ANY,
                                  "The window size and colour flow are those of the frames held;\n"
                                  "start a new recording to change them."),
                 0, wxLEFT | wxRIGHT | wxBOTTOM, 12);
    rf_note = new wxStaticText(this, wxID_ANY, rf_locked);
    rf_note->Wrap(420);
    rf_note->Show(!rf_locked.empty());
    top->Add(rf_note, 0, wxLEFT | wxRIGHT | wxBOTTOM, 12);
    top->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 12);
    SetSizerAndFit(top);
    fill_sources();
}

void write_igtl_server(const wxString& typed)
{
    wxString host;
    int port = 0;
    if (!parse_igtl_address(typed, &host, &port)) {
        wxLogWarning("'%s' is not a host:port address; the OpenIGTLink server stays %s.", typed,
                     res->RES_IGTL_SERVER->value());
        return;
    }
    res->RES_IGTL_SERVER->write_no_changeprocs(wxString::Format("%s:%d", host, port));
}

void image_source_dialog::fill_sources()
{
    source->Clear();
    const auto& list = res->RES_VID_CARD_LIST->value();
    if (list)
        for (const vid_card_list_t& entry : *list)
            source->Append(entry.name);
    if (source->IsEmpty()) {
        source->Append("(no image source found)");
        source->SetSelection(0);
        source->Enable(false);
    } else {
        source->Enable(true);
        source->SetSelection(clamp_int(res->RES_VID_CARD->value(), 0, static_cast<int>(source->GetCount()) - 1));
    }
    bound_window();
}

// The window must lie within the device frame: each spin's range follows the others.
void image_source_dialog::bound_window()
{
    const int device_w = clamp_int(res->RES_MAX_VIDEO_WIDTH->value(), 16, 99999);
    const int device_h = clamp_int(res->RES_MAX_VIDEO_HEIGHT->value(), 16, 99999);
    device_size->SetLabel(wxString::Format("%d x %d pixels", device_w, device_h));
    if (window_width->IsEnabled())
        window_width->SetRange(16, std::max(16, device_w - window_x->GetValue()));
    if (window_height->IsEnabled())
        window_height->SetRange(16, std::max(16, device_h - window_y->GetValue()));
    window_x->SetRange(0, std::max(0, device_w - window_width->GetValue()));
    window_y->SetRange(0, std::max(0, device_h - window_height->GetValue()));
}

void image_source_dialog::OnWindowChanged(wxCommandEvent&)
{
    bound_window();
}

void image_source_dialog::OnSearchAgain(wxCommandEvent&)
{
    if (search_again_)
        search_again_();
    fill_sources();
}

void image_source_dialog::apply() const
{
    if (source->IsEnabled())
        res->RES_VID_CARD->write_no_changeprocs(source->GetSelection());
    res->RES_SIM_IMAGE_SOURCE->write_no_changeprocs(simulated->GetSelection());
    res->RES_SIM_IMAGE_LAG->write_no_changeprocs(simulated_lag->GetValue());
    write_igtl_server(igtl_server->GetValue());
    res->RES_VID_PORT->write_no_changeprocs(input_types[std::max(0, input_type->GetSelection())]);
    res->RES_VID_PORT_NUMBER->write_no_changeprocs(input_number->GetValue());
    res->RES_VIDEO_STANDARD->write_no_changeprocs(static_cast<video_standard_t>(std::max(0, standard->GetSelection())));
    res->RES_VID_BUFFERS->write_no_changeprocs(buffers->GetValue());
    res->RES_VID_GROUP_DELAY->write_no_changeprocs(group_delay->GetValue());
    res->RES_VID_XPOS->write_no_changeprocs(window_x->GetValue());
    res->RES_VID_YPOS->write_no_changeprocs(window_y->GetValue());
    if (window_width->IsEnabled()) {
        res->RES_BUF_WIDTH->write_no_changeprocs(window_width->GetValue());
        res->RES_BUF_HEIGHT->write_no_changeprocs(window_height->GetValue());
        res->RES_BUF_DOPPLER->write_no_changeprocs(colour_flow->GetValue());
    }
    // Locked, the size stays that of the RF frames held; the first vector and sample may still move.
    const rf_utility::window_t now = current_rf_window();
    write_rf_window({rf_vector_offset->GetValue(), rf_sample_offset->GetValue(),
                     rf_vectors->IsEnabled() ? rf_vectors->GetValue() : now.vectors,
                     rf_samples->IsEnabled() ? rf_samples->GetValue() : now.samples});
    res->RES_VID_GREY_THRESH->write_no_changeprocs(grey_threshold->GetValue());
    res->RES_VID_CHROMA_THRESH->write_no_changeprocs(chroma_threshold->GetValue());
    base_res_t::make_pending_writes_happen();
}
