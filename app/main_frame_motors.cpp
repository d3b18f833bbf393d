// Configure, the motor dialogs. The gantry's is modeless, made once and shown
// again, so that a sequence can run while the user records.
#include "dialogs/probe_motor_dialog.h"
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

void MainFrame::OnConfigProbeMotor(wxCommandEvent&)
{
    probe_motor_dialog dialog(this, static_cast<MainWindow&>(*wxTheApp).probe_motor());
    if (dialog.ShowModal() == wxID_OK)
        dialog.apply();
}
