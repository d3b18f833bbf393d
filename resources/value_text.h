// Text forms of resource values, always in the "C" notation whatever the
// process locale. Parsers accept the whole text or nothing.
#pragma once

#include <cstdint>

#include <wx/string.h>

namespace value_text {

bool parse_long(const wxString& text, std::int64_t* out);
bool parse_double(const wxString& text, double* out);  // NaN and infinities are refused
bool parse_bool(const wxString& text, bool* out);      // T.../F... or an integer 1/0

wxString fixed6(double v);      // recording and template files: fixed, six decimals
wxString round_trip(double v);  // settings file: shortest text that reads back equal
// A float in six decimals when that reads back to the same float, else in as
// many digits as it takes: poses must come back from a file unchanged.
wxString float_text(float v);

// The text with line breaks replaced by spaces: a value must never add lines to a file.
wxString single_line(const wxString& s);

}  // namespace value_text
