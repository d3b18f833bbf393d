// kestrane-tool import: a DICOM series (a folder or a file) made into a recording.
#pragma once

#include <vector>

#include <wx/string.h>

int run_import(const std::vector<wxString>& args);
