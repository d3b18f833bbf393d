// The main window's RF parts: the "RF display" dialog, and the RF items and
// oscilloscope page, which only apply when there are RF data.
#include <wx/menu.h>
#include <wx/notebook.h>

#include "acquisition/rf_display.h"
#include "dialogs/rf_display_dialog.h"
#include "ids.h"
#include "main_frame.h"
#include "resources/resource_table.h"

namespace {
constexpr std::size_t rfscope_visual_page = 7;
}  // namespace

void MainFrame::show_rf_state()
{
    const bool viable = res->RES_RFSCOPE_VIABLE->value();
    if (GetMenuBar()->IsEnabled(ID_CONFIG_RF_DISPLAY) != viable)
        GetMenuBar()->Enable(ID_CONFIG_RF_DISPLAY, viable);
    wxWindow* page = visual_book_->GetPage(rfscope_visual_page);
    if (page->IsEnabled() != viable)
        page->Enable(viable);
}

void MainFrame::OnConfigRfDisplay(wxCommandEvent&)
{
    if (!res->RES_RFSCOPE_VIABLE->value())
        return;  // a script may name the item while it is disabled
    rf_display_dialog dialog(this, rf_display_service ? rf_display_service->probes() : std::vector<probe_entry_t>{});
    if (dialog.ShowModal() == wxID_OK) {
        wxBusyCursor busy;  // the frames held are filtered again
        dialog.apply();
    }
}
