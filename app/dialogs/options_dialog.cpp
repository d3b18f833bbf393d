#include "options_dialog.h"

#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "resources/resource_table.h"

options_dialog::options_dialog(wxWindow* parent) : wxDialog(parent, wxID_ANY, "Options")
{
    auto* grid = new wxFlexGridSizer(2, wxSize(12, 6));
    auto spin = [&](const char* label, int low, int high, std::int64_t value) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        auto* s = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                 low, high, static_cast<int>(std::clamp<std::int64_t>(value, low, high)));
        grid->Add(s);
        return s;
    };
    icon_size = spin("Toolbar icon size (pixels, next start):", 16, 64, res->RES_ICON_SIZE->value());
    pick_distance = spin("Mouse pick distance (screen pixels):", 1, 50, res->RES_MOUSE_SENSITIVITY->value());
    key_step = spin("Keyboard movement step (mm):", 1, 100, res->RES_CURSOR_MOVEMENT->value());
    key_turn = spin("Keyboard rotation step (degrees):", 1, 90, res->RES_CURSOR_ROTATION->value());
    graphics_power = spin("Graphics power (higher renders finer):", 1, 1000000, res->RES_CPU_GRAPHICS_POWER->value());

    auto check = [&](const char* label, bool value) {
        auto* c = new wxCheckBox(this, wxID_ANY, label);
        c->SetValue(value);
        return c;
    };
    wheel_zooms = check("Mouse wheel zooms (otherwise it steps through frames)", res->RES_SCROLL_ZOOM->value());
    middle_rotates = check("Middle button always rotates", res->RES_MOUSE_MIDDLE_OVERRIDE->value());
    right_zooms = check("Right button always zooms", res->RES_MOUSE_RIGHT_OVERRIDE->value());
    dynamic_update = check("Update views while dragging", res->RES_DYNAMIC_UPDATE->value());
    expert = check("Show expert controls", res->RES_EXPERT_MODE->value());

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 10);
    for (wxCheckBox* c : {wheel_zooms, middle_rotates, right_zooms, dynamic_update, expert})
        column->Add(c, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    column->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(column);
}

void options_dialog::apply() const
{
    res->RES_ICON_SIZE->write(icon_size->GetValue());
    res->RES_MOUSE_SENSITIVITY->write(pick_distance->GetValue());
    res->RES_CURSOR_MOVEMENT->write(key_step->GetValue());
    res->RES_CURSOR_ROTATION->write(key_turn->GetValue());
    res->RES_CPU_GRAPHICS_POWER->write(graphics_power->GetValue());
    res->RES_SCROLL_ZOOM->write(wheel_zooms->GetValue());
    res->RES_MOUSE_MIDDLE_OVERRIDE->write(middle_rotates->GetValue());
    res->RES_MOUSE_RIGHT_OVERRIDE->write(right_zooms->GetValue());
    res->RES_DYNAMIC_UPDATE->write(dynamic_update->GetValue());
    res->RES_EXPERT_MODE->write(expert->GetValue());
}
