// A window showing one plot (the thickness pages' density and profile
// plots), drawn with wx from the same layout as the saved pictures.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>

#include "display/plot.h"
#include "display/plot_layout.h"

class plot_panel_t : public wxPanel {
public:
    explicit plot_panel_t(wxWindow* parent, wxWindowID id = wxID_ANY);

    // Shows `plot` from the next paint on.
    void set_plot(plot_t plot);
    const plot_t& plot() const { return plot_; }
    // Draws the plot filling `size` from the device context's origin.
    void draw(wxDC& dc, const wxSize& size) const;
    // Where draw() puts the parts of the plot with this context's font, e.g.
    // to map data to the pixels shown.
    plot_layout_t layout(wxDC& dc, const wxSize& size) const;
    // The panel as painted, at its present size.
    wxBitmap grab() const;

private:
    void OnPaint(wxPaintEvent&);

    plot_t plot_;
};
