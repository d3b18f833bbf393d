// kestrane-tool density-calibrate: a CT recording's bone-density calibration
// from the phantom inserts outlined on it.
#pragma once

#include <vector>

#include <wx/string.h>

int run_density_calibrate(const std::vector<wxString>& args);
