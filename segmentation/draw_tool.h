// The Draw tool of the review window, without the window: presses, drags and
// releases in frame pixels become strokes, moves, splits, merges, group
// operations and segmentation clicks on the current object's outlines of the
// current frame. Questions go through interaction(); every edit ends in one
// write of RES_OBJECT, so the statistics and views update in one change pass.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "segmentation/outline_editing.h"

class object_table;

// Segments around a pixel of a frame: the outlines found on that frame (or on
// several, each set naming its frame), untidied; nothing when cancelled.
using segmenter_t = std::function<std::optional<std::vector<contour_set>>(long frame, long x, long y)>;

class draw_tool_t {
public:
    // A press starts a stroke, picks a contour to move (or to split and merge
    // on a click), or with `group` starts a selection box; with segmentation
    // on, a press is a segmentation click.
    void press(const vertex2d& p, bool group);
    void drag(const vertex2d& p);
    void release(const vertex2d& p);
    void cancel();

    void set_segmenting(bool on) { segmenting_ = on; }
    bool segmenting() const { return segmenting_; }
    void set_segmenter(segmenter_t s) { segmenter_ = std::move(s); }

    // What is in progress, for drawing.
    const contour* stroke() const { return mode_ == mode_t::stroke ? &stroke_ : nullptr; }
    std::optional<std::pair<vertex2d, vertex2d>> group_box() const;

private:
    enum class mode_t { idle, stroke, move, group };
    bool segment_at(const vertex2d& p);
    void click_on_contour(const vertex2d& p);
    void group_operation();

    mode_t mode_ = mode_t::idle;
    contour stroke_;
    contour_pick picked_;
    vertex2d from_, last_;
    bool moved_ = false;
    bool segmenting_ = false;
    segmenter_t segmenter_;
};

// The current object's set on the current frame, created when `create`.
contour_set* current_outlines(bool create);
// Ends an edit: drops emptied sets and writes RES_OBJECT in one change pass.
void commit_outline_edit();
// The tolerances in force for the review window's zoom.
draw_tolerances draw_tolerances_from_session(bool segmented);
