// Names of files the user saves to: the extension a dialog's chosen filter
// implies when the typed name has none, and the refusal of an extension no
// filter offers. Used by every save dialog of the program.
#pragma once

#include <optional>
#include <vector>

#include <wx/string.h>

#include "interaction.h"

// The extensions (lower case, no dot) of filter `filter` of a wildcard such as
// "PNG file (*.png)|*.png|JPEG file (*.jpeg)|*.jpeg;*.jpg"; empty for a filter
// that takes any name ("*" or "*.*") or an index out of range.
std::vector<wxString> filter_extensions(const wxString& wildcard, int filter);

// What a typed name becomes: the path to write and the filter its extension
// belongs to, or the reason it cannot be used.
struct save_name_t {
    wxString path;
    int filter = -1;
    wxString error;  // empty when the name is usable
};

// A name without an extension gets the chosen filter's first extension (or the
// first filter's, when the chosen one takes any name). A name whose extension
// belongs to a filter keeps it and counts as that filter (the chosen one
// first). Any other extension is refused, unless a filter takes any name.
save_name_t resolve_save_name(const wxString& path, const wxString& wildcard, int chosen);

// The save dialog: the answer already carries its extension. A refused name
// is logged with its reason; a name that gained an extension and then names
// an existing file is only used when the user agrees to replace it.
std::optional<file_choice_t> ask_save_file(const wxString& caption, const wxString& wildcard,
                                           const wxString& directory);
