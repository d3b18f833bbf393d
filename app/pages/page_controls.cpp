#include "page_controls.h"

#include <algorithm>

#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/log.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "resources/resource_table.h"

wxRadioBox* compounding_box(wxWindow* parent)
{
    const wxString choices[] = {"&Max", "M&in", "&Ave"};
    return new wxRadioBox(parent, wxID_ANY, "Compounding", wxDefaultPosition, wxDefaultSize, 3, choices, 3);
}

std::vector<int> fill_surface_choice(wxChoice* choice, int current)
{
    std::vector<int> slots;
    wxArrayString items;
    items.Add("(none)");
    for (int i = 0; i < resource_t::surface_slots; ++i)
        if (res->RES_SURFACE[static_cast<std::size_t>(i)]->value()) {
            slots.push_back(i);
            items.Add(wxString::Format("Surface %d", i));
        }
    if (choice->GetStrings() != items)
        choice->Set(items);
    const auto at = std::find(slots.begin(), slots.end(), current);
    choice->SetSelection(at == slots.end() ? 0 : 1 + static_cast<int>(at - slots.begin()));
    return slots;
}

int chosen_surface(const wxChoice* choice, const std::vector<int>& slots)
{
    const int i = choice->GetSelection() - 1;
    return i >= 0 && static_cast<std::size_t>(i) < slots.size() ? slots[static_cast<std::size_t>(i)] : -1;
}

void watch_surfaces(base_functor* f)
{
    for (gen_res_t<std::shared_ptr<surface_interp>>* slot : res->RES_SURFACE)
        slot->add_proc(f);
}

void scroll_when_squeezed(wxScrolledWindow* page, wxSizer* sizer)
{
    page->SetSizer(sizer);
    page->SetScrollRate(8, 8);
    page->FitInside();
}

wxSlider* labelled_slider(wxWindow* parent, wxSizer* grid, const char* label, int value, int low, int high)
{
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* slider = new wxSlider(parent, wxID_ANY, value, low, high, wxDefaultPosition, wxSize(140, -1),
                                wxSL_HORIZONTAL | wxSL_VALUE_LABEL);
    grid->Add(slider, 1, wxEXPAND);
    return slider;
}

void on_entry(wxTextCtrl* field, std::function<void()> handler)
{
    field->Bind(wxEVT_TEXT_ENTER, [handler](wxCommandEvent&) { handler(); });
    field->Bind(wxEVT_KILL_FOCUS, [handler](wxFocusEvent& e) {
        handler();
        e.Skip();
    });
}

void apply_water_temperature(wxTextCtrl* field)
{
    double t = 0;
    if (field->GetValue().Strip(wxString::both).ToCDouble(&t) && t >= 1.0 && t <= 90.0) {
        if (t != res->RES_CAL_TEMPERATURE->value())
            res->RES_CAL_TEMPERATURE->write(t);
        return;
    }
    wxLogWarning("The temperature must be in the range 1-90 celcius");
    field->ChangeValue(wxString::Format("%g", res->RES_CAL_TEMPERATURE->value()));
}

wxString probe_calibration_text()
{
    const wxString date = res->RES_CAL_DATE->value();
    return date.empty() ? wxString("No valid probe calibration") : "Probe calibrated on " + date;
}
