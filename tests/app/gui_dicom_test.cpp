// DICOM data in the program: a folder opened from the File menu, the window
// dragged with the Drag tool in the review window, and the "DICOM display"
// dialog's controls writing their settings while it is open.
#include <fstream>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filename.h>
#include <wx/spinctrl.h>

#include "app/dialogs/dicom_display_dialog.h"
#include "app/ids.h"
#include "app/views/review_canvas.h"
#include "common/dynabuf.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "volumes/dicom_display.h"
#include "volumes/dicom_writer.h"

namespace {

class GuiDicom : public GuiTest {
protected:
    // Four 8 x 6 unsigned slices 2 mm apart, values 100 * slice + pixel, two window presets.
    wxString write_series()
    {
        const wxString folder = dir + "/ct";
        wxFileName::Mkdir(folder);
        for (int k = 0; k < 4; ++k) {
            dicom_writer_t w;
            w.meta("1.2.840.10008.1.2.1");
            w.text(0x0020, 0x000E, "UI", "9.9");
            w.text(0x0020, 0x0032, "DS", "0\\0\\" + std::to_string(2 * k));
            w.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
            w.us(0x0028, 0x0010, 6);
            w.us(0x0028, 0x0011, 8);
            w.text(0x0028, 0x0030, "DS", "0.7\\0.7");
            w.text(0x0028, 0x1050, "DS", "200\\40");
            w.text(0x0028, 0x1051, "DS", "400\\80");
            std::vector<std::uint16_t> px;
            for (int i = 0; i < 48; ++i)
                px.push_back(std::uint16_t(100 * k + i));
            w.pixels(px);
            std::ofstream(wxString::Format("%s/slice%d.dcm", folder, k).ToStdString(), std::ios::binary)
                .write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size()));
        }
        return folder;
    }
    // Every frame's display image is its values through the window in force.
    void expect_windowed()
    {
        const window_table_t table(dicom_window_from_resources(std::nullopt));
        for (long f = 0; f < bufp->frames(); ++f) {
            const cip_t frame = bufp->imagecp(f);
            for (std::size_t i = 0; i < frame.pixel_count(); ++i)
                ASSERT_EQ(frame.pixels()[i], table[frame.samples()[i]]) << f << " " << i;
        }
    }
};

TEST_F(GuiDicom, FolderOpensAndTheWindowFollowsTheDragAndTheDialog)
{
    start({});
    script.directories.push_back(write_series());
    menu(ID_FILE_OPEN_DIR);
    ASSERT_EQ(bufp->frames(), 4);
    EXPECT_TRUE(res->RES_BUF_DICOM->value());
    EXPECT_DOUBLE_EQ(res->RES_DICOM_WIN_CENTRE->value(), 200.0);  // the file's first window
    expect_windowed();

    // Drag right and down: wider, higher.
    tool(ID_TOOL_DRAG, true);
    wxWindow* view = frame().review();
    view->Refresh();
    pump(100);
    const wxPoint a(view->GetClientSize().x / 2, view->GetClientSize().y / 2);
    for (const auto& [type, p] : {std::pair{wxEVT_LEFT_DOWN, a}, std::pair{wxEVT_MOTION, a + wxPoint(64, 10)},
                                  std::pair{wxEVT_LEFT_UP, a + wxPoint(64, 10)}}) {
        wxMouseEvent event(type);
        event.m_x = p.x;
        event.m_y = p.y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        view->ProcessWindowEvent(event);
    }
    EXPECT_NEAR(res->RES_DICOM_WIN_WIDTH->value(), 400.0 * std::exp(0.5), 1e-6);
    EXPECT_NEAR(res->RES_DICOM_WIN_CENTRE->value(), 200.0 + 10 * 400.0 / 256.0, 1e-9);
    expect_windowed();  // the drag's end brought every frame up to the window

    // The dialog: a preset, then a typed width and a smoothing size.
    dicom_display_dialog dialog(&frame(), dicom_display->data_set().presets);
    ASSERT_EQ(dialog.preset->GetCount(), 3u);
    dialog.preset->SetSelection(2);
    wxCommandEvent chosen(wxEVT_CHOICE, dialog.preset->GetId());
    chosen.SetEventObject(dialog.preset);
    dialog.preset->ProcessWindowEvent(chosen);
    EXPECT_DOUBLE_EQ(res->RES_DICOM_WIN_CENTRE->value(), 40.0);
    EXPECT_DOUBLE_EQ(res->RES_DICOM_WIN_WIDTH->value(), 80.0);
    EXPECT_DOUBLE_EQ(dialog.width->GetValue(), 80.0);
    expect_windowed();
    dialog.width->SetValue(120.0);
    wxSpinDoubleEvent typed(wxEVT_SPINCTRLDOUBLE, dialog.width->GetId(), 120.0);
    typed.SetEventObject(dialog.width);
    dialog.width->ProcessWindowEvent(typed);
    EXPECT_DOUBLE_EQ(res->RES_DICOM_WIN_WIDTH->value(), 120.0);
    expect_windowed();
    dialog.smoothing->SetValue(1);
    wxSpinEvent smooth(wxEVT_SPINCTRL, dialog.smoothing->GetId());
    smooth.SetEventObject(dialog.smoothing);
    dialog.smoothing->ProcessWindowEvent(smooth);
    EXPECT_EQ(res->RES_DICOM_FILTER->value(), 1);
    // Smoothed: an edge pixel shows the mean of its square, not its own value.
    const cip_t first = bufp->imagecp(0);
    const window_table_t table(dicom_window_from_resources(std::nullopt));
    EXPECT_EQ(first.pixels()[0], table[(0 + 1 + 8 + 9 + 2) / 4]);

    // Calibrating with no inserts outlined says why and leaves the density scale.
    dialog.density_scale->SetValue(2.5);
    res->RES_DICOM_BMD_SCALE->write(2.5);
    wxCommandEvent calibrate(wxEVT_BUTTON, dialog.calibrate->GetId());
    calibrate.SetEventObject(dialog.calibrate);
    dialog.calibrate->ProcessWindowEvent(calibrate);
    ASSERT_FALSE(script.asked.empty());
    EXPECT_TRUE(script.asked.back().Contains("No calibration: at least two inserts")) << script.asked.back();
    EXPECT_EQ(res->RES_DICOM_BMD_SCALE->value(), 2.5);
}

}  // namespace
