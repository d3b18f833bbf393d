// Where the tracked pointer's tip is: its pose applied to the calibrated tip
// offset of the pointer in use (pointer source 5 is the second pointer type).
#pragma once

#include <optional>

#include "common/counted_array_ptr.h"
#include "common/vertex.h"

// World cm; nothing for a pose that is missing, short or not finite.
std::optional<vertex3d> pointer_tip_in_world(const counted_array_ptr<float>& pose);
