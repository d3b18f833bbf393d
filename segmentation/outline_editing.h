// What the Draw tool does to outlines, as plain operations the review window
// calls: finishing a stroke, picking, moving, splitting and merging contours,
// and the group operations. Nothing here knows about windows or resources.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "segmentation/outline_model.h"

// Points whose concavity is above this are highlighted, and cut away by
// "Remove highlighted concavities": a pocket whose area is a fifth of the
// square of its mouth.
inline constexpr double concavity_highlight = 0.2;

// Tolerances of the Draw tool in image pixels.
struct draw_tolerances {
    double pick = 5.0;       // RES_MOUSE_SENSITIVITY over the zoom
    double simplify = 0.3;   // RES_SIMPLIFY_THRESH / 10, or 1 / zoom (0.5 / zoom when segmented)
};
draw_tolerances draw_tolerances_for(long mouse_sensitivity, long simplify_tenths, bool by_zoom, double zoom,
                                    bool segmented);

// The outline a released stroke becomes: finished with twice the pick
// distance, closed, simplified, clipped to the frame (w x h pixels) and its
// concavity measured. Nothing for a stroke without area after all that: a
// click, a line, or a scribble outside the frame.
std::optional<contour> finish_stroke(contour stroke, const draw_tolerances& t, long frame_w, long frame_h);

// The same tidying for a segmented outline (no closing of the stroke).
std::optional<contour> tidy_outline(contour c, double simplify, long frame_w, long frame_h);

struct contour_pick {
    std::size_t contour = 0;
    std::size_t i = 0, j = 0;  // the touched point, or the ends of the touched segment
};
// The first contour of the set that p touches within d.
std::optional<contour_pick> pick_contour(const contour_set& set, const vertex2d& p, double d);

void move_contour(contour& c, double dx, double dy);

// Splits the picked contour where it comes back within d of the picked
// point, into the two loops either side; false when it never does.
bool split_contour(contour_set& set, const contour_pick& pick, double d);

// Joins the two contours nearest p (both within d) into one outline running
// round the first and then the second; false unless two contours are there.
bool merge_contours(contour_set& set, const vertex2d& p, double d);

// The contours lying wholly inside the box (either corner order).
std::vector<std::size_t> contours_in_box(const contour_set& set, const vertex2d& a, const vertex2d& b);

// Cuts across highlighted pockets: their points go, the mouth's chord stays.
// False when nothing was highlighted or the outline would lose its area.
bool remove_highlighted_concavities(contour& c);

// Whether every point of `inner` lies inside `outer`.
bool contour_inside(const contour& inner, const contour& outer);

// Removes every other contour of the set lying wholly inside contour `outer`.
std::size_t delete_contours_inside(contour_set& set, std::size_t outer);

// Removes contours by index (any order, repeats ignored).
void delete_contours(contour_set& set, std::vector<std::size_t> which);
