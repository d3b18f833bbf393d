// Opening data that are not recordings: a folder or file of DICOM images, or
// a volume file, made the session's recording of 16-bit frames; and the
// frames of a saved DICOM recording read again from the files beside it.
//
// A DICOM recording is named after its folder ("<folder>/<folder name>.ks",
// or "<folder name>_series<k>.ks" when the folder holds several series, k as
// the series are offered) and lives there: RES_DICOM_FRAME_LIST gives each
// frame's place among the frames of the DICOM images found below that
// folder, files in name order. On opening, every frame must still be there,
// of the recording's size and series and at its saved pose; otherwise the
// recording is refused rather than shown with other frames.
#pragma once

#include <optional>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "volumes/dicom_series.h"
#include "volumes/slice_recording.h"

// A folder, a DICOM file (its folder is searched and its series loaded) or
// a MetaImage, NRRD or Analyze volume, or a tracked sequence (.mha/.nrrd with
// per-frame Seq_Frame fields; see sequence_import.h). Questions and progress go through
// interaction(). False, with the reason logged (nothing when cancelled) and
// the recording held untouched, when nothing was loaded.
bool try_read_other_file(const wxString& path);
bool load_dicom_files(const wxString& path);
bool load_volume_file(const wxString& path);
bool load_qct_file(const wxString& path);

// The series below a folder, or below a file's folder with the file's own
// series picked out.
struct dicom_search_t {
    wxString folder;
    std::vector<dicom_series_t> series;
    std::optional<std::size_t> file_series;
    long skipped = 0;  // files that are not DICOM images
};
// False with the reason logged (nothing when cancelled).
bool search_dicom(const wxString& path, dicom_search_t* found);
// Series `chosen` (from 0) made the session's recording, after the ordering
// question; its loaded and ignored counts reported.
bool load_dicom_series(dicom_search_t& found, std::size_t chosen);

// The name a loaded series' recording takes in `folder`.
wxString dicom_recording_name(const wxString& folder, std::size_t series_number, std::size_t series_count);

// A saved DICOM recording's frames from the files below `folder`; also what
// the display needs of the data set. False, with the reason, when a frame is missing or
// has changed.
bool reread_dicom_frames(const wxString& folder, const std::vector<long>& sources, long width, long height,
                         const std::vector<counted_array_ptr<float>>& poses, std::vector<cip_t>* frames,
                         dicom_data_set_t* data_set, std::pair<double, double>* rescale, wxString* why);
