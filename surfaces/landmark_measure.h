// Where landmarks are in the world and what lies between them: the positions
// of landmarks on frames through their frame's pose, and the distances and
// angles of the landmarks page's table. The *_from_session forms read the
// frame poses, calibration and pixel scales of the open recording.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "common/matrix16d.h"
#include "landmark_names.h"

// How a frame's pixels are placed: image_to_world maps (u * sx, v * sy, 0) in
// cm to world for pixel (u, v). Returns nullopt for a frame without a usable pose.
using frame_placement_t = std::function<std::optional<matrix16d>(long frame)>;

struct frame_geometry_t {
    frame_placement_t placement;
    double sx = 0.0, sy = 0.0;  // pixel size, cm
};

// World position (cm) of a landmark: its own for every kind but 2D; a 2D
// landmark's pixel through its frame. Nullopt when that cannot be placed or
// a coordinate is not finite.
std::optional<vertex3d> world_position(const landmark_t& mark, const frame_geometry_t& frames);
// The frames of `bufp` placed by their poses and the session's calibration.
frame_geometry_t frame_geometry_from_session();

// Straight distance in mm between two world points (cm); nullopt if either is missing.
std::optional<double> distance_mm(const std::optional<vertex3d>& a, const std::optional<vertex3d>& b);
// Angle in degrees at `apex` between the directions to a and to b; nullopt
// if any point is missing or coincides with the apex.
std::optional<double> angle_deg(const std::optional<vertex3d>& a, const std::optional<vertex3d>& apex,
                                const std::optional<vertex3d>& b);

// "%.2lf", or "--.--" for a value that cannot be computed.
wxString measurement_text(const std::optional<double>& value);

// One row of the measurement table for the selected landmarks, in selection
// order: coordinates in mm, the distance from the previous row's landmark,
// and the angle at the previous landmark between the one before it and this one.
struct measurement_row_t {
    landmark_index mark = 0;
    std::optional<vertex3d> world_mm;
    std::optional<double> distance_mm;
    std::optional<double> angle_deg;
};
std::vector<measurement_row_t> measure(const landmarks& marks, const std::vector<landmark_index>& selected,
                                       const frame_geometry_t& frames);
