// A DICOMDIR: the index of a DICOM medium. Its directory records
// (0004,1220) name the image files by Referenced File ID (0004,1500), a path
// of components below the DICOMDIR's folder. Untrusted: every component must
// be a plain name (no "..", no separators), and only regular files are kept.
#pragma once

#include <vector>

#include <wx/string.h>

// Whether the file is a DICOMDIR (by name, or by its records).
bool is_dicomdir(const wxString& path);

// The files the records reference, in record order, each once. False, with
// the reason, when the file is not a readable DICOMDIR; references that are
// unsafe or missing are left out and counted in *left_out.
bool read_dicomdir(const wxString& path, std::vector<wxString>* files, long* left_out, wxString* why);
