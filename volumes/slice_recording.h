// A stack of slices made the session's recording: frames of 16-bit values
// shown through the display window, each placed by its own pose, with the
// identity calibration.
#pragma once

#include <optional>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "volumes/dicom_image.h"

// What the display needs of the data besides the frames.
struct dicom_data_set_t {
    std::optional<std::uint16_t> padding;
    std::vector<window_preset_t> presets;  // the first file's windows
};

struct slice_stack_t {
    long columns = 0, rows = 0;
    double column_spacing_mm = 1.0, row_spacing_mm = 1.0;  // across a row (between columns) and down
    std::vector<cip_t> images;                             // 16-bit values, display images made from them
    std::vector<counted_array_ptr<float>> poses;
    // Each frame's place among the DICOM frames below the recording's folder
    // (RES_DICOM_FRAME_LIST); empty for frames from a volume file, which can
    // only be saved as 8-bit frames.
    std::vector<long> sources;
    double slope = 1.0, intercept = 0.0;  // kept value to Hounsfield units
    std::optional<double> window_centre, window_width;
    dicom_data_set_t data_set;
};

// Replaces the session's recording by the stack, named `recording_path`
// (not written), with the data's own window when it has one.
void make_dicom_recording(const slice_stack_t& stack, const wxString& recording_path);
