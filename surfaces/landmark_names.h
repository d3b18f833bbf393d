// Landmark names: the default names, the checks a new or changed name must
// pass, and the spine vocabulary that turns a name into vertebra indices.
// Pure functions over the recording's landmark list; the landmarks page and
// surface building call them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include <wx/string.h>

#include "resources/recording_data.h"

namespace spine {
inline constexpr int vertebra_count = 22;
inline constexpr int marks_per_vertebra = 3;
inline constexpr int reference_count = 3;
inline constexpr int reference_vertebra = -1;  // the vertebra index of a spine reference
enum vertebra_mark : int { left_lamina = 0, spinous_process = 1, right_lamina = 2 };
enum reference : int { left_lower = 0, central_upper = 1, right_lower = 2 };

extern const std::array<const char*, vertebra_count> vertebra_names;
extern const std::array<const char*, marks_per_vertebra> mark_names;
extern const std::array<const char*, reference_count> reference_names;

// "T12 Spinous Process"; empty for indices outside the tables.
wxString landmark_name(int vertebra, int mark);
// "Spine Central Upper"; empty for an index outside the table.
wxString reference_name(int reference);
// The vertebra's name, or empty for a reference or an index outside the table.
wxString vertebra_name(int vertebra);
}  // namespace spine

// Indices into landmarks::list.
using landmark_index = std::size_t;

// The default name for a new landmark of `kind`: "Landmark %i", "Fiducial %i"
// or "Surface %i" with the smallest number from 1 not yet taken.
// Every kind but fiducials and surface landmarks takes "Landmark %i".
wxString default_landmark_name(const landmarks& marks, lmark_t kind);

// Validates a new or changed name for a landmark of `kind`; `self` is the
// landmark being renamed (its own name does not count as taken). On refusal
// returns false with the message for the user in *why.
// Whether a name holds a control character (a new line would split its line in a recording).
bool has_control_character(const wxString& name);

bool check_name(const landmarks& marks, const wxString& name, lmark_t kind,
                std::optional<landmark_index> self, wxString* why);

// For a 3D or spine landmark: kind, vertebra and spine landmark index from
// its name (a vertebra name, a blank, a vertebra landmark name; or "Spine "
// and a reference name), else a plain 3D landmark. Other kinds are left alone.
void create_indices_from_name(landmark_t* mark);
// The same for every landmark: a recording saves spine landmarks as plain
// LANDMARK lines, so their kind and indices come back from their names.
void create_indices_from_names(landmarks* marks);
