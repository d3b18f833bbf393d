// A lower data window showing one reslice: a plane cut through the recorded
// frames. Left drag tilts the plane about its centre, right or middle drag
// pushes it along its normal, the wheel zooms. While the mouse drags, the
// reslice is rebuilt coarser, by the colour map's reslice divisor (chosen when
// the drag starts from the work of all open reslice windows), so that it
// follows the hand; rebuilds happen when the window paints, so they never
// queue behind each other. The reslice shown is open in its window (RES_RESLICE).
// Over the image it may mark the recording's landmarks within the slab and
// outline the sweeps' partitions where the plane cuts them.
#pragma once

#include <memory>
#include <vector>

#include <wx/glcanvas.h>

#include "common/functor.h"
#include "gl_support.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_internals.h"

// What a reslice view draws over its image.
struct reslice_overlays {
    bool landmarks = false;  // landmarks in the slab, as crosses
    bool sweeps = false;     // the sweeps' partitions cut by the plane
};

class reslice_canvas : public wxGLCanvas {
public:
    explicit reslice_canvas(wxWindow* parent);
    ~reslice_canvas() override;

    // The reslice shown, or none (the window is blank); opens and closes
    // the windows in RES_RESLICE. `overlays`, when given, is read at every
    // paint and must outlive the showing.
    void show(reslice_internals* reslice, const reslice_overlays* overlays = nullptr);
    reslice_internals* shown() const { return reslice_; }
    // Asks for a rebuild at the next paint.
    void invalidate();
    // Rebuilds now (at full resolution) and draws; the view as shown.
    wxImage grab();
    // Number of rebuilds so far, for tests of the no-queueing rule.
    long builds() const { return builds_; }
    // The divisor and size of the last image built: above 1 for a drag preview.
    int built_divisor() const { return built_divisor_; }
    wxSize built_size() const { return {static_cast<int>(tex_w_), static_cast<int>(tex_h_)}; }
    // Landmark crosses in the last drawing.
    long markers_drawn() const { return markers_drawn_; }
    // Where reslice (x, y) of the image shown was last drawn, in window pixels.
    wxPoint reslice_to_window(double x, double y) const;

private:
    void DataChanged();
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent&);
    void rebuild_if_needed();
    void draw();
    void draw_overlays();
    void upload(const reslice_internals& built);
    double zoom_of_window() const;  // the session's zoom of the window shown

    std::unique_ptr<pmf_functor<reslice_canvas>> changed_;
    reslice_internals* reslice_ = nullptr;
    const reslice_overlays* overlays_ = nullptr;
    int window_ = 0;  // of reslice_, to close it without touching it
    reslice_internals preview_;  // the coarser reslice shown while dragging
    bool dirty_ = true;
    bool dragging_ = false;
    long builds_ = 0;
    int built_divisor_ = 1;
    wxPoint drag_from_;
    unsigned texture_ = 0;
    long tex_w_ = 0, tex_h_ = 0;
    std::vector<std::uint8_t> rgb_;
    // The plane and settings of the image shown, and the sweeps it was built with.
    reslice_plane built_plane_;
    reslice_settings built_settings_;
    reslice_source built_sweeps_;  // sweeps and their display only, no frames
    double x0_ = 0.0, y0_ = 0.0, fit_ = 1.0, drawn_h_ = 0.0;  // image placement in the window
    long markers_drawn_ = 0;
};
