#include "review_canvas.h"

#include <cmath>

#include <GL/gl.h>
#include <wx/dcclient.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

review_canvas::review_canvas(wxWindow* parent) : wxGLCanvas(parent, ks_gl_attributes(), wxID_ANY)
{
    SetMinSize(wxSize(40, 40));
    Bind(wxEVT_PAINT, &review_canvas::OnPaint, this);
    Bind(wxEVT_MOUSEWHEEL, &review_canvas::OnWheel, this);
    Bind(wxEVT_MOTION, &review_canvas::OnMouse, this);
    Bind(wxEVT_RIGHT_DOWN, &review_canvas::OnMouse, this);
    Bind(wxEVT_MIDDLE_DOWN, &review_canvas::OnMouse, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        Refresh(false);
        e.Skip();
    });
    changed_ = std::make_unique<pmf_functor<review_canvas>>(this, &review_canvas::ReviewChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_BUF_CURRENT_FRAME, res->RES_BUF_FRAMES,
                                                            res->RES_INVERT_BSCAN, res->RES_BACKGROUND,
                                                            res->RES_REVIEW_ZOOM, res->RES_CMAP_CHANGED,
                                                            res->REDISPLAY_REVIEW_WINDOW, res->RES_XSCALE,
                                                            res->RES_YSCALE})
        r->add_proc(changed_.get());
}

review_canvas::~review_canvas() = default;

void review_canvas::ReviewChanged()
{
    if (res->RES_CMAP_CHANGED->changed() || res->RES_BUF_FRAMES->changed())
        upload_ = true;
    res->RES_REVIEW_UPDATE_PENDING->write(true);
    Refresh(false);
}

void review_canvas::frame_rectangle(double* x0, double* y0, double* x1, double* y1) const
{
    const cip_t frame = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    const wxSize size = GetClientSize();
    const double w = frame.empty() ? 1.0 : static_cast<double>(frame.width());
    const double h = frame.empty() ? 1.0 : static_cast<double>(frame.height());
    // Pixels keep their physical proportions.
    const double aspect = res->RES_XSCALE->value() > 0 && res->RES_YSCALE->value() > 0
                              ? res->RES_YSCALE->value() / res->RES_XSCALE->value()
                              : 1.0;
    const double fit = std::min(size.GetWidth() / w, size.GetHeight() / (h * aspect));
    const double zoom = std::max(0.01, res->RES_REVIEW_ZOOM->value());
    const double sx = fit * zoom, sy = fit * zoom * aspect;
    *x0 = 0.5 * (size.GetWidth() - w * sx) + pan_x_;
    *y0 = 0.5 * (size.GetHeight() - h * sy) + pan_y_;
    *x1 = *x0 + w * sx;
    *y1 = *y0 + h * sy;
}

wxPoint review_canvas::frame_to_window(double u, double v) const
{
    const cip_t frame = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    double x0, y0, x1, y1;
    frame_rectangle(&x0, &y0, &x1, &y1);
    const double w = frame.empty() ? 1.0 : static_cast<double>(frame.width());
    const double h = frame.empty() ? 1.0 : static_cast<double>(frame.height());
    double fy = (v + 0.5) / h;
    if (res->RES_INVERT_BSCAN->value())
        fy = 1.0 - fy;
    return {static_cast<int>(std::floor(x0 + (u + 0.5) / w * (x1 - x0))), static_cast<int>(std::floor(y0 + fy * (y1 - y0)))};
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

    const cip_t frame = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    if (texture_.bind(frame, upload_)) {
        upload_ = false;
        double x0, y0, x1, y1;
        frame_rectangle(&x0, &y0, &x1, &y1);
        const bool invert = res->RES_INVERT_BSCAN->value();
        glEnable(GL_TEXTURE_2D);
        glColor3f(1, 1, 1);
        glBegin(GL_QUADS);
        glTexCoord2d(0, invert ? 1 : 0);
        glVertex2d(x0, y0);
        glTexCoord2d(1, invert ? 1 : 0);
        glVertex2d(x1, y0);
        glTexCoord2d(1, invert ? 0 : 1);
        glVertex2d(x1, y1);
        glTexCoord2d(0, invert ? 0 : 1);
        glVertex2d(x0, y1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
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
    res->RES_REVIEW_ZOOM->write(std::clamp(res->RES_REVIEW_ZOOM->value() * factor, 0.05, 50.0));
}

void review_canvas::OnMouse(wxMouseEvent& event)
{
    if (event.RightDown() || event.MiddleDown()) {
        drag_from_ = event.GetPosition();
        return;
    }
    if (event.Dragging() && (event.RightIsDown() || event.MiddleIsDown())) {
        pan_x_ += event.GetPosition().x - drag_from_.x;
        pan_y_ += event.GetPosition().y - drag_from_.y;
        drag_from_ = event.GetPosition();
        Refresh(false);
    }
}
