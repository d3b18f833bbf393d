// Isocentre calibration: the pose of the room's isocentre frame from points
// touched with the tracked pointer at the middles of a phantom's faces, where
// the room lasers cross. The isocentre pose maps world points into the
// isocentre frame (its inverse places the isocentre frame in the world).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <wx/string.h>

#include "common/vertex.h"
#include "resources/recording_data.h"

// The middles of the faces touched by fiducials 1 to 5, in the isocentre
// frame (cm, as the program's positions): z = -15, x = -20, y = 15, x = 20
// and z = 15.
inline constexpr std::array<std::array<double, 3>, 5> isocentre_face_middles = {
    {{0, 0, -15}, {-20, 0, 0}, {0, 15, 0}, {20, 0, 0}, {0, 0, 15}}};

struct isocentre_result_t {
    bool started = false;  // at least four fiducials
    bool solved = false;
    bool gave_up = false;          // no start put the fiducials on their faces' sides
    std::array<double, 6> pose{};  // x, y, z (cm), azimuth, elevation, roll (degrees)
    int info = 0;
    double rms = 0.0;  // cm, over the in-face residuals
    wxString message;
};

// The title and text of the box shown when the solve gives up.
inline constexpr const char* isocentre_box_title = "Isocentre calibration";
extern const char* const isocentre_give_up_text;

// Fiducials "Fiducial Isocentre 1" to 5 in world cm, absent ones empty.
// Starts come from `seed`; up to 100 of them.
isocentre_result_t solve_isocentre(const std::array<std::optional<vertex3d>, 5>& fiducials, std::uint64_t seed);
// The same, seeded from the clock.
isocentre_result_t solve_isocentre(const std::array<std::optional<vertex3d>, 5>& fiducials);

// The fiducials are the landmarks "Fiducial Isocentre 1" to 5, a name the
// user cannot give: only the Isocentre page places them.
wxString isocentre_fiducial_name(int n);  // n from 1 to 5
std::array<std::optional<vertex3d>, 5> isocentre_fiducials(const landmarks& marks);
// Places fiducial n (1 to 5) at p, moving it when it exists.
void set_isocentre_fiducial(landmarks* marks, int n, const vertex3d& p);
void clear_isocentre_fiducials(landmarks* marks);
