// The main window's DICOM part: the "DICOM display" dialog.
#include "dialogs/dicom_display_dialog.h"
#include "main_frame.h"
#include "volumes/dicom_display.h"

void MainFrame::OnConfigDicom(wxCommandEvent&)
{
    // Modal, but every control writes its resource at once: the frames follow while it is open.
    dicom_display_dialog dialog(this,
                                dicom_display ? dicom_display->data_set().presets : std::vector<window_preset_t>{});
    dialog.ShowModal();
}
