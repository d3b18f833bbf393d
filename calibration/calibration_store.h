// Writing solved calibrations into the session's resources, with today's
// date. Only solved results are written: a failed solve leaves every stored
// calibration as it was.
#pragma once

#include <array>

#include <wx/string.h>

#include "common/vertex.h"

class plane_solve;
struct point_solve;

// The date stored with a calibration: the long form of today's date, as
// "Sunday, 6 December 2026".
wxString calibration_date_text();

// The best trial's plane, translation and angles with the scales the solve
// used; false, writing nothing, for an unsolved solve.
bool store_plane_calibration(const plane_solve& solution);
// The pose and scales of a point calibration.
bool store_point_calibration(const point_solve& solution);
// A pointer's tip offset (cm), into the second pointer type's resources for
// pointer source 5 and the first's otherwise.
void store_pointer_tip(const vertex3d& tip, long pointer_source);
// The isocentre pose: x, y, z (cm), azimuth, elevation, roll (degrees).
void store_isocentre(const std::array<double, 6>& pose);
