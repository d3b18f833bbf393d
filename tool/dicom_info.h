// kestrane-tool info on data that are not recordings: a DICOM file (from
// its header, without decoding the pixels), a folder's series and picture
// sequences, a volume file or a QCT file.
#pragma once

#include <wx/string.h>

// False, with the reason in *text, for a file that is not readable DICOM.
bool describe_dicom_file(const wxString& path, wxString* text);
bool describe_data_folder(const wxString& path, wxString* text);
// MetaImage, NRRD and Analyze volumes, and QCT files.
bool describe_volume_file(const wxString& path, wxString* text);
