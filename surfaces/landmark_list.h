// Editing the recording's landmark list: adding with default or given names,
// looking up, renaming, removing and clearing. Every name goes through
// check_name, so the list never holds two equal names or a name that would
// break the LANDMARK line it is saved in.
#pragma once

#include <optional>
#include <vector>

#include "common/vertex.h"
#include "landmark_names.h"

// A 3D landmark or fiducial at a world position (cm) with its default name.
// A spine kind becomes a plain 3D landmark: a default name names no vertebra.
landmark_index add(landmarks* marks, const vertex3d& position, lmark_t kind);
// A 3D landmark or fiducial with a direction (a surface normal, say).
landmark_index add(landmarks* marks, const vertex3d& position, const vertex3d& direction, lmark_t kind);
// A landmark on frame `frame` at pixel (u, v): "Landmark %i".
landmark_index add_on_frame(landmarks* marks, const vertex2d& pixel, long frame);
// A landmark on the surface of object `object`: "Surface %i".
landmark_index add_on_surface(landmarks* marks, const vertex3d& position, const vertex3d& normal, int object);
// A landmark with a given name: refused (nullopt, reason in *why) when the
// name fails check_name. A 3D landmark whose name follows the spine
// vocabulary becomes a spine landmark.
std::optional<landmark_index> add(landmarks* marks, const vertex3d& position, lmark_t kind, const wxString& name,
                                  wxString* why);
// Places the spine landmark `mark` of `vertebra` (or the reference `mark`
// when vertebra is spine::reference_vertebra), moving it if it exists.
std::optional<landmark_index> set_spine_landmark(landmarks* marks, const vertex3d& position, int vertebra,
                                                 int mark);

std::optional<landmark_index> find(const landmarks& marks, const wxString& name);
// The landmarks on frame `frame`, or on the surface of `object`, in list order.
std::vector<landmark_index> find(const landmarks& marks, long frame);
std::vector<landmark_index> find_surf(const landmarks& marks, int object);
// The spine landmark of a vertebra (or a reference, vertebra -1).
std::optional<landmark_index> find_spine(const landmarks& marks, int vertebra, int mark);

// Renames landmark i; a 3D or spine landmark takes its spine indices from the
// new name. False, with the reason in *why, when the name is refused.
bool rename(landmarks* marks, landmark_index i, const wxString& name, wxString* why);
// False for an index past the end.
bool remove(landmarks* marks, landmark_index i);
// All landmarks but fiducials, or all fiducials.
void clear_data_landmarks(landmarks* marks);
void clear_fiducial_landmarks(landmarks* marks);
