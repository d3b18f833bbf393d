// The simulated image source as the settings ask for it (RES_SIM_IMAGE_SOURCE),
// wired to the program: B-scans of the demo phantom at the probe pose the
// live synchroniser holds for each frame's moment, through the current
// calibration and scales; or a replay of the frames held at that moment
// (RF frames as an RF source).
// The program and kestrane-tool build it the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "simulators/simulated_source.h"

enum simulated_images_t : long { SIMULATED_PHANTOM = 0, SIMULATED_REPLAY = 1, SIMULATED_WATER_BATH = 2 };

// The probe pose the live synchroniser holds for a moment (interpolated
// between the tracker's samples around it), or the stage's while a gantry
// runs; false when it has none.
bool synchronised_probe_pose(std::uint64_t time, float pose[6]);

// The moment whose tracker pose a water bath image taken at `time` shows;
// nothing before the clock's start.
std::optional<std::uint64_t> water_bath_pose_time(std::uint64_t time);

// The water bath's images show the probe where it was RES_SIM_IMAGE_LAG ms
// before their time stamps, as a scanner's video trails its tracker: the
// tracker's sample of that moment, whose stamp the latency correction
// (RES_TEMP_CALIB) has moved. Temporal calibration finds minus the lag.
// Null (with the reason logged) for a replay with no frames held. A replay
// of RF frames is an RF source that publishes their samples.
std::unique_ptr<image_source_t> simulated_source_from_settings();
