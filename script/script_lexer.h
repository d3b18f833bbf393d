// Script text as lines of words: everything from '#' on is a comment, blanks,
// tabs, carriage returns and line feeds separate words, and a word in double
// quotes may hold blanks (the quotes are dropped).
#pragma once

#include <vector>

#include <wx/string.h>

// The lines of a script's text, split at line feeds; line i of the result is
// line i + 1 of the script.
std::vector<wxString> split_script_lines(const wxString& text);

// The words of one line; none for a blank or comment line. False, with the
// message in *error, for a quote inside a word ("Internal quote in ...") or
// a quoted word without its closing quote.
bool lex_script_line(const wxString& line, std::vector<wxString>* words, wxString* error);
