// kestrane-tool commands that build regular volumes from recordings.
#pragma once

#include <vector>

#include <wx/string.h>

int run_export_voxels(const std::vector<wxString>& args);
