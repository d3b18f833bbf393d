// The open recording's landmarks (RES_LANDMARKS) for the landmark pages and
// the tool: taken as a copy to edit, and put back as a whole so that the
// change pass and the unsaved state follow.
#pragma once

#include "resources/recording_data.h"

// A copy of the recording's landmarks, spine landmarks recognised by name
// (a recording saves them as plain LANDMARK lines).
landmarks landmarks_from_session();
// Replaces the recording's landmarks; they count as unsaved until the next save.
void landmarks_to_session(landmarks marks);
