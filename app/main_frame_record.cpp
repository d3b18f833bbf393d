// Recording and the live image: the Live and Record tools, the clear and
// sweep actions, and the live frames shown in the review and 3D windows.
#include <cmath>

#include <wx/log.h>
#include <wx/notebook.h>
#include <wx/toolbar.h>

#include "acquisition/live_recorder.h"
#include "acquisition/posinfo.h"
#include "calibration/calib_internals.h"
#include "calibration/pointer_tip.h"
#include "common/dynabuf.h"
#include "ids.h"
#include "main_frame.h"
#include "main_window.h"
#include "pages/record_page.h"
#include "resources/resource_table.h"
#include "views/review_canvas.h"
#include "views/view3d_canvas.h"

namespace {
constexpr std::uint64_t ticks_per_second = 10000000;

live_recorder& recorder()
{
    return static_cast<MainWindow&>(*wxTheApp).recorder();
}
}  // namespace

void MainFrame::LiveChanged()
{
    if (res->RES_STOP_IMAGING->changed()) {
        DisableLiveRecord();
        return;
    }
    const bool live = res->RES_TOGGLE_LIVE->value();
    if (toolbar_->GetToolState(ID_TOOL_LIVE) != live)
        toolbar_->ToggleTool(ID_TOOL_LIVE, live);
    follow_live_source();
}

// With positions the live image is the synchroniser's paired frame; without
// them, or without a tracker to give them, the bare frame from the image source.
void MainFrame::follow_live_source()
{
    base_res_t* wanted = nullptr;
    if (res->RES_TOGGLE_LIVE->value())
        wanted = res->RES_POS_REC->value() && res->RES_POSITION_SOURCE->value() != SENSOR_NONE
                     ? static_cast<base_res_t*>(res->RES_LIVE_POS_CAPTURE_EVENT)
                     : static_cast<base_res_t*>(res->RES_VIDEO_CAPTURE_EVENT);
    if (wanted == live_source_)
        return;
    if (live_source_)
        live_source_->remove_worry(live_frame_proc_.get());
    live_source_ = wanted;
    last_live_time_ = 0;
    if (live_source_)
        live_source_->add_proc(live_frame_proc_.get());
    else
        show_live({}, {});
}

void MainFrame::LiveActivity()
{
    cip_t image;
    counted_array_ptr<float> pose, pointer;
    std::uint64_t time = 0;
    if (live_source_ == res->RES_LIVE_POS_CAPTURE_EVENT) {
        const auto& paired = res->RES_LIVE_POS_CAPTURE_EVENT->value();
        if (!paired || !paired->frame)
            return;
        image = paired->frame->image;
        pose = paired->probe_pose;
        if (paired->pointer_state != POS_MISSING)
            pointer = paired->pointer_pose;
        time = paired->frame->time;
    } else if (live_source_ == res->RES_VIDEO_CAPTURE_EVENT) {
        const auto& frame = res->RES_VIDEO_CAPTURE_EVENT->value();
        if (!frame)
            return;
        image = frame->image;
        time = frame->time;
    }
    if (image.empty())
        return;
    // The display may be slower than the capture; frames between are skipped, not queued.
    const long rate = res->RES_DISPLAY_RATE->value();
    if (rate > 0 && last_live_time_ != 0 && time >= last_live_time_ &&
        time - last_live_time_ < ticks_per_second / static_cast<std::uint64_t>(rate))
        return;
    last_live_time_ = time;
    ++live_shown_;
    feed_calibration(image, pose, pointer, time);
    show_live(image, pose);
}

void MainFrame::feed_calibration(const cip_t& image, const counted_array_ptr<float>& pose,
                                 const counted_array_ptr<float>& pointer, std::uint64_t time)
{
    if (!calib_ || !task_book_)
        return;
    const int page = task_book_->GetSelection();
    if (page == task_page_index(ID_TASK_CALIBRATE)) {
        calib_->display_line_detection(image, pose, time);
    } else if (page == task_page_index(ID_TASK_POINT_CAL)) {
        const vertex3d tip = pointer_tip_in_world(pointer).value_or(vertex3d{NAN, NAN, NAN});
        calib_->display_point_detection(image, pose, tip);
    }
}

void MainFrame::show_live(const cip_t& image, const counted_array_ptr<float>& pose)
{
    review_->show_live(image);
    view3d_->show_live(image, pose);
    if (record_)
        record_->show_count();
}

void MainFrame::ClickLive()
{
    if (!toolbar_->GetToolEnabled(ID_TOOL_LIVE))
        return;
    toolbar_->ToggleTool(ID_TOOL_LIVE, !toolbar_->GetToolState(ID_TOOL_LIVE));
    wxCommandEvent event(wxEVT_TOOL, ID_TOOL_LIVE);
    OnToggleLive(event);
}

void MainFrame::DisableLiveRecord()
{
    if (recorder().recording())
        recorder().stop();
    if (toolbar_->GetToolState(ID_TOOL_RECORD))
        toolbar_->ToggleTool(ID_TOOL_RECORD, false);
    if (res->RES_TOGGLE_LIVE->value() || toolbar_->GetToolState(ID_TOOL_LIVE)) {
        toolbar_->ToggleTool(ID_TOOL_LIVE, false);
        wxCommandEvent event(wxEVT_TOOL, ID_TOOL_LIVE);
        OnToggleLive(event);
    }
}

void MainFrame::OnRecord(wxCommandEvent&)
{
    if (!toolbar_->GetToolState(ID_TOOL_RECORD)) {
        recorder().stop();
        SetStatusText(wxString::Format("%li frames recorded.", bufp->frames()), 0);
        return;
    }
    auto refuse = [this](const wxString& reason) {
        toolbar_->ToggleTool(ID_TOOL_RECORD, false);
        SetStatusText(reason, 0);
    };
    if (res->RES_DISABLE_RECORDING->value()) {
        refuse("Frames read from a file are not recorded into: choose File, New first.");
        return;
    }
    if (!recorder().start()) {
        refuse(recorder().refusal());
        return;
    }
    if (!res->RES_TOGGLE_LIVE->value())
        ClickLive();  // what is recorded is seen as it comes
    SetStatusText("Recording ...", 0);
}

void MainFrame::OnClearRecord(wxCommandEvent& event)
{
    if (!recorder().recording()) {
        OnFileNew(event);  // asks before unsaved frames go
        return;
    }
    recorder().clear_record();
    if (record_)
        record_->show_count();
}

void MainFrame::FinishSweep()
{
    recorder().finish_sweep();
    if (record_)
        record_->show_count();
}
