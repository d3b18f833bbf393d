// kestrane-tool swept-motor: initialise a swept probe's motor and run one timed sweep.
#pragma once

#include <vector>

#include <wx/string.h>

int run_swept_motor(const std::vector<wxString>& args);
