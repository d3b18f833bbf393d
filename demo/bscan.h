// Synthetic B-scans of a phantom. Each pixel (u, v) is the world point
// image_to_world(pose) * (u * sx, v * sy, 0); its grey is the echo level of
// the tissue there, times exp(-attenuation * v * sy), times Rayleigh speckle
// of mean 1, rounded and held to 1..255 so no pixel reads as "no data".
#pragma once

#include <cstdint>

#include "common/cip.h"
#include "demo/phantom.h"
#include "demo/sweep.h"

// Which tissue each pixel lies in (label values in phantom.h); the same
// classification render_bscan uses.
cip_t render_labels(const phantom& body, const float* pose, const probe_setup& probe);

// The same seed gives the same image, byte for byte.
cip_t render_bscan(const phantom& body, const float* pose, const probe_setup& probe, std::uint64_t seed);
