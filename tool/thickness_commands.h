// kestrane-tool thickness: cortical thickness over a bone surface in a CT volume.
#pragma once

#include <vector>

#include <wx/string.h>

int run_thickness(const std::vector<wxString>& args);
