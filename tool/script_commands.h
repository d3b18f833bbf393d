// kestrane-tool run: a script run without the program's window.
#pragma once

#include <vector>

#include <wx/string.h>

int run_script(const std::vector<wxString>& args);
