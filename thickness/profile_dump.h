// Every point's profile and fit as one line of JSON, so that the fits can be
// checked by another solver: the samples, the weights and start of the last
// solve, what it fitted, and what it found.
#pragma once

#include <vector>

#include <wx/string.h>

#include "thickness/point_fit.h"
#include "thickness/thickness_results.h"

// One line for point `point` (empty when no solve ran there), with the
// point's thickness (mm) and density as mapped.
std::string profile_dump_line(std::size_t point, const point_fit_detail_t& detail, double thickness_mm, double density);

// Writes the lines of the points that have one to `path`, replacing it only
// once all is written. False, with the reason logged, when it cannot be.
bool write_profile_dump(const wxString& path, const std::vector<point_fit_detail_t>& details,
                        const thickness_results_t& results);
