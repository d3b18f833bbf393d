// Synthetic B-scans of a phantom. Each pixel (u, v) is the world point
// image_to_world(pose) * (u * sx, v * sy, 0); its grey is the echo level of
// the tissue there, times exp(-attenuation * v * sy), times Rayleigh speckle
// of mean 1, rounded and held to 1..255 so no pixel reads as "no data".
#pragma once

#include <cstdint>
#include <vector>

#include "common/cip.h"
#include "demo/phantom.h"
#include "demo/sweep.h"

// Which tissue each pixel lies in (label values in phantom.h); the same
// classification render_bscan uses.
cip_t render_labels(const phantom& body, const float* pose, const probe_setup& probe);

// The same seed gives the same image, byte for byte.
cip_t render_bscan(const phantom& body, const float* pose, const probe_setup& probe, std::uint64_t seed);

// Speckle fixed in the tissue rather than drawn afresh for each frame: a
// lattice of grain cm, seen through a beam `beam` cm thick.
struct tissue_speckle {
    double grain = 0.01, beam = 0.12;
    std::uint64_t seed = 0;
};

// A B-scan whose row v shows the image plane at depth row_depth[v] rows
// (compressed tissue shows deeper tissue higher up), its speckle fixed in
// the tissue. Empty unless row_depth has one entry a row.
cip_t render_tissue_bscan(const phantom& body, const float* pose, const probe_setup& probe,
                          const std::vector<double>& row_depth, const tissue_speckle& speckle);
// The labels of the same rows.
cip_t render_tissue_labels(const phantom& body, const float* pose, const probe_setup& probe,
                           const std::vector<double>& row_depth);
