// How script functions read the words they are given and name the files
// they write, alike for every subsystem that registers functions.
#pragma once

#include <wx/string.h>

// An object by its number (from 0, as the object list and a loop give it)
// or its name; -1 for none.
long script_object(const wxString& word);

// A finite number written with a decimal point (whatever the locale) into *value.
bool script_number(const wxString& word, double* value);

// A file named by a script: a relative name is taken beside the open
// recording, where a cohort's results belong, not in whatever folder the
// program was started from.
wxString beside_recording(const wxString& given);

// "<recording>_<object name>" beside the recording (the automatic file-name
// stem in the recording folder when none is named), the object's name made
// plain for a file name: where an object's results and surfaces go.
wxString object_file_base(long object);
