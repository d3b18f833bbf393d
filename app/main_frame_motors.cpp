// Configure, the motor dialogs: modeless, made once and shown again, so that
// a gantry sequence can run while the user records.
#include "dialogs/zaber_dialog.h"
#include "main_frame.h"
#include "main_window.h"

void MainFrame::OnConfigZaber(wxCommandEvent&)
{
    if (!zaber_dialog_) {
        auto& app = static_cast<MainWindow&>(*wxTheApp);
        zaber_dialog_ = new zaber_dialog(this, app.gantry(), app.gantry_runner());  // the toolkit owns windows
    }
    zaber_dialog_->Show();
    zaber_dialog_->Raise();
}
