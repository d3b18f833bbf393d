// kestrane-tool track: find the tracker on a serial port and print its poses.
#pragma once

#include <vector>

#include <wx/string.h>

int run_track(const std::vector<wxString>& args);
