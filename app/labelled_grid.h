// The two-column layout of the configuration dialogs: a label, then its
// control, a row each.
#pragma once

#include <cstdint>

#include <wx/gdicmn.h>

class wxFlexGridSizer;
class wxSpinCtrl;
class wxWindow;

// A stored value held to a control's range.
int clamp_int(std::int64_t v, int low, int high);

class labelled_grid_t {
public:
    explicit labelled_grid_t(wxWindow* parent, wxSize gap = wxSize(12, 6));
    // The sizer that holds the rows; its owner adds it to its own layout.
    wxFlexGridSizer* sizer() const { return sizer_; }
    void label(const char* text);
    // A labelled spin control showing `value` held to low .. high.
    wxSpinCtrl* spin(const char* text, int low, int high, std::int64_t value, wxSize size = wxDefaultSize);

private:
    wxWindow* parent_;
    wxFlexGridSizer* sizer_;  // owned by the window it is given to
};
