// kestrane-tool run: a script run without the program's window.
#pragma once

#include <vector>

#include <wx/string.h>

int run_script(const std::vector<wxString>& args);
// kestrane-tool merge-results: the part tables of a split run as one table.
int run_merge_results(const std::vector<wxString>& args);
