// A tracked ultrasound sequence made a recording: each frame placed by its
// probe's tracked pose (in the tracker's frame, or in a reference tool's),
// the image-to-probe matrix made the probe calibration and pixel scales.
// Everything is read and checked before the session's recording is touched.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "volumes/image_to_probe.h"

struct sequence_import_options_t {
    row_major16_t image_to_probe{};
    bool have_image_to_probe = false;  // else the file's own ImageToProbeTransform field
    std::string probe = "Probe";
    std::string reference;  // empty: poses in the tracker's frame
};

struct sequence_recording_t {
    long width = 0, height = 0;
    std::vector<cip_t> frames;
    std::vector<counted_array_ptr<float>> poses;  // empty for a frame without a usable pose
    std::vector<std::uint64_t> times;             // 100 ns ticks
    probe_calibration_fit_t calibration;          // rounded as the recording file keeps it
    row_major16_t image_to_probe{};
    double residual_mm = 0.0;      // of the calibration against the matrix, at the image's corners
    long frames_without_pose = 0;  // status not OK, or no transform for the frame
    long frames_left_out = 0;      // ImageStatus not OK
};

// Called with frames done and the total; false cancels.
using sequence_progress_t = std::function<bool(long done, long total)>;

// False with the reason (empty when cancelled).
bool read_sequence_recording(const wxString& path, const sequence_import_options_t& options, sequence_recording_t* out,
                             wxString* why, const sequence_progress_t& progress = {});

// Cuts the frames to the smallest rectangle holding every non-zero pixel of
// any frame (scanners' frames carry a black border), moving the calibration
// so that every pixel kept stays where it was. False, changing nothing, when
// there is no border to cut (or no non-zero pixel at all); else the
// rectangle cut to in *x0, *y0 and the new size.
bool clip_sequence_to_content(sequence_recording_t* sequence, long* x0, long* y0);

// Replaces the session's recording, named `recording_path` (not written).
void make_sequence_recording(const sequence_recording_t& sequence, const wxString& recording_path);

// The recording name a sequence file suggests: beside it, without .igs/.seq.
wxString sequence_recording_name(const wxString& sequence_path);

// What an import reports: frames, poses, calibration and its residual.
wxString sequence_import_summary(const sequence_recording_t& sequence);

// File, Open of a sequence: the calibration asked for through interaction()
// (a device-set XML file or the 16 numbers typed), then read with progress.
// False, with the reason logged (nothing when cancelled) and the recording held untouched.
bool load_sequence_file(const wxString& path);
