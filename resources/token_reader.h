// Reads the fields of a data line one token at a time, as the recording's
// data lines are read: numbers strictly in "C" notation, names as the rest
// of the line.
#pragma once

#include <cstdint>

#include <wx/string.h>

class token_reader {
public:
    explicit token_reader(const wxString& text) : text_(text) {}

    bool next(wxString* token);
    bool next_long(long* out);
    bool next_double(double* out);
    // Leading decimal digits of the next token (reading stops at the first
    // non-digit); false when the token is missing or starts without a digit.
    bool next_leading_digits(std::uint64_t* out, bool* missing);
    bool at_end();
    // The rest of the line without surrounding white space.
    wxString rest();

private:
    void skip_space();
    const wxString& text_;
    std::size_t pos_ = 0;
};
