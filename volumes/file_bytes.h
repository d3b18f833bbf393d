// A file's bytes in one read: all of them, or its first `limit` bytes.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/string.h>

// False when the file cannot be opened or read. *size, when given, gets the
// whole file's size, also when fewer bytes were asked for.
bool read_file_bytes(const wxString& path, std::vector<std::uint8_t>* bytes, std::uint64_t* size = nullptr,
                     std::uint64_t limit = 0);
