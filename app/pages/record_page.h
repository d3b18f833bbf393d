// The Record task page: how frames are recorded (the video-rate mode, the
// gating threshold, positions or not, position correction), how fast the live
// image is redrawn, the frame count, and the sweep buttons. Its controls
// follow the resources; recording itself is switched by the toolbar's Record tool.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "acquisition/gate_signal.h"
#include "common/functor.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;

class record_page : public wxScrolledWindow {
public:
    explicit record_page(wxWindow* parent);
    ~record_page() override;

    // The controls set from the resources, enabled by what is held and running.
    void RecordChanged();
    // The frame count and sweeps, as recording goes on.
    void show_count();
    // The gating signal that just sounded, in words and its tones.
    void show_signal(gate_signal_kind_t kind);

    void OnVideoRate(wxCommandEvent&);
    void OnVidMoveThresh(wxCommandEvent&);
    void OnDisplayRate(wxCommandEvent&);
    void OnPosRec(wxCommandEvent&);
    void OnAutoCorrect(wxCommandEvent&);

    wxChoice* video_rate = nullptr;
    wxSpinCtrl* move_thresh = nullptr;
    wxChoice* display_rate = nullptr;
    wxCheckBox* pos_rec = nullptr;
    wxCheckBox* auto_correct = nullptr;
    wxButton* finish_sweep = nullptr;
    wxButton* clear = nullptr;
    wxStaticText* count = nullptr;
    wxStaticText* signal = nullptr;

private:
    bool refreshing_ = false;  // controls being set from the resources: their events write nothing
    std::unique_ptr<pmf_functor<record_page>> changed_;
};

// What a gating signal tells the operator, with its tones low or high.
wxString gate_signal_text(gate_signal_kind_t kind);

// RES_VID_RATE of each entry of the video-rate choice, and back; -1 for a value it does not offer.
long video_rate_of_choice(int index);
int choice_of_video_rate(long rate);
// RES_DISPLAY_RATE of each entry of the display-rate choice (0: every frame), and back.
long display_rate_of_choice(int index);
int choice_of_display_rate(long rate);
