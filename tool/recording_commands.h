// kestrane-tool commands that work on recordings.
#pragma once

#include <vector>

#include <wx/string.h>

int run_info(const std::vector<wxString>& args);
int run_export_frames(const std::vector<wxString>& args);
int run_make_demo(const std::vector<wxString>& args);
