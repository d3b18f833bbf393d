// Controls the pages share: the compounding box, the surface
// choice, a slider with its label, and scrolling pages.
#pragma once

#include <vector>

class base_functor;
class wxChoice;
class wxRadioBox;
class wxSizer;
class wxSlider;
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
