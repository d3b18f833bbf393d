// The review window's arithmetic, kept apart from the window so that it is
// tested without a display: where the frame lies for a zoom and a centre,
// zooming to a dragged box, keeping the magnification when the window
// changes size, lengths measured from the pixel scales, and selected regions.
#pragma once

#include "display/view_limits.h"

#include <optional>

#include <wx/string.h>

// Frame coordinates are pixels: u across from the left edge, v down from the
// top edge of row 0 (pixel (i, j) covers u in [i, i+1), v in [j, j+1)).
struct review_view_t {
    double window_w = 1.0, window_h = 1.0;  // client size in window pixels
    double frame_w = 1.0, frame_h = 1.0;    // frame size in frame pixels
    double beside_w = 0.0;                  // an image drawn right of the frame, with its gap; 0: none
    double aspect = 1.0;                    // on-screen height of a pixel over its width
    double zoom = 1.0;                      // 1: the whole frame just fits
    double centre_u = 0.5, centre_v = 0.5;  // the frame point at the window centre
    bool invert = false;                    // rows run upwards on screen

    // Window pixels per frame pixel, across and down.
    double scale_x() const;
    double scale_y() const { return scale_x() * aspect; }
    void to_window(double u, double v, double* x, double* y) const;
    void to_frame(double x, double y, double* u, double* v) const;
    // Centres the frame (with the image beside it), as at zoom 1 before any drag.
    void centre_frame();
    // Where an image drawn beside a frame of width frame_w starts, in frame
    // pixels: a gap of a thirty-second of the frame, at least one pixel, keeps them apart.
    static double beside_start(double frame_w);
};

// A box narrower or lower than this is a click, not a box.
inline constexpr double min_zoom_box = 4.0;

// The view that fills the window with the box (x0, y0)-(x1, y1) drawn in it,
// its centre at the window centre; nothing for a click.
std::optional<review_view_t> zoomed_to_box(const review_view_t& view, double x0, double y0, double x1, double y1);

// The zoom that keeps the window pixels per frame pixel of `view` in a
// window of the new size.
double zoom_keeping_scale(const review_view_t& view, double window_w, double window_h);

// The length in millimetres of a line between two frame points, from the
// pixel scales in centimetres per pixel.
double measured_length_mm(double u0, double v0, double u1, double v1, double xscale_cm, double yscale_cm);
wxString measurement_text(double length_mm);

// The frame pixels a dragged rectangle touches, its corners' pixels included,
// clipped to the frame; empty (zero size) when it lies beside the frame.
struct pixel_region_t {
    long x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};
pixel_region_t selected_region(double u0, double v0, double u1, double v1, long frame_w, long frame_h);

// The status-bar line that says what a toolbar tool does in the review
// window, or why it does nothing yet.
wxString tool_note(int tool_id);
