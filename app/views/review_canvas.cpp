#include "review_canvas.h"

#include <algorithm>
#include <cmath>

#include <GL/gl.h>
#include <wx/dcclient.h>
#include <wx/frame.h>

#include "acquisition/rf_display.h"
#include "common/dynabuf.h"
#include "ids.h"
#include "resources/resource_table.h"
#include "volumes/dicom_display.h"
#include "segmentation/grassfire_session.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_measure.h"
#include "surfaces/landmark_session.h"

review_canvas::review_canvas(wxWindow* parent) : wxGLCanvas(parent, ks_gl_attributes(), wxID_ANY)
{
    SetMinSize(wxSize(40, 40));
    Bind(wxEVT_PAINT, &review_canvas::OnPaint, this);
    Bind(wxEVT_MOUSEWHEEL, &review_canvas::OnWheel, this);
    Bind(wxEVT_MOTION, &review_canvas::OnMouse, this);
    Bind(wxEVT_RIGHT_DOWN, &review_canvas::OnMouse, this);
    Bind(wxEVT_MIDDLE_DOWN, &review_canvas::OnMouse, this);
    Bind(wxEVT_LEFT_DOWN, &review_canvas::OnLeft, this);
    Bind(wxEVT_LEFT_UP, &review_canvas::OnLeft, this);
    Bind(wxEVT_SIZE, &review_canvas::OnSize, this);
    changed_ = std::make_unique<pmf_functor<review_canvas>>(this, &review_canvas::ReviewChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_BUF_CURRENT_FRAME, res->RES_BUF_FRAMES, res->RES_INVERT_BSCAN, res->RES_BACKGROUND,
             res->RES_REVIEW_ZOOM, res->RES_CMAP_CHANGED, res->REDISPLAY_REVIEW_WINDOW, res->RES_XSCALE,
             res->RES_YSCALE, res->RES_CALIPERS, res->RES_RF_SELECT_VECTOR, res->RES_RF_SELECT_VECTORS,
             res->RES_RF_SELECT_SAMPLE, res->RES_RF_SELECT_SAMPLES, res->RES_SEE_DRAW, res->RES_SEE_MARK,
             res->RES_OBJECT, res->RES_LANDMARKS, res->RES_RF_DUAL_DISPLAY, res->RES_CURRENT_TASK_PAGE,
             res->RES_CALIB_SCALE_POINTS, res->RES_CALIB_DEFINING_ROI, res->RES_DICOM_WIN_CENTRE,
             res->RES_DICOM_WIN_WIDTH, res->RES_DICOM_HUM, res->RES_DICOM_HUB, res->RES_DICOM_FILTER,
             res->RES_DICOM_REDRAW, res->RES_REDISPLAY_THICKNESS, res->RES_THICKNESS_DISP_MAP,
             res->RES_THICKNESS_DISP_COL, res->RES_THICKNESS_SCALE_MM, res->RES_THICKNESS_SCALE_HU,
             res->RES_THICKNESS_SCALE_HUMM, res->RES_THICKNESS_ZERO_HU})
        r->add_proc(changed_.get());
    // A new or rebuilt surface cuts the frame elsewhere.
    for (auto* slot : res->RES_SURFACE)
        slot->add_proc(changed_.get());
    draw_tool_.set_segmenter([](long frame, long x, long y) {
        return segment_click_from_session(frame, x, y, res->RES_JUMP_THRESH->value());
    });
    tool_changed_ = std::make_unique<pmf_functor<review_canvas>>(this, &review_canvas::ToolChanged);
    res->RES_TOOL->add_proc(tool_changed_.get());
}

review_canvas::~review_canvas() = default;

void review_canvas::ReviewChanged()
{
    if (res->RES_CMAP_CHANGED->changed() || res->RES_BUF_FRAMES->changed())
        upload_ = true;
    res->RES_REVIEW_UPDATE_PENDING->write(true);
    Refresh(false);
}

void review_canvas::mark(const vertex2d& pixel)
{
    const long frame = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    landmarks marks = landmarks_from_session();
    const frame_geometry_t frames = frame_geometry_from_session();
    const auto placement = frames.placement(frame);
    // A 3D landmark where the frame lies in space; snapped (or on a frame
    // without a pose) it stays with the frame instead.
    landmark_index added;
    if (res->RES_SNAP_LANDMARKS->value() || !placement || !(frames.sx > 0.0) || !(frames.sy > 0.0))
        added = add_on_frame(&marks, pixel, frame);
    else
        added = add(&marks, *placement * vertex3d{pixel.x * frames.sx, pixel.y * frames.sy, 0.0}, LMARK_3D);
    const wxString name = marks.list[added].name;
    landmarks_to_session(std::move(marks));
    show_status(wxString::Format("Placed %s.", name));
    Refresh(false);
}

vertex2d review_canvas::outline_point(const wxPoint& p) const
{
    double u, v;
    window_to_frame(p, &u, &v);
    return {u - 0.5, v - 0.5};
}

void review_canvas::ToolChanged()
{
    if (drawing_)
        draw_tool_.cancel();
    drawing_ = false;
    left_from_.reset();
    left_to_.reset();
    show_status(tool_note(res->RES_TOOL->value().tool));
    Refresh(false);
}

void review_canvas::show_status(const wxString& text)
{
    auto* frame = wxDynamicCast(wxGetTopLevelParent(this), wxFrame);
    if (frame && frame->GetStatusBar())
        frame->SetStatusText(text, 0);
}

cip_t review_canvas::shown_frame() const
{
    return live_.empty() ? bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value())) : live_;
}

cip_t review_canvas::beside_image(const cip_t& frame) const
{
    if (!rf_display_service || !frame.has_samples())
        return {};
    const bool live = !live_.empty();
    return rf_display_service->companion(
        frame, live ? live_number_ : static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()), live);
}

void review_canvas::show_live(const cip_t& frame)
{
    if (frame.empty() && live_.empty())
        return;
    live_ = frame;
    if (!frame.empty())
        ++live_number_;
    upload_ = true;
    Refresh(false);
}

review_view_t review_canvas::view() const
{
    const cip_t frame = shown_frame();
    const wxSize size = GetClientSize();
    review_view_t v;
    v.window_w = std::max(1, size.GetWidth());
    v.window_h = std::max(1, size.GetHeight());
    v.frame_w = frame.empty() ? 1.0 : static_cast<double>(frame.width());
    v.frame_h = frame.empty() ? 1.0 : static_cast<double>(frame.height());
    if (!beside_.empty() && !frame.empty())
        v.beside_w = review_view_t::beside_start(v.frame_w) - v.frame_w + static_cast<double>(beside_.width());
    // Pixels keep their physical proportions.
    v.aspect = res->RES_XSCALE->value() > 0 && res->RES_YSCALE->value() > 0
                   ? res->RES_YSCALE->value() / res->RES_XSCALE->value()
                   : 1.0;
    v.zoom = std::max(0.01, res->RES_REVIEW_ZOOM->value());
    v.invert = res->RES_INVERT_BSCAN->value();
    // A pan belongs to frames of one size; frames of another start centred.
    if (!frame.empty() && frame.width() == centred_w_ && frame.height() == centred_h_ && v.beside_w == centred_beside_) {
        v.centre_u = centre_u_;
        v.centre_v = centre_v_;
    } else {
        v.centre_frame();
    }
    return v;
}

wxPoint review_canvas::frame_to_window(double u, double v) const
{
    double x, y;
    view().to_window(u + 0.5, v + 0.5, &x, &y);
    return {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))};
}

void review_canvas::window_to_frame(const wxPoint& p, double* u, double* v) const
{
    view().to_frame(p.x + 0.5, p.y + 0.5, u, v);
}

void review_canvas::draw()
{
    const wxSize size = begin_drawing(this);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, size.GetWidth(), size.GetHeight(), 0, -1, 1);  // window pixels, y down
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);

    const cip_t frame = shown_frame();
    const cip_t beside = beside_image(frame);
    const bool new_beside = !(beside == beside_);
    beside_ = beside;
    const bool upload = upload_;
    if (texture_.bind(frame, upload)) {
        upload_ = false;
        const review_view_t v = view();
        draw_image(v, 0.0, frame);
        if (!beside_.empty() && beside_texture_.bind(beside_, upload || new_beside))
            draw_image(v, review_view_t::beside_start(v.frame_w), beside_);
        if (live_.empty())  // outlines and marks belong to recorded frames
            draw_overlays(v);
    }
}

// The bound texture over the image's pixels from frame column u0 on.
void review_canvas::draw_image(const review_view_t& v, double u0, const cip_t& image)
{
    double x0, y0, x1, y1;
    v.to_window(u0, 0, &x0, &y0);
    v.to_window(u0 + static_cast<double>(image.width()), static_cast<double>(image.height()), &x1, &y1);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0);
    glVertex2d(x0, y0);
    glTexCoord2d(1, 0);
    glVertex2d(x1, y0);
    glTexCoord2d(1, 1);
    glVertex2d(x1, y1);
    glTexCoord2d(0, 1);
    glVertex2d(x0, y1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void review_canvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    draw();
    glFlush();
    SwapBuffers();
    if (res->RES_REVIEW_UPDATE_PENDING->value())
        res->RES_REVIEW_UPDATE_PENDING->write(false);
}

wxImage review_canvas::grab()
{
    draw();
    const wxSize size = GetClientSize();
    return read_back(size.GetWidth(), size.GetHeight());
}

void review_canvas::OnSize(wxSizeEvent& event)
{
    const wxSize size = GetClientSize();
    // Locked, the window pixels per frame pixel stay as they were; the zoom
    // follows the new size instead.
    if (res->RES_LOCK_ZOOM->value() && last_size_.GetWidth() > 0 && last_size_.GetHeight() > 0 &&
        size.GetWidth() > 0 && size.GetHeight() > 0 && size != last_size_) {
        review_view_t before = view();
        before.window_w = last_size_.GetWidth();
        before.window_h = last_size_.GetHeight();
        res->RES_REVIEW_ZOOM->write(zoom_keeping_scale(before, size.GetWidth(), size.GetHeight()));
    }
    if (size.GetWidth() > 0 && size.GetHeight() > 0)
        last_size_ = size;
    Refresh(false);
    event.Skip();
}

void review_canvas::OnWheel(wxMouseEvent& event)
{
    if (!res->RES_SCROLL_ZOOM->value()) {
        const long frames = bufp->frames();
        const long next = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()) + (event.GetWheelRotation() > 0 ? -1 : 1);
        if (next >= 0 && next < frames)
            res->RES_BUF_CURRENT_FRAME->write(next);
        return;
    }
    const double factor = event.GetWheelRotation() > 0 ? 1.25 : 0.8;
    res->RES_REVIEW_ZOOM->write(std::clamp(res->RES_REVIEW_ZOOM->value() * factor, min_review_zoom, max_review_zoom));
}

void review_canvas::OnMouse(wxMouseEvent& event)
{
    if (event.RightDown() && calibration_click(event.GetPosition(), true))
        return;
    if (event.RightDown() || event.MiddleDown()) {
        drag_from_ = event.GetPosition();
        return;
    }
    if (event.Dragging() && (event.RightIsDown() || event.MiddleIsDown())) {
        review_view_t v = view();
        v.centre_u -= (event.GetPosition().x - drag_from_.x) / v.scale_x();
        v.centre_v -= (v.invert ? -1 : 1) * (event.GetPosition().y - drag_from_.y) / v.scale_y();
        centre_u_ = v.centre_u;
        centre_v_ = v.centre_v;
        const cip_t frame = shown_frame();
        centred_w_ = frame.width();
        centred_h_ = frame.height();
        centred_beside_ = v.beside_w;
        drag_from_ = event.GetPosition();
        Refresh(false);
        return;
    }
    if (event.Dragging() && event.LeftIsDown() && drawing_) {
        draw_tool_.drag(outline_point(event.GetPosition()));
        Refresh(false);
        return;
    }
    if (event.Dragging() && event.LeftIsDown() && window_from_) {
        // Right widens the window, down raises its centre; the frame shown follows at once.
        const window_preset_t w = dragged_window(window_start_, event.GetPosition().x - window_from_->x,
                                                 event.GetPosition().y - window_from_->y);
        write_dicom_window(w.centre, w.width);
        show_status(wxString::Format("Window centre %.0f, width %.0f", w.centre, w.width));
        return;
    }
    if (event.Dragging() && event.LeftIsDown() && left_from_) {
        left_to_ = event.GetPosition();
        if (left_tool_ == ID_TOOL_MEASURE) {
            double u0, v0, u1, v1;
            window_to_frame(*left_from_, &u0, &v0);
            window_to_frame(*left_to_, &u1, &v1);
            show_status("Length " + measurement_text(measured_length_mm(u0, v0, u1, v1, res->RES_XSCALE->value(),
                                                                         res->RES_YSCALE->value())));
        }
        Refresh(false);
    }
}

void review_canvas::OnLeft(wxMouseEvent& event)
{
    event.Skip();  // keep the focus handling
    if (event.LeftDown() && calibration_click(event.GetPosition(), false))
        return;
    const int tool = res->RES_TOOL->value().tool;
    const bool has_frame = !shown_frame().empty();
    if (tool == ID_TOOL_MARK) {
        if (event.LeftDown() && has_frame && !showing_live())
            mark(outline_point(event.GetPosition()));
        return;
    }
    if (tool == ID_TOOL_DRAW || drawing_) {
        if (event.LeftDown() && has_frame && !showing_live()) {
            drawing_ = true;
            draw_tool_.press(outline_point(event.GetPosition()), event.ShiftDown());
        } else if (event.LeftUp() && drawing_) {
            drawing_ = false;
            draw_tool_.release(outline_point(event.GetPosition()));
        }
        Refresh(false);
        return;
    }
    if (tool == ID_TOOL_DRAG && res->RES_BUF_DICOM->value() && dicom_display) {
        if (event.LeftDown() && has_frame && !showing_live()) {
            window_from_ = event.GetPosition();
            window_start_ = {res->RES_DICOM_WIN_CENTRE->value(), res->RES_DICOM_WIN_WIDTH->value()};
            dicom_display->begin_drag();
        } else if (event.LeftUp() && window_from_) {
            window_from_.reset();
            dicom_display->end_drag();
        }
        return;
    }
    if (event.LeftDown()) {
        left_from_.reset();
        left_to_.reset();
        if (!has_frame || (tool != ID_TOOL_DRAG_ZOOM && tool != ID_TOOL_MEASURE && tool != ID_TOOL_SELECT))
            return;
        left_tool_ = tool;
        left_from_ = left_to_ = event.GetPosition();
        if (tool == ID_TOOL_MEASURE)
            res->RES_CALIPERS->write(calipers_t{});  // the next measurement clears the last
        return;
    }
    if (left_from_ && tool == left_tool_)
        finish_drag(event.GetPosition());
    left_from_.reset();
    left_to_.reset();
    Refresh(false);
}

void review_canvas::finish_drag(const wxPoint& end)
{
    const review_view_t v = view();
    double u0, v0, u1, v1;
    window_to_frame(*left_from_, &u0, &v0);
    window_to_frame(end, &u1, &v1);
    if (left_tool_ == ID_TOOL_DRAG_ZOOM) {
        review_view_t zoomed = v;
        if (const auto box = zoomed_to_box(v, left_from_->x, left_from_->y, end.x, end.y)) {
            zoomed = *box;
        } else {  // a click shows the whole frame again
            zoomed.zoom = 1.0;
            zoomed.centre_frame();
        }
        centre_u_ = zoomed.centre_u;
        centre_v_ = zoomed.centre_v;
        centred_w_ = static_cast<long>(v.frame_w);
        centred_h_ = static_cast<long>(v.frame_h);
        centred_beside_ = v.beside_w;
        res->RES_REVIEW_ZOOM->write(zoomed.zoom);
        Refresh(false);
    } else if (left_tool_ == ID_TOOL_MEASURE) {
        const double length = measured_length_mm(u0, v0, u1, v1, res->RES_XSCALE->value(), res->RES_YSCALE->value());
        if (length > 0.0)
            res->RES_CALIPERS->write(calipers_t{u0, v0, u1, v1});
        show_status(length > 0.0 ? "Length " + measurement_text(length) : tool_note(ID_TOOL_MEASURE));
    } else if (left_tool_ == ID_TOOL_SELECT) {
        // A click, or a box beside the frame, clears the selection.
        const bool click =
            std::abs(end.x - left_from_->x) < min_zoom_box && std::abs(end.y - left_from_->y) < min_zoom_box;
        const pixel_region_t r = click ? pixel_region_t{}
                                       : selected_region(u0, v0, u1, v1, static_cast<long>(v.frame_w),
                                                         static_cast<long>(v.frame_h));
        res->RES_RF_SELECT_VECTOR->write_no_changeprocs(r.x);
        res->RES_RF_SELECT_VECTORS->write_no_changeprocs(r.width);
        res->RES_RF_SELECT_SAMPLE->write_no_changeprocs(r.y);
        res->RES_RF_SELECT_SAMPLES->write_no_changeprocs(r.height);
        base_res_t::make_pending_writes_happen();
        show_status(r.empty() ? wxString("No region selected: the whole frame is processed.")
                              : wxString::Format("Selected %ld x %ld pixels from column %ld, row %ld.", r.width,
                                                 r.height, r.x, r.y));
    }
}
