// Outlines drawn or segmented on recorded frames, grouped into objects, with
// the planar geometry that edits and measures them. Coordinates are image
// pixels of the frame an outline lies on (x right, y down, pixel centres at
// integers). Plain data: nothing here knows about resources or windows, so
// the recording file, the measurements and the views all share this model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "common/vertex.h"

// True if ab crosses cd strictly inside both; `out` gets the crossing. Parallel
// segments meet only when both pairs of facing ends are within 0.05 pixel.
bool segment_intersection(const vertex2d& a, const vertex2d& b, const vertex2d& c, const vertex2d& d,
                          vertex2d* out);
// For segments a-b and a-c sharing a: true if collinear; `out` is the nearer of b and c.
bool segment_parallel(const vertex2d& a, const vertex2d& b, const vertex2d& c, vertex2d* out);

// One planar polyline on one frame.
struct contour {
    std::vector<vertex2d> points;
    bool closed = true;
    std::vector<double> concavity;  // one per point once update_concave has run

    // 1 within d of point i, 2 within d of point j, 3 within d of the segment
    // between them (projection strictly inside), else 0.
    int close_to_segment(const vertex2d& p, std::size_t i, std::size_t j, double d) const;
    // The first segment p touches: on an end both indices name that point, on
    // the segment's inside they are its two ends.
    bool close(const vertex2d& p, std::size_t* i, std::size_t* j, double d) const;
    // The same for one of the contour's own points, skipping the segments that hold it.
    bool close(std::size_t point, std::size_t* i, std::size_t* j, double d) const;
    // Pen lifted at p: closes a stroke whose end came back to its first half.
    bool finish(const vertex2d& p, double d);

    bool point_inside(const vertex2d& p) const;  // even-odd rule
    double area() const;                         // signed shoelace, closing pair only when closed
    // Signed area of the closed polygon; the centroid only when that is not 0.
    double centroid_and_area(vertex2d* centroid) const;
    double perimeter(double y_ratio) const;
    void simplify(double tolerance);  // Douglas-Peucker
    void update_concave();
    // Removes self-crossings: bit 0 when points moved, bit 1 when crossings remain.
    int make_simple();
    // Whether two of its segments that are not neighbours cross.
    bool crosses_itself() const;
};

// A scan conversion of a contour set: signed labels over the set's box,
// positive inside. Pixels beside the outline hold 12 times their signed
// distance in pixels (never 0); the others +-region_far.
struct region_labels {
    static constexpr std::int16_t far = 32000;
    std::int32_t x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<std::int16_t> labels;  // row-major, width * height

    std::int16_t at(std::int32_t x, std::int32_t y) const
    {
        return labels[static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x - x0)];
    }
};

// All outlines of one object on one frame.
struct contour_set {
    std::vector<contour> contours;
    std::int32_t frame = -1;  // -1: blank
    std::int32_t region_x = 0, region_y = 0, region_width = 0, region_height = 0;
    double area = -1.0;  // square pixels; -1 until measured, reset by every change
    double centroid_x = 0.0, centroid_y = 0.0;

    // Sum of the contours' perimeters; -1 for an empty set.
    double perimeter(double y_ratio) const;
    // Measures area and centroid (holes by nesting, whatever the orientation)
    // and, unless area_only, scan-converts the set over its box widened by
    // `margin`. Nothing for an empty set, or a box too large to label.
    std::unique_ptr<region_labels> region(int margin, bool area_only);
    // Every contour simple and under `tolerance` simplification, duplicates
    // removed; returns how many contours changed. `report` logs each repair.
    int make_simple(double tolerance, bool report);
    // Whether area and centroid are known and usable (a positive area).
    bool measured() const { return area > 0.0; }
};

struct rgb_t {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const rgb_t&) const = default;
};

// One segmented structure: its outlines on any number of frames.
struct contour_object {
    std::vector<contour_set> sets;  // ascending frame order, at most one per frame
    double volume = 0.0;            // millilitres, from the last measurement
    wxString name;
    rgb_t colour;
    double opacity = 1.0;
    bool solid = true;

    // The set of a frame, created in order when missing.
    contour_set& set_for_frame(std::int32_t frame);
    contour_set* find_set(std::int32_t frame);
    bool has_outlines() const;
    // Appends an outline to the frame's set. False, adding nothing, for an
    // outline identical to one already there.
    bool insert(std::int32_t frame, contour c);
    // Drops sets left without outlines.
    void remove_empty_sets();
    void clear();
};

// The file keeps outline vertices to 0.01 pixel: outlines are put on that grid
// when made, so that a saved and reopened outline measures the same.
double to_file_grid(double v);
