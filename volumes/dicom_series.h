// DICOM files found in a folder, grouped into series and ordered through
// space, and a series made into the session's recording: each slice a frame
// placed by its pose, its values windowed to 8-bit grey.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <wx/string.h>

#include "volumes/dicom_image.h"

struct dicom_slice_t {
    wxString path;
    dicom_image_t image;
    long frame = 0;         // within a multi-frame file
    double location = 0.0;  // along the series' slice normal, mm
    // Its place among the frames of all DICOM images found, files in name
    // order: what RES_DICOM_FRAME_LIST records to find it again.
    long source = 0;
};

struct dicom_series_t {
    // Ordinary image files rather than DICOM: each slice's image holds only
    // the size, page count (frames) and sign; they lie 1 mm apart.
    bool images = false;
    std::string uid;
    long rows = 0, columns = 0;
    double row_spacing_mm = 0.0, column_spacing_mm = 0.0;
    std::vector<dicom_slice_t> slices;

    // "%s: DICOM series of %li frames, file '%s', size %li x %li." and its kin.
    wxString description(int number) const;
};

// The regular files below `dir`, every folder visited once (links to
// folders are not followed, so a loop cannot trap the search), in name order.
// `keep_going`, when given, is asked now and then; false ends the search
// with nothing found.
std::vector<wxString> find_data_files(const wxString& dir, const std::function<bool()>& keep_going = {});

// Called after each file with the files read so far, the files in all and
// the series found; false cancels the search.
using series_progress_t = std::function<bool(std::size_t done, std::size_t files, std::size_t series)>;

// Reads the files' headers and groups their slices: by Series Instance UID,
// then by size and pixel spacing, in file order. Files that are not readable
// DICOM images are counted in *skipped. With `only` (a DICOMDIR's files),
// other files count towards the slices' sources but join no series. Nothing,
// with *cancelled set, when the progress callback cancels.
std::vector<dicom_series_t> group_dicom_series(const std::vector<wxString>& files, long* skipped,
                                               const series_progress_t& progress = {}, bool* cancelled = nullptr,
                                               const std::set<wxString>* only = nullptr);

// The image files among `files` grouped into sequences by size, in name order.
std::vector<dicom_series_t> group_image_files(const std::vector<wxString>& files);

// Whether the slices already lie in order of location (and content time),
// and that order.
bool slices_in_location_order(const std::vector<dicom_slice_t>& slices);
void sort_by_location(std::vector<dicom_slice_t>* slices);

// Called after each frame read with the frames read so far and in all;
// false cancels.
using frame_progress_t = std::function<bool(std::size_t done, std::size_t frames)>;

// The slices' 16-bit frames, poses and sources, with the first slice's
// rescale, window and padding. False, with the reason, when a slice cannot
// be read (or *cancelled, when the callback cancels).
struct slice_stack_t;
bool read_series_frames(const dicom_series_t& series, slice_stack_t* stack, wxString* why,
                        const frame_progress_t& progress = {}, bool* cancelled = nullptr);
