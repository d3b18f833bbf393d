// kestrane-tool stream: a recording or tracked sequence served over
// OpenIGTLink at its recorded pace, to try streaming without a scanner.
#pragma once

#include <vector>

#include <wx/string.h>

int run_stream(const std::vector<wxString>& args);
// kestrane-tool receive: what an OpenIGTLink server sends, recorded.
int run_receive(const std::vector<wxString>& args);
