#include "output_names.h"

#include <cstdio>

#include "common/file_names.h"

wxString tool_output_name(const char* command, const wxString& given, const std::vector<wxString>& accepted)
{
    // The dialogs' rule, with one filter holding every accepted extension.
    wxString patterns;
    for (const wxString& e : accepted)
        patterns << (patterns.empty() ? "" : ";") << "*." << e;
    const save_name_t name = resolve_save_name(given, "output|" + patterns, 0);
    if (!name.error.empty()) {
        std::fprintf(stderr, "kestrane-tool %s: %s\n", command, name.error.utf8_str().data());
        return {};
    }
    return name.path;
}

const std::vector<wxString>& recording_or_image_extensions()
{
    static const std::vector<wxString> extensions{"ks", "png", "bmp", "jpeg", "jpg", "tiff", "tif"};
    return extensions;
}
