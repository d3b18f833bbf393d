// Controls the reslice pages share: the compounding box, the surface
// choice and a slider with its label.
#pragma once

#include <vector>

class base_functor;
class wxChoice;
class wxRadioBox;
class wxSizer;
class wxSlider;
class wxWindow;

wxRadioBox* compounding_box(wxWindow* parent);
// Fills `choice` with "(none)" and one entry per surface that exists,
// selecting `current` (a surface that has gone shows as "(none)"); returns the
// RES_SURFACE slot of each entry after the first.
std::vector<int> fill_surface_choice(wxChoice* choice, int current);
int chosen_surface(const wxChoice* choice, const std::vector<int>& slots);
// Registers f on every surface slot, so surface choices stay current.
void watch_surfaces(base_functor* f);
wxSlider* labelled_slider(wxWindow* parent, wxSizer* grid, const char* label, int value, int low, int high);
