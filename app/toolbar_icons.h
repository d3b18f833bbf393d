// Toolbar pictures, drawn at start-up at the icon size of the settings so
// that no image files need to be installed.
#pragma once

#include <wx/bitmap.h>

wxBitmap toolbar_icon(int tool_id, int size);
