// Finding the water bath's floor in a B-scan: a straight bright line inside a
// region of interest. Each of a number of vertical stripes gives the first
// strong dark-to-bright edge along it; the line through most of those points
// is fitted, and accepted when enough of the stripes agree with it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"

struct line_detection_settings_t {
    double sigma = 5.0;         // RES_CAL_SIGMA: pixels, of the edge kernel
    long stripes = 20;          // RES_CAL_STRIPES
    double min_gradient = 5.0;  // RES_CAL_MINGRAD
    long pixel_threshold = 3;   // RES_CAL_PIXTHRESH: inlier distance
    bool invert = false;        // RES_CAL_INVERT: search from the bottom up
    double accept_ratio = 0.6;  // RES_CAL_ACCEPT_RATIO

    // Out-of-range values (a zero or huge sigma or stripe count, a ratio
    // outside 0 to 1...) are refused with a warning naming them.
    bool valid(wxString* why) const;
};

struct detected_line_t {
    bool found = false;     // a line was fitted
    bool accepted = false;  // and enough stripes agree with it
    // End points in buffer columns and rows (0 when no line).
    long x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int inliers = 0, eligible = 0;
    wxString message;  // "Consensus %d/%d: accept", "... reject" or "Invalid best fit line"
    // Each stripe's column and the canvas row of its edge point (-100 when none), for the overlay.
    std::vector<long> stripe_columns, stripe_rows;
};

class line_detector_t {
public:
    // For frames of width x height; the region is the whole image.
    line_detector_t(long width, long height, const line_detection_settings_t& settings);

    bool usable() const { return usable_; }  // false when the settings or the size were refused
    long width() const { return width_; }
    long height() const { return height_; }

    // The region of interest as a polygon of 3 to 20 vertices in canvas
    // coordinates (x right, y up from the bottom row), clamped into the image.
    // False, keeping the region, for fewer than three vertices or more than 20.
    bool set_region(const std::vector<std::pair<long, long>>& vertices);
    void default_region();

    // Detects the line in a frame of this detector's size; a frame of another
    // size, or an unusable detector, gives no line.
    detected_line_t detect(const cip_t& frame) const;

    // Per column, the first and last buffer row inside the region (first >
    // last where the column is outside it), as the stylus tip detector reads it.
    std::vector<std::pair<long, long>> region_rows() const;

private:
    void recompute_stripes();

    long width_ = 0, height_ = 0;
    line_detection_settings_t settings_;
    bool usable_ = false;
    std::vector<float> kernel_;  // 2h + 1 coefficients, reversed when inverted
    int half_ = 0;
    // Per column, the smallest and largest canvas row of the region (-1 when none).
    std::vector<long> span_lo_, span_hi_;
    long first_column_ = 0, uncovered_right_ = 0;
    std::vector<long> stripe_columns_;
};
