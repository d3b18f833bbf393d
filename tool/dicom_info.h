// kestrane-tool info on a DICOM file: what it holds, read from its header
// and data set without decoding the pixels.
#pragma once

#include <wx/string.h>

// False, with the reason in *text, for a file that is not readable DICOM.
bool describe_dicom_file(const wxString& path, wxString* text);
