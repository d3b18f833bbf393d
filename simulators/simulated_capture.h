// The simulated image source as the settings ask for it (RES_SIM_IMAGE_SOURCE),
// wired to the program: B-scans of the demo phantom at the probe pose the
// live synchroniser holds for each frame's moment, through the current
// calibration and scales; or a replay of the frames held at that moment.
// The program and kestrane-tool build it the same way.
#pragma once

#include <cstdint>
#include <memory>

#include "simulators/simulated_source.h"

enum simulated_images_t : long { SIMULATED_PHANTOM = 0, SIMULATED_REPLAY = 1 };

// The probe pose the live synchroniser holds for a moment (interpolated
// between the tracker's samples around it); false when it has none.
bool synchronised_probe_pose(std::uint64_t time, float pose[6]);

// Null (with the reason logged) for a replay with no frames held.
std::unique_ptr<simulated_image_source_t> simulated_source_from_settings();
