// An output stream that collects what is written in memory, so that a text
// file can be built completely before it is written in one safe step.
#pragma once

#include <string>

#include <wx/stream.h>

class string_output_stream : public wxOutputStream {
public:
    std::string bytes;

protected:
    size_t OnSysWrite(const void* buffer, size_t size) override
    {
        bytes.append(static_cast<const char*>(buffer), size);
        return size;
    }
};
