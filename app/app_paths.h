// Where the program runs from and where it keeps its settings.
#pragma once

#include <wx/string.h>

// The executable's directory: argv0's if absolute, else cwd joined with argv0
// if that exists, else the first PATH directory holding it, else empty.
wxString wxFindAppPath(const wxString& argv0, const wxString& cwd);
