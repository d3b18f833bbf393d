// kestrane-tool correct: image-based position (and pressure) correction of a recording.
#pragma once

#include <vector>

#include <wx/string.h>

int run_correct(const std::vector<wxString>& args);
