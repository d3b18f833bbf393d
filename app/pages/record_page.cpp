#include "record_page.h"

#include <iterator>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "acquisition/live_pos.h"
#include "common/dynabuf.h"
#include "main_frame.h"
#include "page_controls.h"
#include "resources/resource_table.h"

namespace {

struct rate_entry_t {
    const char* label;
    long value;
};

const rate_entry_t video_rates[] = {
    {"Full speed", RATE_FULL_SPEED}, {"Gated", RATE_GATED},     {"Multiple gated", RATE_MULTIPLE_GATED},
    {"Buffered", RATE_BUFFERED},     {"Single shot", RATE_SINGLE_SHOT},
    {" 5 fps", 5},                   {"10 fps", 10},            {"15 fps", 15},
    {"20 fps", 20},                  {"25 fps", 25},
};

// The first entry lifts the limit, which is the resource's default.
const rate_entry_t display_rates[] = {
    {"Every frame", 0}, {" 5 Hz", 5}, {"10 Hz", 10}, {"15 Hz", 15}, {"20 Hz", 20}, {"25 Hz", 25},
};

template <std::size_t N>
int index_of(const rate_entry_t (&table)[N], long value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (table[i].value == value)
            return static_cast<int>(i);
    return wxNOT_FOUND;
}

template <std::size_t N>
wxArrayString labels_of(const rate_entry_t (&table)[N])
{
    wxArrayString labels;
    for (const rate_entry_t& e : table)
        labels.Add(e.label);
    return labels;
}

void show_status(wxWindow* page, const wxString& text)
{
    auto* frame = wxDynamicCast(wxGetTopLevelParent(page), wxFrame);
    if (frame && frame->GetStatusBar())
        frame->SetStatusText(text, 0);
}

}  // namespace

long video_rate_of_choice(int index)
{
    return index >= 0 && index < static_cast<int>(std::size(video_rates)) ? video_rates[index].value : -1;
}

int choice_of_video_rate(long rate)
{
    return index_of(video_rates, rate);
}

long display_rate_of_choice(int index)
{
    return index >= 0 && index < static_cast<int>(std::size(display_rates)) ? display_rates[index].value : 0;
}

int choice_of_display_rate(long rate)
{
    return index_of(display_rates, rate);
}

record_page::record_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, 4, 6);
    grid->Add(new wxStaticText(this, wxID_ANY, "Video rate:"), 0, wxALIGN_CENTER_VERTICAL);
    video_rate = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, labels_of(video_rates));
    grid->Add(video_rate, 0, wxEXPAND);
    grid->Add(new wxStaticText(this, wxID_ANY, "Gating threshold:\nin tenths of a mm"), 0, wxALIGN_CENTER_VERTICAL);
    move_thresh = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 100, 3);
    grid->Add(move_thresh, 0, wxEXPAND);
    grid->Add(new wxStaticText(this, wxID_ANY, "Display rate:"), 0, wxALIGN_CENTER_VERTICAL);
    display_rate = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, labels_of(display_rates));
    grid->Add(display_rate, 0, wxEXPAND);
    sizer->Add(grid, 0, wxALL, 4);
    pos_rec = new wxCheckBox(this, wxID_ANY, "Record positions");
    sizer->Add(pos_rec, 0, wxALL, 4);
    auto_correct = new wxCheckBox(this, wxID_ANY, "Auto-correct positions");
    sizer->Add(auto_correct, 0, wxALL, 4);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    finish_sweep = new wxButton(this, wxID_ANY, "Finish sweep");
    clear = new wxButton(this, wxID_ANY, "Clear");
    buttons->Add(finish_sweep, 0, wxRIGHT, 4);
    buttons->Add(clear, 0);
    sizer->Add(buttons, 0, wxALL, 4);
    count = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(count, 0, wxALL, 4);
    signal = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(signal, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);

    video_rate->Bind(wxEVT_CHOICE, &record_page::OnVideoRate, this);
    move_thresh->Bind(wxEVT_SPINCTRL, &record_page::OnVidMoveThresh, this);
    display_rate->Bind(wxEVT_CHOICE, &record_page::OnDisplayRate, this);
    pos_rec->Bind(wxEVT_CHECKBOX, &record_page::OnPosRec, this);
    auto_correct->Bind(wxEVT_CHECKBOX, &record_page::OnAutoCorrect, this);
    finish_sweep->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        if (main_win)
            main_win->FinishSweep();
    });
    clear->Bind(wxEVT_BUTTON, [](wxCommandEvent& e) {
        if (main_win)
            main_win->OnClearRecord(e);
    });

    changed_ = std::make_unique<pmf_functor<record_page>>(this, &record_page::RecordChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_VID_RATE, res->RES_VID_MOVE_THRESH, res->RES_DISPLAY_RATE, res->RES_POS_REC,
             res->RES_AUTO_CORRECT_POS, res->RES_DISABLE_RECORDING, res->RES_RECORDING_NOW, res->RES_BUF_FRAMES,
             res->RES_SWEEPS})
        r->add_proc(changed_.get());
    RecordChanged();
}

record_page::~record_page() = default;

void record_page::RecordChanged()
{
    refreshing_ = true;
    const long rate = res->RES_VID_RATE->value();
    video_rate->SetSelection(choice_of_video_rate(rate));
    move_thresh->SetValue(static_cast<int>(res->RES_VID_MOVE_THRESH->value() * 100.0 + 0.5));
    display_rate->SetSelection(choice_of_display_rate(res->RES_DISPLAY_RATE->value()));
    pos_rec->SetValue(res->RES_POS_REC->value());
    auto_correct->SetValue(res->RES_AUTO_CORRECT_POS->value());
    refreshing_ = false;

    // Frames of a loaded recording are not recorded into; the settings that
    // shape frames already held stay as they were made.
    const bool allowed = !res->RES_DISABLE_RECORDING->value();
    const bool recording = res->RES_RECORDING_NOW->value();
    const bool held = bufp->frames() > 0;
    video_rate->Enable(allowed && !recording);
    move_thresh->Enable(allowed && (rate == RATE_GATED || rate == RATE_MULTIPLE_GATED));
    display_rate->Enable(allowed);
    pos_rec->Enable(allowed && !recording && !held);
    auto_correct->Enable(allowed && !recording && res->RES_POS_REC->value());
    finish_sweep->Enable(allowed && recording && res->RES_POS_REC->value());
    clear->Enable(allowed && (held || recording));
    show_count();
}

void record_page::show_count()
{
    const long frames = bufp->frames();
    long sweeps = 0;
    if (const auto& s = res->RES_SWEEPS->value())
        sweeps = static_cast<long>(s->first_frames.size());
    const wxString text = res->RES_DISABLE_RECORDING->value()
                              ? wxString::Format("%li frames held from a recording read from file.", frames)
                              : wxString::Format("%li frames recorded in %li sweeps.", frames, sweeps);
    if (count->GetLabel() != text)
        count->SetLabel(text);
}

void record_page::OnVideoRate(wxCommandEvent&)
{
    if (refreshing_)
        return;
    const long rate = video_rate_of_choice(video_rate->GetSelection());
    if (choice_of_video_rate(rate) != wxNOT_FOUND)
        res->RES_VID_RATE->write(rate);
}

void record_page::OnVidMoveThresh(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_VID_MOVE_THRESH->write(move_thresh->GetValue() / 100.0);
}

void record_page::OnDisplayRate(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_DISPLAY_RATE->write(display_rate_of_choice(display_rate->GetSelection()));
}

void record_page::OnPosRec(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_POS_REC->write(pos_rec->GetValue());
}

void record_page::OnAutoCorrect(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_AUTO_CORRECT_POS->write(auto_correct->GetValue());
    if (auto_correct->GetValue())
        show_status(this, "Positions are recorded as measured: correction from the images arrives in a later version.");
}

wxString gate_signal_text(gate_signal_kind_t kind)
{
    wxString tones;
    for (const tone_t& t : gate_signal_tones(kind))
        tones << (tones.empty() ? "" : ", ") << (t.hz >= 512 ? "high" : t.hz >= 256 ? "low" : "deep");
    switch (kind) {
    case GATE_SIGNAL_STILL:
        return "Held still: move the probe to record a sweep (" + tones + ")";
    case GATE_SIGNAL_CLOSED:
        return "Held still again: the sweep has ended (" + tones + ")";
    default:
        return "Moved too fast: the sweep was cleared (" + tones + ")";
    }
}

void record_page::show_signal(gate_signal_kind_t kind)
{
    signal->SetLabel(gate_signal_text(kind));
    Layout();
}
