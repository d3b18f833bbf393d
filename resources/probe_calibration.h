// The probe calibration held in the resources: the image-to-sensor pose and
// the pixel scales, written together wherever a calibration is set.
#pragma once

#include <array>

#include "common/matrix16d.h"

// pose: x, y, z (cm), azimuth, elevation, roll (degrees); scales in cm a pixel.
void write_probe_calibration(const std::array<double, 6>& pose, double sx, double sy);

// The calibration in force as a matrix: image plane (cm) to sensor.
matrix16d probe_calibration_matrix();
