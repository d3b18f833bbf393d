// kestrane-tool commands that measure and segment outlines.
#pragma once

#include <vector>

#include <wx/string.h>

int run_volume(const std::vector<wxString>& args);
int run_segment(const std::vector<wxString>& args);
