// "Export landmarks": the landmarks as comma-separated lines, one per
// landmark, appended to an existing file or written with a header to a new
// one. Either way the file is replaced whole through the safe writer, so a
// failed export leaves the old file as it was.
#pragma once

#include <functional>

#include "landmark_names.h"

struct landmark_export_context_t {
    wxString file_name;      // the recording's file name, without its folder
    double sx = 0, sy = 0;   // pixel size (cm) of the frames 2D landmarks lie on
    std::function<wxString(int object)> object_name;  // for surface landmarks
};

// "File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)" and a line feed.
wxString landmark_csv_header();
// One landmark's line, with its line feed.
wxString landmark_csv_line(const landmark_t& mark, const landmark_export_context_t& context);
// A field as written: quoted, with quotes doubled, when it holds a comma, a
// quote or a line break.
wxString csv_field(const wxString& text);

// The name the export goes to: a name without extension gets ".csv".
wxString landmark_export_path(const wxString& chosen);
// Writes every landmark to `path`, after the header for a new (or empty)
// file, after the existing lines otherwise. False, with the reason logged,
// when the file could not be read or written; the old file is then untouched.
bool export_landmarks(const wxString& path, const landmarks& marks, const landmark_export_context_t& context);

// The recording's name, pixel scales and object names.
landmark_export_context_t landmark_export_context_from_session();
