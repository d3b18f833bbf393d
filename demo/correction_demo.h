// A demo sweep with known faults for image-based correction: speckle fixed in
// the tissue (so neighbouring frames correlate), tissue compressed by the
// probe by an amount that varies along the sweep, and recorded poses that
// carry a known in-plane error (lateral, axial and a turn about the image
// normal: white noise plus a few cycles a sweep, and optionally a slow
// drift). The true poses, recorded poses and compressions are written beside
// the recording as CSV.
//
// Compression model: a frame pressed in by c cm has its probe (the true pose)
// c cm deeper than the uncompressed one; tissue above compression_top moves
// with the probe, tissue below compression_bottom stays, and in between the
// layer is squeezed evenly. Row v therefore shows the tissue the uncompressed
// frame shows at depth v * sy + c * w(v * sy), w rising from 0 to 1 across
// the layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "demo/scene.h"

inline constexpr const char* correction_demo_name = "kestrane_demo_correction.ks";
inline constexpr const char* correction_truth_name = "kestrane_demo_correction_truth.csv";

struct correction_demo_options {
    int frames = 300;
    long width = 640, height = 480;
    double jitter_mm = 1.0;                                  // in-plane position error scale (0: none)
    double jitter_deg = 1.0;                                 // in-plane rotation error scale
    double drift_mm = 0.0;                                   // slow lateral and axial drift over the sweep
    double compression_mm = 0.0;                             // largest compression (0: none)
    double compression_top = 0.5, compression_bottom = 2.5;  // cm below the probe face
    std::uint64_t seed = 20240301;
};

struct correction_truth_frame {
    counted_array_ptr<float> true_pose, recorded_pose;  // sensor poses
    double compression = 0.0;                           // cm
    double error[3] = {};                               // lateral cm, axial cm, turn degrees
};

struct correction_demo {
    demo_scene scene;
    correction_demo_options options;
    std::vector<correction_truth_frame> frames;
};

correction_demo make_correction_demo(const correction_demo_options& options);

// How far (0 to 1) the compression reaches at depth cm.
double compression_weight(const correction_demo_options& o, double depth);

// Frame k as scanned: compressed tissue, tissue-fixed speckle; with
// `compressed` false, the same frame without the compression.
cip_t render_correction_frame(const correction_demo& demo, std::size_t k, bool compressed = true);

// Needs a core session; replaces the recording in memory with the demo (the
// recorded poses) and writes it, its scene truth and the CSV into dir.
bool write_correction_demo(const wxString& dir, const correction_demo_options& options);

bool write_correction_truth(const std::string& path, const correction_demo& demo);
