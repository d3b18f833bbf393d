// Plots saved as files by the command-line tool and the GUI: a PNG picture
// drawn by the raster painter, or the points as CSV for other programs.
// Both write beside the target and rename into place, so a failed save
// leaves an older file whole.
#pragma once

#include <wx/string.h>

#include "plot.h"

// The plot drawn at width x height as a PNG file; `path` must end in .png.
// False, with the reason logged, for a bad size or name or a failed write.
bool save_plot_png(const plot_t& plot, const wxString& path, int width = 800, int height = 600);

// Every series' points as CSV: a "series,x,y" header, then one row per point
// with both coordinates finite, numbers to 17 significant digits (they read
// back exactly), labels quoted when they hold a comma, quote or line break.
// False, with the reason logged, when the file cannot be written.
bool save_plot_csv(const plot_t& plot, const wxString& path);
