// kestrane-tool landmarks: a recording's landmarks exported as the landmarks
// page exports them.
#pragma once

#include <vector>

#include <wx/string.h>

int run_landmarks(const std::vector<wxString>& args);
