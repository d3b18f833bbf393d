// Image capture as a user sets it up: the Image source dialog lists the
// capture devices found (again after "Search again"), keeps the recording
// window inside the device frame, and leaves the frame size of held frames alone.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/spinctrl.h>

#include "acquisition/ks_video_capture.h"
#include "app/dialogs/image_source_dialog.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "simulators/fake_v4l2_device.h"

namespace {

class GuiCapture : public GuiTest {
protected:
    fake_v4l2_device_t fake{{fake_v4l2_settings_t{}}};
    void SetUp() override
    {
        GuiTest::SetUp();
        fake.set_device_prefix("/gui-test/video");
        fake.settings(0).card = "Test grabber";
        fake.settings(0).max_width = 720;
        set_v4l2_seam(&fake);
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        set_v4l2_seam(nullptr);
    }
};

// The device found at start-up is offered, the window cannot leave its
// 720 x 576 frame, and OK stores what the controls show.
TEST_F(GuiCapture, ImageSourceDialogBoundsTheWindowToTheDevice)
{
    start({});
    image_source_dialog dialog(&frame(), [] { vid->search_again(); });
    ASSERT_EQ(dialog.source->GetCount(), 3u);
    EXPECT_EQ(dialog.source->GetString(0), "Test grabber");
    EXPECT_EQ(dialog.source->GetString(1), "Simulated images") << "anyone can try recording without a card";
    EXPECT_EQ(dialog.source->GetString(2), "OpenIGTLink images");
    EXPECT_TRUE(dialog.window_width->IsEnabled()) << "no frames are held";
    EXPECT_EQ(dialog.window_width->GetValue(), 720) << "the 768-pixel default window was brought inside the device";
    dialog.window_x->SetValue(100);
    EXPECT_EQ(dialog.window_x->GetValue(), 0) << "no room to move a full-width window";
    dialog.window_width->SetValue(600);
    wxCommandEvent resized(wxEVT_SPINCTRL, dialog.window_width->GetId());
    dialog.window_width->ProcessWindowEvent(resized);
    EXPECT_EQ(dialog.window_x->GetMax(), 120);
    dialog.window_x->SetValue(100);
    wxCommandEvent moved(wxEVT_SPINCTRL, dialog.window_x->GetId());
    dialog.window_x->ProcessWindowEvent(moved);
    EXPECT_EQ(dialog.window_width->GetMax(), 620);
    dialog.colour_flow->SetValue(true);
    dialog.group_delay->SetValue(80);
    dialog.apply();
    EXPECT_EQ(res->RES_VID_XPOS->value(), 100);
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 600);
    EXPECT_TRUE(res->RES_BUF_DOPPLER->value());
    EXPECT_EQ(res->RES_VID_GROUP_DELAY->value(), 80);

    // A second card plugged in is found by "Search again".
    fake_v4l2_settings_t second;
    second.card = "Second grabber";
    fake_v4l2_device_t two{{fake.settings(0), second}};
    two.set_device_prefix("/gui-test/video");
    set_v4l2_seam(&two);
    wxCommandEvent search(wxEVT_BUTTON);
    for (wxWindow* child : dialog.GetChildren())
        if (auto* b = dynamic_cast<wxButton*>(child); b && b->GetLabel() == "Search again")
            b->ProcessWindowEvent(search);
    ASSERT_EQ(dialog.source->GetCount(), 4u);
    EXPECT_EQ(dialog.source->GetString(1), "Second grabber");
    set_v4l2_seam(&fake);
}

// With frames held, their size and coding are not offered for change.
TEST_F(GuiCapture, HeldFramesKeepTheirSize)
{
    start({demo});
    const auto width = res->RES_BUF_WIDTH->value();
    image_source_dialog dialog(&frame(), {});
    EXPECT_FALSE(dialog.window_width->IsEnabled());
    EXPECT_FALSE(dialog.colour_flow->IsEnabled());
    dialog.apply();
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), width);
}

}  // namespace
