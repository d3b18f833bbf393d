// Writes the demo sweep as a real recording (.ks and .kvi) with its ground
// truth beside it, so that anyone can try Kestrane, and tests can check
// reconstruction against known shapes, without a scanner.
#pragma once

#include "demo/sweep.h"

#include <wx/string.h>

// Files written into `dir`.
inline constexpr const char* demo_recording_name = "kestrane_demo.ks";
inline constexpr const char* demo_truth_name = "kestrane_demo_truth.txt";
// The demo probe's calibration and scales as a template, for recording the
// phantom live with simulated images and a simulated tracker.
inline constexpr const char* demo_template_name = "kestrane_demo.kst";
// The B-scan demo's shapes are outlined on every this many frames.
inline constexpr int demo_outline_every = 10;

// Needs a core session (the resource table, frame buffer and recording files);
// replaces the recording in memory by the demo. False, with the reason logged,
// when a file could not be written. With `labels` the frames are the label
// images (0 tissue, 1 skin, then one value per shape) instead of B-scans, so
// that segmentation can be scored against the true shapes.
bool write_demo_recording(const wxString& dir, int frames = 300, long width = 640, long height = 480,
                          bool labels = false);

// Makes `dir` and its parents as needed; false, with the reason logged, when
// it cannot be made.
bool make_demo_folder(const wxString& dir);

// Makes `probe`'s calibration and pixel scales the session's, so that frames
// placed by its poses land where the demo put them.
void use_demo_probe(const probe_setup& probe);
