// The output names of kestrane-tool commands: a name without an extension
// gets the command's default one, and an extension the command cannot write
// is refused with a message that says which ones it can.
#pragma once

#include <vector>

#include <wx/string.h>

// `given` as the command will write it, or an empty text (the reason printed
// on stderr) when its extension is not one of `accepted` (lower case, no
// dot; the first is the default) or it names a folder.
wxString tool_output_name(const char* command, const wxString& given, const std::vector<wxString>& accepted);

// What export-frames and export-voxels write: a recording or numbered images.
const std::vector<wxString>& recording_or_image_extensions();
