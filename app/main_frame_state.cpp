// The main window's reactions: enabling by state, the frame slider, play-back,
// the rate label, the configuration lock, layouts, help and closing.
#include <wx/aboutdlg.h>
#include <wx/busyinfo.h>
#include <wx/colordlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/slider.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>

#include "common/interaction.h"
#include "acquisition/ks_video_capture.h"
#include "acquisition/posinfo.h"
#include "dialogs/options_dialog.h"
#include "dialogs/image_source_dialog.h"
#include "dialogs/position_source_dialog.h"
#include "help_book.h"
#include "common/timestamp.h"
#include "ids.h"
#include "main_frame.h"
#include "main_window.h"
#include "resources/recording_file.h"
#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "pages/reslice_pages.h"
#include "views/reslice_canvas.h"
#include "views/review_canvas.h"
#include "views/view3d_canvas.h"

namespace {
// Task pages 1 to 5 configure the system and are locked in protected mode.
constexpr int first_protected_page = 1, last_protected_page = 5;
const int protected_items[] = {ID_FILE_SAVEAS_TEMPLATE, ID_TASK_RECORD, ID_TASK_CALIBRATE, ID_TASK_POINT_CAL,
                               ID_TASK_ISOCENTRE, ID_TASK_POINTER, ID_GUI_PASSWORD};
}  // namespace

bool MainFrame::playing() const
{
    return toolbar_ && toolbar_->GetToolState(ID_TOOL_PLAY);
}

void MainFrame::main_frame_changed()
{
    const long frames = static_cast<long>(res->RES_BUF_FRAMES->value());
    const bool recording = res->RES_RECORDING_NOW->value();
    wxMenuBar* bar = GetMenuBar();
    {
        const bool empty = frames == 0 && !recording, saveable = frames > 0 && !recording;
        for (int id : {ID_FILE_OPEN, ID_FILE_OPEN_DIR, ID_FILE_OPEN_TEMPLATE})
            bar->Enable(id, empty);
        for (int id : {ID_FILE_SAVE, ID_FILE_SAVEAS, ID_FILE_CLOSE, ID_FILE_COMMENT})
            bar->Enable(id, saveable);
        // While recording the frame count is not published frame by frame.
        toolbar_->EnableTool(ID_TOOL_CLEAR, frames > 0 || recording);
        toolbar_->EnableTool(ID_TOOL_PLAY, saveable);
        toolbar_->EnableTool(ID_TOOL_RECORD, !res->RES_DISABLE_RECORDING->value());
        // The recorder stops by itself after a single shot or when memory runs out.
        if (toolbar_->GetToolState(ID_TOOL_RECORD) != recording)
            toolbar_->ToggleTool(ID_TOOL_RECORD, recording);
    }
    {
        const bool exportable = frames > 0 && !recording;
        const long per_volume = static_cast<long>(res->RES_FRAMES_IN_VOL->value());
        bar->Enable(ID_FILE_EXPORT_FRAMES, exportable);
        bar->Enable(ID_FILE_EXPORT_VOLUMES,
                    exportable && ((per_volume > 1 && frames / per_volume > 2) || res->RES_FLAP_PAIREDSCAN->value() > 1));
        bar->Enable(ID_FILE_EXPORT_VOXELS, exportable && res->RES_POS_REC->value() &&
                                               res->RES_CURRENT_VISUAL_PAGE->value() != 0);
        bar->Enable(ID_FILE_GRAB_CENTRE, lower_centre_->shown() != nullptr);
        bar->Enable(ID_FILE_GRAB_RIGHT, lower_right_->shown() != nullptr);
    }
    if (res->RES_ALERT_STRING->changed() || res->RES_ALERT_COLOUR->changed()) {
        // The status bar has one text colour: warnings and errors tint it while they stand.
        static const wxColour colours[] = {wxNullColour, wxColour(176, 96, 0), wxColour(200, 0, 0)};
        const int colour = std::clamp<int>(res->RES_ALERT_COLOUR->value(), 0, 2);
        if (wxStatusBar* status = GetStatusBar())
            status->SetForegroundColour(colours[colour]);
        SetStatusText(res->RES_ALERT_STRING->value(), 1);
    }
    {
        const auto& cards = res->RES_VID_CARD_LIST->value();
        toolbar_->EnableTool(ID_TOOL_LIVE, (cards && !cards->empty()) || res->RES_POINTER_SOURCE->value() != 0);
    }
    if (res->RES_ASCII_FILENAME->changed())
        show_data_path();
    if (res->RES_BUF_FRAMES->changed())
        reslices_->placed = {};  // new data: planes start afresh
    if (res->RES_BUF_FRAMES->changed() || res->RES_CURRENT_VISUAL_PAGE->changed())
        show_reslices();
    if (res->RES_BUF_FRAMES->changed()) {
        if (res->RES_BUF_CURRENT_FRAME->value() >= frames) {
            res->RES_BUF_CURRENT_FRAME->write(frames > 0 ? frames - 1 : 0);
        }
        slider_->Enable(frames > 0);
        slider_->SetRange(0, std::max(1L, frames - 1));
        show_info(UpdateMainInfoLab(-1, frames));
        // The count the reader announced in the message field would outlive its data.
        SetStatusText(wxString::Format("%li frames recorded.", frames), 0);
    }
    if (slider_->GetValue() != res->RES_BUF_CURRENT_FRAME->value())
        slider_->SetValue(static_cast<int>(res->RES_BUF_CURRENT_FRAME->value()));
    const wxString where = frame_position_text(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()), frames);
    if (GetStatusBar()->GetStatusText(3) != where)
        SetStatusText(where, 3);

    // Play-back: one step per idle tick at most, when the next frame is due.
    if (res->RES_IDLE_EVENT->changed() && playing() && !res->RES_BUF_CURRENT_FRAME->changed()) {
        const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
        if (current + 1 < bufp->frames()) {
            const std::uint64_t next_time = bufp->timestamp(current + 1);
            if (playback_.next_due(master_clock->hundred_ns_time(), next_time)) {
                res->RES_VIDEO_RATE_COUNT_EVENT->write(next_time);
                res->RES_BUF_CURRENT_FRAME->write(current + 1);
            }
        } else {
            stop_playback();
        }
    }
}

void MainFrame::show_reslices()
{
    const long page = static_cast<long>(res->RES_CURRENT_VISUAL_PAGE->value());
    const bool data = bufp->frames() > 0 && res->RES_POS_REC->value();
    reslice_internals* centre = nullptr;
    reslice_internals* right = nullptr;
    // The pressure page shows the orthogonal reslices too: one runs along the sweep.
    if (data && (page == 1 || page == 5)) {
        for (int w : {1, 2})
            if (!reslices_->placed[static_cast<std::size_t>(w)])
                reslices_->place(w);
        centre = &reslices_->reslices[1];
        right = &reslices_->reslices[2];
    } else if (data && page == 2) {
        if (!reslices_->placed[0])
            reslices_->place(0);
        centre = &reslices_->reslices[0];
    } else if (data && page == 3) {
        if (!reslices_->placed[isocentre_reslice_window])
            reslices_->place(isocentre_reslice_window);
        centre = &reslices_->reslices[isocentre_reslice_window];
    }
    const auto overlays = [this](const reslice_internals* r) {
        return r ? &reslices_->overlays[static_cast<std::size_t>(r->window())] : nullptr;
    };
    lower_centre_->show(centre, overlays(centre));
    lower_right_->show(right, overlays(right));
    std::vector<const reslice_internals*> planes;
    for (const reslice_internals* r : {centre, right})
        if (r)
            planes.push_back(r);
    view3d_->set_planes(planes);
    GetMenuBar()->Enable(ID_FILE_GRAB_CENTRE, centre != nullptr);
    GetMenuBar()->Enable(ID_FILE_GRAB_RIGHT, right != nullptr);
}

void MainFrame::stop_playback()
{
    toolbar_->ToggleTool(ID_TOOL_PLAY, false);
    res->RES_IDLE_EVENT->remove_worry(changed_proc_.get());
}

void MainFrame::OnPlay(wxCommandEvent&)
{
    if (!playing()) {
        stop_playback();
        return;
    }
    const long frames = bufp->frames();
    if (frames < 2) {
        toolbar_->ToggleTool(ID_TOOL_PLAY, false);
        return;
    }
    if (res->RES_BUF_CURRENT_FRAME->value() >= frames - 1)
        res->RES_BUF_CURRENT_FRAME->write(0);
    playback_.start(master_clock->hundred_ns_time(),
                    bufp->timestamp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value())));
    res->RES_IDLE_EVENT->add_proc(changed_proc_.get());
}

void MainFrame::VideoRateCounter()
{
    const std::uint64_t latest = res->RES_VIDEO_RATE_COUNT_EVENT->value();
    if (rate_count_ == 0)
        rate_first_time_ = latest;
    const wxDateTime now = wxDateTime::UNow();
    if (!rate_next_report_.IsValid() || now < rate_next_report_) {
        if (!rate_next_report_.IsValid())
            rate_next_report_ = now + rate_interval_;
        ++rate_count_;
        return;
    }
    rate_next_report_ += rate_interval_;
    if (const auto rate = frame_rate(rate_count_, rate_first_time_, latest))
        show_info(UpdateMainInfoLab(*rate, bufp->frames()));
    rate_count_ = 1;
    rate_first_time_ = latest;
}

wxString MainFrame::UpdateMainInfoLab(double frames_per_second, long frames)
{
    return info_.update(frames_per_second, frames);
}

void MainFrame::show_info(const wxString& text)
{
    if (info_label_->GetLabel() == text)
        return;
    info_label_->SetLabel(text);
    data_panel_->Layout();  // a longer text takes room from the slider rather than being cut off
}

void MainFrame::OnToggleLive(wxCommandEvent&)
{
    const bool on = toolbar_->GetToolState(ID_TOOL_LIVE);
    res->RES_TOGGLE_LIVE->write(on);
    if (!on) {
        show_info(UpdateMainInfoLab(0, bufp->frames()));
    } else {
        rate_count_ = 0;
        rate_next_report_ = wxDateTime::UNow() + rate_interval_;
    }
}

void MainFrame::OnFrameSlider(wxCommandEvent&)
{
    // Dropped, not queued, while a view is still drawing.
    if (res->RES_REVIEW_UPDATE_PENDING->value() || res->RES_OUTLINE_UPDATE_PENDING->value() ||
        res->RES_CENTRE_UPDATE_PENDING->value() || res->RES_CORNER_UPDATE_PENDING->value())
        return;
    const long position = slider_->GetValue();
    if (position == last_slider_position_)
        return;
    last_slider_position_ = position;
    if (position >= 0 && position < bufp->frames())
        res->RES_BUF_CURRENT_FRAME->write(position);
}

void MainFrame::OnClear(wxCommandEvent& event)
{
    OnClearRecord(event);
}

void MainFrame::OnTool(wxCommandEvent& event)
{
    wxLogDebug("Received tool event %d", event.GetId());
    res->RES_TOOL->write(tool_selection_t{event.GetId()});
}

void MainFrame::OnDisplayToggle(wxCommandEvent& event)
{
    const bool on = toolbar_->GetToolState(event.GetId());
    switch (event.GetId()) {
    case ID_TOOL_LOCK_ZOOM: res->RES_LOCK_ZOOM->write(on); break;
    case ID_TOOL_INVERT: res->RES_INVERT_BSCAN->write(on); break;
    case ID_TOOL_SINGLE_FRAME:
    case ID_TOOL_ALL_FRAMES: {
        const bool single = event.GetId() == ID_TOOL_SINGLE_FRAME;
        if (on)
            toolbar_->ToggleTool(single ? ID_TOOL_ALL_FRAMES : ID_TOOL_SINGLE_FRAME, false);
        res->RES_DISPLAY_FRAME->write(on ? (single ? 1 : 2) : 0);
        break;
    }
    case ID_TOOL_LANDMARKS: res->RES_SEE_MARK->write(on); break;
    case ID_TOOL_OBJECTS: res->RES_SEE_DRAW->write(on); break;
    default: break;
    }
}

// ---------------------------------------------------------------- configuration lock

void MainFrame::set_config_mode(bool config)
{
    config_mode_ = config;
    wxMenuBar* bar = GetMenuBar();
    if (!config) {
        task_book_->SetSelection(0);
        visual_book_->SetSelection(3);
    }
    for (int id : protected_items)
        bar->Enable(id, config);
    bar->EnableTop(bar->FindMenu("&Configure"), config);
    for (int p = first_protected_page; p <= last_protected_page; ++p)
        task_book_->GetPage(static_cast<std::size_t>(p))->Enable(config);
    bar->SetLabel(ID_GUI_CONFIG, config ? "Start &protected mode" : "Enable &config mode");
    bar->SetHelpString(ID_GUI_CONFIG, config ? "Disable all task pages and controls for configuring kestrane"
                                             : "Enable the task pages and controls for configuring kestrane");
}

void MainFrame::OnGUIConfig(wxCommandEvent&)
{
    const auto answer = interaction().ask_text("Enter password", "Please enter access password", "", text_kind_t::secret);
    if (!answer || !password_accepted(*answer, res->RES_PASSWORD->value())) {
        wxLogWarning("Access password not recognised - remaining in current mode");
        return;
    }
    set_config_mode(!config_mode_);
}

void MainFrame::OnGUIPassword(wxCommandEvent&)
{
    const auto first = interaction().ask_text("Enter password", "Please enter new access password", "", text_kind_t::secret);
    if (!first)
        return;
    const wxString password = first->Lower();
    if (password.length() < 6) {
        wxLogWarning("Passwords must contain at least six characters");
        return;
    }
    const auto again = interaction().ask_text("Enter password", "Please re-type new access password", "", text_kind_t::secret);
    if (!again || again->Lower() != password) {
        wxLogWarning("New passwords differ - keeping original password");
        return;
    }
    res->RES_PASSWORD->write(password);
}

// ---------------------------------------------------------------- layout

void MainFrame::layout_controls(int where)
{
    // Rebuild the splitters so that the control column (or its halves) sits
    // where asked, and give every part its default share again.
    constexpr double task_share = 0.4;  // of the column's height; the visual pages get the rest
    const int column = control_column_width();
    outer_split_->Unsplit();
    if (right_split_) {
        right_split_->Unsplit();
    }
    if (where == 2) {
        control_split_->Unsplit(visual_book_);
        if (!right_split_) {
            right_split_ = new wxSplitterWindow(outer_split_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                                wxSP_3D | wxSP_LIVE_UPDATE);
            right_split_->SetMinimumPaneSize(min_pane_size);
        }
        data_panel_->Reparent(right_split_);
        visual_book_->Reparent(right_split_);
        visual_book_->Show();
        right_split_->Show();
        outer_split_->SplitVertically(control_split_, right_split_, column);
        outer_split_->SetSashGravity(0.0);
        right_split_->SplitVertically(data_panel_, visual_book_, -column);
        right_split_->SetSashGravity(1.0);
    } else {
        data_panel_->Reparent(outer_split_);
        visual_book_->Reparent(control_split_);
        if (!control_split_->IsSplit())
            control_split_->SplitHorizontally(task_book_, visual_book_);
        if (right_split_)
            right_split_->Hide();
        if (where == 0)
            outer_split_->SplitVertically(control_split_, data_panel_, column);
        else
            outer_split_->SplitVertically(data_panel_, control_split_, -column);
        outer_split_->SetSashGravity(where == 0 ? 0.0 : 1.0);
        control_split_->SetSashPosition(static_cast<int>(task_share * control_split_->GetSize().GetHeight()));
        control_split_->SetSashGravity(task_share);
    }
    Layout();
}

void MainFrame::OnGUILeft(wxCommandEvent&) { layout_controls(0); }
void MainFrame::OnGUIRight(wxCommandEvent&) { layout_controls(1); }
void MainFrame::OnGUIBoth(wxCommandEvent&) { layout_controls(2); }

void MainFrame::OnGUI3D(wxCommandEvent&)
{
    for (wxSplitterWindow* s : {upper_split_, lower_split_})
        s->SetSashPosition(s->GetSize().GetWidth() / 2);
    data_split_->SetSashPosition(data_split_->GetSize().GetHeight() / 2);
}

void MainFrame::OnGUI2D(wxCommandEvent&)
{
    // The review window takes the space; the others keep their smallest usable size.
    upper_split_->SetSashPosition(upper_split_->GetSize().GetWidth() - min_pane_size);
    data_split_->SetSashPosition(data_split_->GetSize().GetHeight() - min_pane_size);
}

void MainFrame::OnGUIOptions(wxCommandEvent&)
{
    options_dialog dialog(this);
    if (dialog.ShowModal() == wxID_OK)
        dialog.apply();
}

void MainFrame::OnConfigPositionSource(wxCommandEvent&)
{
    position_source_dialog dialog(
        this, [] { return pos ? pos->pos_status() : wxString("No position sensor available."); },
        [] { return pos ? pos->pos_status_image() : wxImage(); });
    if (dialog.ShowModal() == wxID_OK) {
        wxBusyCursor busy;  // a changed setting searches for the tracker again
        dialog.apply();
    }
}

void MainFrame::OnConfigImageSource(wxCommandEvent&)
{
    image_source_dialog dialog(
        this,
        [] {
            wxBusyCursor busy;
            if (vid)
                vid->search_again();
        },
        [] { return static_cast<MainWindow&>(*wxTheApp).network_image_status(); });
    if (dialog.ShowModal() == wxID_OK)
        dialog.apply();
}

void MainFrame::OnGUIColour(wxCommandEvent&)
{
    const wxColour chosen = wxGetColourFromUser(this, wxColour(res->RES_BACKGROUND->value()), "Window colour");
    if (chosen.IsOk())
        res->RES_BACKGROUND->write(chosen.GetAsString(wxC2S_HTML_SYNTAX));
}

// ---------------------------------------------------------------- help, about, not yet

void MainFrame::OnHelpWindow(wxCommandEvent&)
{
    if (!help_ok_ || !help_) {
        wxLogError("Failed to load help file kestrane_help.zip\nHelp menu item is disabled.");
        return;
    }
    help_->DisplayContents();
}

void MainFrame::OnHelpAbout(wxCommandEvent&)
{
    wxAboutDialogInfo info;
    info.SetName("Kestrane");
    info.SetVersion("6.02 Rev: 28th Apr 2020");
    info.SetDescription("Freehand 3D ultrasound: recording, calibration, reslicing, segmentation and measurement.");
    wxAboutBox(info, this);
}

void MainFrame::OnNotAvailable(wxCommandEvent& event)
{
    const wxString label = GetMenuBar()->FindItem(event.GetId()) ? GetMenuBar()->GetLabel(event.GetId())
                                                                 : toolbar_->GetToolShortHelp(event.GetId());
    interaction().inform("Kestrane", wxMenuItem::GetLabelText(label) + " is not available in this version yet.");
    if (toolbar_->FindById(event.GetId()))
        toolbar_->ToggleTool(event.GetId(), false);
}

// ---------------------------------------------------------------- closing

bool MainFrame::ignore_unsaved_changes()
{
    wxString groups;
    if (bufp->frames() == 0 || !base_res_t::file_needs_save(RES_MASK_RECORDING, groups))
        return true;
    return interaction().ask("Ignore changes",
                             "There are unsaved changes for:\n\n" + groups + "\nSelect OK to ignore these changes",
                             question_t::ok_cancel, answer_t::cancel) == answer_t::ok;
}

void MainFrame::OnClose(wxCloseEvent& event)
{
    // A recording still running would otherwise end unnoticed, its frames
    // not yet counted as unsaved.
    DisableLiveRecord();
    if (!res->RES_IN_SCRIPT->value() && !ignore_unsaved_changes() && event.CanVeto()) {
        event.Veto();
        return;
    }
    if (playing())
        stop_playback();
    unregister_procedures();
    help_.reset();
    Destroy();
}

void MainFrame::OnFileQuit(wxCommandEvent&)
{
    Close();
}
