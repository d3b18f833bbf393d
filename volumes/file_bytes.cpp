#include "file_bytes.h"

#include <algorithm>
#include <fstream>

bool read_file_bytes(const wxString& path, std::vector<std::uint8_t>* bytes, std::uint64_t* size, std::uint64_t limit)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff end = in.tellg();
    if (end < 0)
        return false;
    if (size)
        *size = std::uint64_t(end);
    const std::uint64_t want = limit ? std::min<std::uint64_t>(limit, std::uint64_t(end)) : std::uint64_t(end);
    bytes->resize(std::size_t(want));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes->data()), std::streamsize(want));
    return std::uint64_t(in.gcount()) == want;
}
