// kestrane-tool fit-model: a statistical shape model fitted to a surface and
// its landmarks, as the shape-model page does; make-model-demo: a model with
// known modes and an instance of it to try that on.
#pragma once

#include <vector>

#include <wx/string.h>

int run_fit_model(const std::vector<wxString>& args);
int run_make_model_demo(const std::vector<wxString>& args);
