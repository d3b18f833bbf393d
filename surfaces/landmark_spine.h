// Spine assessment from the spine landmarks: each vertebra's tilt in the
// plane of the three reference landmarks, and the Cobb angle between two
// vertebrae, picked automatically or by the user. Plain data in, numbers and
// the spine page's status texts out.
#pragma once

#include <array>
#include <optional>
#include <utility>

#include "landmark_names.h"

class reslice_plane;

// Which reference direction tilts are measured from: the line from the left
// to the right reference, or the perpendicular to the line from between them
// to the centre reference. Both need all three references, which fix the plane.
enum class spine_reference_mode { left_right, centre };

struct spine_assessment_t {
    wxString reference_status;  // "Using left/right references", "No centre reference", ...
    // Degrees, positive when the vertebra's left-to-right line turns from the
    // reference's towards its up direction; nullopt without both laminae.
    std::array<std::optional<double>, spine::vertebra_count> tilt;
    std::optional<double> cobb_deg;
    int upper = -1, lower = -1;  // the vertebrae the Cobb angle is taken between
    wxString cobb_status;        // "Cobb angle is %.1f deg (auto)" or "Not able to calculate Cobb angle"
};

// The automatic Cobb angle is taken between the two vertebrae whose tilts
// differ most; a manual pair (vertebra indices) replaces that choice.
spine_assessment_t assess_spine(const landmarks& marks, spine_reference_mode mode,
                                std::optional<std::pair<int, int>> manual = std::nullopt);

// True when any spine reference landmark exists (the spine page asks before
// replacing them).
bool has_spine_references(const landmarks& marks);
// Replaces the three references by points of the reslice plane: lower left,
// upper centre and lower right of its middle, a quarter of its width out.
void set_references_from_reslice(landmarks* marks, const reslice_plane& plane);
