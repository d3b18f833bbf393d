// kestrane-tool calibrate and make-calib-demo: plane-phantom calibration of a
// recorded water-bath sweep, and a synthetic sweep with its truth to try it on.
#pragma once

#include <vector>

#include <wx/string.h>

int run_calibrate(const std::vector<wxString>& args);
int run_make_calib_demo(const std::vector<wxString>& args);
