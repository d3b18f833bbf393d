// kestrane-tool zsq-check and zsq-run: gantry command sequences from a terminal.
#pragma once

#include <vector>

#include <wx/string.h>

int run_zsq_check(const std::vector<wxString>& args);
int run_zsq_run(const std::vector<wxString>& args);
