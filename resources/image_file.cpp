#include "image_file.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <vector>

#include <wx/mstream.h>

#include "safe_file.h"

std::optional<wxBitmapType> image_type_for(const wxString& path)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext == "png")
        return wxBITMAP_TYPE_PNG;
    if (ext == "jpeg" || ext == "jpg")
        return wxBITMAP_TYPE_JPEG;
    if (ext == "bmp")
        return wxBITMAP_TYPE_BMP;
    if (ext == "tiff" || ext == "tif")
        return wxBITMAP_TYPE_TIFF;
    if (ext == "ppm")
        return wxBITMAP_TYPE_PNM;
    return std::nullopt;
}

bool save_image_file(const wxImage& image, const wxString& path)
{
    static const bool handlers = [] {
        wxInitAllImageHandlers();
        return true;
    }();
    (void)handlers;
    const auto type = image_type_for(path);
    if (!type) {
        const wxFileName name(path);
        wxLogError("Unknown image file extension '%s' in '%s': use .png, .jpeg, .bmp, .tiff or .ppm.",
                   name.HasExt() ? "." + name.GetExt() : wxString("(none)"), name.GetFullName());
        return false;
    }
    wxMemoryOutputStream encoded;
    bool ok;
    {
        wxLogNull quiet;  // the message below says it plainly
        ok = image.IsOk() && image.SaveFile(encoded, *type);
    }
    if (!ok) {
        wxLogError("The picture could not be encoded for '%s'.", path);
        return false;
    }
    safe_file_t file(path);
    if (!file.ok()) {
        wxLogError("Error opening file for writing.\n%s: %s", path, file.error_text());
        return false;
    }
    const std::size_t size = static_cast<std::size_t>(encoded.GetSize());
    std::vector<char> bytes(size);
    encoded.CopyTo(bytes.data(), size);
    if (!file.write(bytes.data(), size) || !file.finish()) {
        wxLogError("Error writing '%s': %s", path, file.error_text());
        return false;
    }
    if (!file.commit()) {
        wxLogError("Error renaming the written file to '%s': %s", path, file.error_text());
        return false;
    }
    return true;
}
