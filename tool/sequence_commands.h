// kestrane-tool import of a tracked ultrasound sequence (import sends such
// files here) and export-sequence.
#pragma once

#include <vector>

#include <wx/string.h>

int run_sequence_import(const std::vector<wxString>& args);
int run_export_sequence(const std::vector<wxString>& args);
