// Controls the pages share: the compounding box, the surface
// choice, a slider with its label, and scrolling pages.
#pragma once

#include <functional>
#include <vector>

#include <wx/string.h>

class base_functor;
class wxChoice;
class wxRadioBox;
class wxSizer;
class wxSlider;
class wxTextCtrl;
class wxWindow;
class wxScrolledWindow;

wxRadioBox* compounding_box(wxWindow* parent);
// Fills `choice` with "(none)" and one entry per surface that exists,
// selecting `current` (a surface that has gone shows as "(none)"); returns the
// RES_SURFACE slot of each entry after the first.
std::vector<int> fill_surface_choice(wxChoice* choice, int current);
int chosen_surface(const wxChoice* choice, const std::vector<int>& slots);
// Registers f on every surface slot, so surface choices stay current.
void watch_surfaces(base_functor* f);
// Gives `page` its controls; the page scrolls when they do not fit.
void scroll_when_squeezed(wxScrolledWindow* page, wxSizer* sizer);
wxSlider* labelled_slider(wxWindow* parent, wxSizer* grid, const char* label, int value, int low, int high);

// Runs `handler` when the field's text is entered or the field loses the focus.
void on_entry(wxTextCtrl* field, std::function<void()> handler);
// The water temperature typed in `field`: 1 to 90 Celsius into
// RES_CAL_TEMPERATURE; anything else is warned about and the field shows the
// setting again.
void apply_water_temperature(wxTextCtrl* field);
// "Probe calibrated on" and the date, or "No valid probe calibration".
wxString probe_calibration_text();
