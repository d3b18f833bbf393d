// kestrane-tool import: DICOM, pictures or a volume made into a recording; and
// the loading of such data that other commands share.
#pragma once

#include <vector>

#include <wx/string.h>

int run_import(const std::vector<wxString>& args);

// Loads what a command was given as its data into the tool's session (which
// must exist): a recording, DICOM (series `series_number` from 1, or -1 when
// there must be only one: several are listed), pictures, a volume or QCT
// file. 0 when loaded (the frames and the ignored series reported), else the
// exit status. *data_folder: where DICOM data lie.
int load_tool_input(const wxString& path, long series_number, const char* command, wxString* data_folder);
