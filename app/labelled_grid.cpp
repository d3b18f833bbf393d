#include "labelled_grid.h"

#include <algorithm>

#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

int clamp_int(std::int64_t v, int low, int high)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, low, high));
}

labelled_grid_t::labelled_grid_t(wxWindow* parent, wxSize gap)
    : parent_(parent), sizer_(new wxFlexGridSizer(2, gap))
{
}

void labelled_grid_t::label(const char* text)
{
    sizer_->Add(new wxStaticText(parent_, wxID_ANY, text), 0, wxALIGN_CENTER_VERTICAL);
}

wxSpinCtrl* labelled_grid_t::spin(const char* text, int low, int high, std::int64_t value, wxSize size)
{
    label(text);
    auto* s = new wxSpinCtrl(parent_, wxID_ANY, wxEmptyString, wxDefaultPosition, size, wxSP_ARROW_KEYS, low, high,
                             clamp_int(value, low, high));
    sizer_->Add(s, 0, wxEXPAND);
    return s;
}
