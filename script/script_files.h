// The recordings an 'open' line names: the .ks files of a folder (any letter
// case, nothing else), in the byte order of their names, numbered from 1;
// narrowed by a name filter and then by a range of those numbers, each file
// keeping its number so that one run can be split into many.
#pragma once

#include <vector>

#include <wx/string.h>

struct script_file_t {
    long number = 0;  // in the folder's list after the filter, from 1
    wxString path;
};

// The names (not paths) of the recordings in dir, sorted. False with *why when
// the folder cannot be read.
bool list_recordings(const wxString& dir, std::vector<wxString>* names, wxString* why);

// The recordings of dir whose names match filter + "*", numbered.
std::vector<script_file_t> filter_recordings(const wxString& dir, const std::vector<wxString>& names,
                                             const wxString& filter);

// Keeps the files whose numbers the range takes: numbers and spans ("a-b" or
// "a:b") separated by "," or ";". Spans past the list are clipped. False,
// leaving files unchanged, for a range that does not read.
bool select_file_range(const wxString& range, std::vector<script_file_t>* files);
