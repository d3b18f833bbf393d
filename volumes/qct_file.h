// QCT volumes: a little-endian file of slice records, each a 128-byte
// header (size, pixel sizes, spacing, position along z) followed by its
// 16-bit pixels. Untrusted: every offset, size and value is checked.
#pragma once

#include <wx/string.h>

struct slice_stack_t;

// Whether the file starts as a QCT file does (a plausible header and a first
// record inside it); cheap, for telling it from DICOM.
bool looks_like_qct(const wxString& path);

// The slices from the one marked first to the last record, each placed along
// z by its position; slices of another size than the first are left out and
// counted in *ignored. *scan gets "Scanned on DD/MM/YYYY, DOB DD/MM/YYYY".
bool read_qct(const wxString& path, slice_stack_t* stack, long* ignored, wxString* scan, wxString* why);
