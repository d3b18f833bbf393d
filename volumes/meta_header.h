// The text headers of MetaImage (.mha, .mhd) and NRRD (.nrrd, .nhdr) files:
// "key = value" or "key: value" / "key:=value" lines, read up to where the
// data begin. Shared by the volume readers and the tracked-sequence reader.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <wx/string.h>

struct meta_header_t {
    std::map<std::string, std::string> fields;  // keys in lower case, values trimmed
    std::uint64_t data_offset = 0;              // of attached data, from the start of the file

    // The value of a key given in lower case, or empty.
    const std::string& field(const std::string& key) const;
};

// Reads the header of a MetaImage (nrrd false: up to and including
// ElementDataFile) or NRRD file (up to the blank line, or the whole file with
// a detached data file). Headers longer than max_bytes are refused: the
// reader must not run through a file of data looking for a key.
bool read_meta_header(const wxString& path, bool nrrd, std::uint64_t max_bytes, meta_header_t* header, wxString* why);

std::string trim_blanks(std::string s);
std::string lower_case(std::string s);

// Numbers separated by blanks, commas or brackets; empty when any is not a finite number.
std::vector<double> header_numbers(const std::string& text);

// A data file named by a header: a plain name beside it, a regular file.
bool data_file_beside(const wxString& header_path, const std::string& name, wxString* path, wxString* why);
