// DICOM files found in a folder, grouped into series and ordered through
// space, and a series made into the session's recording: each slice a frame
// placed by its pose, its values windowed to 8-bit grey.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <wx/string.h>

#include "volumes/dicom_image.h"
#include "volumes/dicom_window.h"

struct dicom_slice_t {
    wxString path;
    dicom_image_t image;
    long frame = 0;         // within a multi-frame file
    double location = 0.0;  // along the series' slice normal, mm
};

struct dicom_series_t {
    std::string uid;
    long rows = 0, columns = 0;
    double row_spacing_mm = 0.0, column_spacing_mm = 0.0;
    std::vector<dicom_slice_t> slices;

    // "%s: DICOM series of %li frames, file '%s', size %li x %li." and its kin.
    wxString description(int number) const;
};

// The regular files below `dir`, every folder visited once (links to
// folders are not followed, so a loop cannot trap the search), in name order.
std::vector<wxString> find_data_files(const wxString& dir);

// Reads the files' headers and groups their slices: by Series Instance UID,
// then by size and pixel spacing. Files that are not readable DICOM images
// are counted in *skipped. Slices are ordered along the normal, then by
// content time.
std::vector<dicom_series_t> group_dicom_series(const std::vector<wxString>& files, long* skipped);

// Replaces the session's recording by the series, windowed with `window`
// (the first slice's own window, or the default, when not given). False,
// with the reason and the recording in memory untouched, when a slice cannot
// be read.
bool import_dicom_series(const dicom_series_t& series, const std::optional<dicom_window_t>& window, wxString* why);
