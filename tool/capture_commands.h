// kestrane-tool capture: lists the image sources, or records frames from one
// (with poses from a tracker) and saves them as a recording.
#pragma once

#include <vector>

#include <wx/string.h>

int run_capture(const std::vector<wxString>& args);
