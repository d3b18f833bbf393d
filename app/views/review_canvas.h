// The review window: the current frame through the colour map, zoomed and
// panned with the mouse (wheel zooms, right or middle drag pans).
#pragma once

#include <memory>

#include <wx/glcanvas.h>

#include "common/functor.h"
#include "gl_support.h"

class review_canvas : public wxGLCanvas {
public:
    explicit review_canvas(wxWindow* parent);
    ~review_canvas() override;

    // The view as shown, drawn afresh.
    wxImage grab();
    // Where frame pixel (u, v) lands in window pixels, for tests and overlays.
    wxPoint frame_to_window(double u, double v) const;

private:
    void ReviewChanged();
    void OnPaint(wxPaintEvent&);
    void OnWheel(wxMouseEvent&);
    void OnMouse(wxMouseEvent&);
    void draw();
    void frame_rectangle(double* x0, double* y0, double* x1, double* y1) const;

    std::unique_ptr<pmf_functor<review_canvas>> changed_;
    frame_texture texture_;
    bool upload_ = true;
    double pan_x_ = 0, pan_y_ = 0;
    wxPoint drag_from_;
};
