// Pictures saved as image files: the type follows the file's extension, the
// file is written beside the target and renamed into place, and a failure is
// logged with its real cause. Used by frame export, window grabs and reslices.
#pragma once

#include <optional>

#include <wx/image.h>
#include <wx/string.h>

// The image type an extension names (png, jpeg, jpg, bmp, tiff, tif, ppm), in any letter case.
std::optional<wxBitmapType> image_type_for(const wxString& path);

// Writes `image` to `path` in the type its extension names; false, with the
// reason logged, for an unknown extension, a picture that cannot be encoded,
// or a file that cannot be opened, written or renamed into place.
bool save_image_file(const wxImage& image, const wxString& path);
