// The review window: the current frame through the colour map (with RF dual
// display, the RF display's second image of it to its right), zoomed and
// panned with the mouse (wheel zooms, right or middle drag pans), and the
// toolbar's tools on it: Drag zoom, Measure and Select with the left button,
// and the outlines and landmarks of the current frame when they are shown.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include <wx/glcanvas.h>

#include "common/functor.h"
#include "gl_support.h"
#include "app/review_geometry.h"
#include "segmentation/draw_tool.h"
#include "surfaces/surface_cut.h"
#include "volumes/dicom_image.h"

class review_canvas : public wxGLCanvas {
public:
    explicit review_canvas(wxWindow* parent);
    ~review_canvas() override;

    // The view as shown, drawn afresh.
    wxImage grab();
    // Shows a live frame instead of the recorded ones; an empty frame goes back to them.
    void show_live(const cip_t& frame);
    bool showing_live() const { return !live_.empty(); }
    // The image drawn right of the frame (RF dual display), empty for none.
    const cip_t& beside() const { return beside_; }
    // Where frame pixel (u, v) lands in window pixels, for tests and overlays;
    // u from review_view_t::beside_start on lies in the image beside it.
    wxPoint frame_to_window(double u, double v) const;
    // The frame point (pixel units, edges at whole numbers) under a window pixel.
    void window_to_frame(const wxPoint& p, double* u, double* v) const;
    // The Draw tool: outlining on the frame shown.
    draw_tool_t& draw_tool() { return draw_tool_; }

private:
    void ReviewChanged();
    void ToolChanged();
    void OnPaint(wxPaintEvent&);
    void OnSize(wxSizeEvent&);
    void OnWheel(wxMouseEvent&);
    void OnMouse(wxMouseEvent&);
    void OnLeft(wxMouseEvent&);
    void draw();
    review_view_t view() const;
    cip_t shown_frame() const;  // the live frame, or the current recorded one
    cip_t beside_image(const cip_t& frame) const;
    void draw_image(const review_view_t& v, double u0, const cip_t& image);
    void show_status(const wxString& text);
    void finish_drag(const wxPoint& end);
    // Outline coordinates (pixel centres at whole numbers) under a window pixel.
    vertex2d outline_point(const wxPoint& p) const;
    // The Mark tool: a landmark at a frame pixel.
    void mark(const vertex2d& pixel);

    // Overlays, in window pixels (review_overlays.cpp).
    void draw_overlays(const review_view_t& v);
    void draw_outlines(const review_view_t& v);
    // Where the objects' surfaces cut the current frame ("Contour %i intercept"):
    // in the object's colour, or in the shown thickness where it has results.
    void draw_intercepts(const review_view_t& v);
    void update_intercepts();
    void draw_thickness_cut(const review_view_t& v, int object);
    void draw_outline_in_progress(const review_view_t& v);
    void draw_landmarks(const review_view_t& v);
    void draw_label(const wxString& text, double x, double y);
    // Calibration (review_calibration.cpp): the region, lines and tip found,
    // and the clicks that draw the region and the scale lines.
    void draw_calibration(const review_view_t& v);
    bool calibration_click(const wxPoint& p, bool right_button);

    std::unique_ptr<pmf_functor<review_canvas>> changed_;
    std::unique_ptr<pmf_functor<review_canvas>> tool_changed_;
    frame_texture texture_;
    frame_texture beside_texture_;
    bool upload_ = true;
    cip_t live_;
    long live_number_ = 0;  // live frames shown, numbering them for the RF display's persistence
    cip_t beside_;          // as last drawn
    // The frame point at the window centre, for frames of this size with this much beside them.
    double centre_u_ = 0, centre_v_ = 0;
    long centred_w_ = -1, centred_h_ = -1;
    double centred_beside_ = 0;
    wxSize last_size_;
    wxPoint drag_from_;
    // A left drag of a tool in progress: its tool and window end points.
    int left_tool_ = 0;
    std::optional<wxPoint> left_from_, left_to_;
    std::optional<wxPoint> window_from_;  // a Drag tool press windowing DICOM data
    window_preset_t window_start_;
    draw_tool_t draw_tool_;
    // The surfaces' cuts of the frame shown, kept until the frame or a surface changes.
    struct intercept_t {
        int object = 0;
        contour outline;
    };
    std::vector<intercept_t> intercepts_;
    // Of surfaces with thickness results, each triangle's piece of the cut:
    // its ends in frame pixels, their points numbered as the results are.
    struct thickness_piece_t {
        std::array<vertex2d, 2> at;
        std::array<cut_end_t, 2> ends;
    };
    std::vector<std::vector<thickness_piece_t>> thickness_cuts_;  // by object
    // What the cuts were made for, kept until any of it changes: the frame,
    // where it lies (the scale and the probe calibration place it), the
    // outlines (an outlined frame shows those instead), the surfaces, and
    // which of them have thickness results.
    struct intercepts_key_t {
        long frame = -1;
        std::optional<plane_t> plane;
        const void* objects = nullptr;
        std::vector<const void*> surfaces;
        std::vector<bool> with_results;
        bool operator==(const intercepts_key_t&) const = default;
    };
    std::optional<intercepts_key_t> intercepts_key_;
    bool drawing_ = false;  // a Draw tool press is held
};
