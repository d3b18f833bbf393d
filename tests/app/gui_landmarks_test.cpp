// The Landmarks page driven as a user would: the list with kinds and
// positions, distances and angles of the selection, a refused and an accepted
// rename, Find, and Export with its append question.
#include <cmath>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/ffile.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/stattext.h>

#include "app/ids.h"
#include "app/pages/landmarks_page.h"
#include "app/pages/spine_page.h"
#include "app/views/review_canvas.h"
#include "surfaces/landmark_measure.h"
#include "common/dynabuf.h"
#include "gui_fixture.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"

namespace {

class GuiLandmarks : public GuiTest {
protected:
    landmarks_page* page()
    {
        for (std::size_t i = 0; i < frame().task_notebook()->GetPageCount(); ++i)
            if (auto* p = dynamic_cast<landmarks_page*>(frame().task_notebook()->GetPage(i)))
                return p;
        return nullptr;
    }
    void press(wxButton* b)
    {
        wxCommandEvent click(wxEVT_BUTTON);
        b->ProcessWindowEvent(click);
        pump(30);
    }
    void select(std::initializer_list<long> rows)
    {
        wxListCtrl* list = page()->list;
        for (long r = 0; r < list->GetItemCount(); ++r)
            list->SetItemState(r, 0, wxLIST_STATE_SELECTED);
        for (long r : rows)
            list->SetItemState(r, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        pump(30);
    }
};

TEST_F(GuiLandmarks, ListMeasureRenameFindAndExport)
{
    start({demo});
    auto marks = std::make_shared<landmarks>();
    marks->list.resize(3);
    marks->list[0].name = "Landmark 1";
    marks->list[0].position = {1.0, 2.0, 3.0};
    marks->list[1].name = "Landmark 2";
    marks->list[1].position = {1.3, 2.4, 3.0};  // 5 mm from the first
    marks->list[2].name = "Fiducial 1";
    marks->list[2].kind = LMARK_FIDUCIAL;
    marks->list[2].position = {1.3, 2.0, 3.0};  // a right angle at the second
    res->RES_LANDMARKS->write(marks);
    menu(ID_TASK_LANDMARKS);
    ASSERT_NE(page(), nullptr);
    wxListCtrl* list = page()->list;
    ASSERT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(2, 0), "Fiducial 1");
    EXPECT_EQ(list->GetItemText(2, 1), "Fiducial");
    EXPECT_EQ(list->GetItemText(0, 2), "10.00");
    EXPECT_EQ(list->GetItemText(0, 4), "30.00");

    select({0, 1, 2});
    EXPECT_EQ(list->GetItemText(0, 5), "");
    EXPECT_EQ(list->GetItemText(1, 5), "5.00");
    EXPECT_EQ(list->GetItemText(2, 5), "4.00");
    // At the second landmark, between the first and the third: 3-4-5 triangle.
    const double angle = std::acos(4.0 / 5.0) * 180.0 / M_PI;
    EXPECT_EQ(list->GetItemText(2, 6), wxString::Format("%.2lf", angle));

    // A data landmark may not take a fiducial's name; a fresh name is taken.
    select({0});
    script.texts.push_back(wxString("Fiducial 9"));
    press(page()->rename);
    EXPECT_EQ(script.asked.back(), "Rename landmark: Data landmark names must not begin with the word Fiducial");
    EXPECT_EQ(res->RES_LANDMARKS->value()->list[0].name, "Landmark 1");
    script.texts.push_back(wxString("Apex"));
    press(page()->rename);
    EXPECT_EQ(res->RES_LANDMARKS->value()->list[0].name, "Apex");
    EXPECT_EQ(list->GetItemText(0, 0), "Apex");

    // Find goes to the frame whose plane passes nearest the landmark.
    res->RES_BUF_CURRENT_FRAME->write(0);
    press(page()->find);
    EXPECT_TRUE(page()->status->GetLabel().StartsWith("Apex")) << page()->status->GetLabel();

    // Export: a new file gets the header; the second export asks, then appends.
    const wxString path = dir + "/marks";
    script.files.push_back(file_choice_t{path, 0});
    press(page()->export_button);
    wxString text;
    ASSERT_TRUE(wxFFile(path + ".csv").ReadAll(&text));
    EXPECT_TRUE(text.StartsWith("File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)\n")) << text;
    EXPECT_TRUE(text.Contains(", Apex, 3D, , , 10.0000, 20.0000, 30.0000\n")) << text;
    script.files.push_back(file_choice_t{path + ".csv", 0});
    script.answers.push_back(answer_t::ok);
    press(page()->export_button);
    EXPECT_EQ(script.asked.back(),
              "Append landmarks:  This file already exists - landmarks will be appended.\n Select OK to proceed and "
              "append data.");
    wxString twice;
    ASSERT_TRUE(wxFFile(path + ".csv").ReadAll(&twice));
    EXPECT_EQ(twice.Freq('\n'), 1 + 2 * 3);
    EXPECT_EQ(twice.Find("File, Landmark"), twice.rfind("File, Landmark")) << "one header";

    select({1});
    press(page()->remove);
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(res->RES_LANDMARKS->value()->list.size(), 2u);
}

// The Spine page: tilts of two vertebrae from their laminae in the plane of
// the references, the automatic Cobb angle between them, and the manual one
// when two rows are selected.
TEST_F(GuiLandmarks, SpineTiltsAndCobbAngle)
{
    start({demo});
    auto marks = std::make_shared<landmarks>();
    auto add = [&](const char* name, vertex3d p) {
        landmark_t m;
        m.name = name;
        m.position = p;
        marks->list.push_back(m);
    };
    // References in the x-z plane: left and right below, the centre above.
    add("Spine Left Lower", {0, 0, 0});
    add("Spine Right Lower", {10, 0, 0});
    add("Spine Central Upper", {5, 0, 10});
    // T1 tilted by +10 degrees, L1 by -20 degrees, both in that plane.
    const double a = 10.0 * M_PI / 180.0, b = -20.0 * M_PI / 180.0;
    add("T1 Left Lamina", {4, 0, 8});
    add("T1 Right Lamina", {4 + 2 * std::cos(a), 0, 8 + 2 * std::sin(a)});
    add("L1 Left Lamina", {4, 0, 3});
    add("L1 Right Lamina", {4 + 2 * std::cos(b), 0, 3 + 2 * std::sin(b)});
    res->RES_LANDMARKS->write(marks);
    spine_page* page = nullptr;
    for (std::size_t i = 0; i < frame().task_notebook()->GetPageCount(); ++i)
        if (auto* p = dynamic_cast<spine_page*>(frame().task_notebook()->GetPage(i)))
            page = p;
    ASSERT_NE(page, nullptr);
    pump(30);
    const long t1 = 5, l1 = 17;
    EXPECT_EQ(page->vertebrae->GetItemText(t1, 0), "T1");
    EXPECT_EQ(page->vertebrae->GetItemText(t1, 1), "set");
    EXPECT_EQ(page->vertebrae->GetItemText(t1, 2), "");
    const double t1_tilt = std::stod(page->vertebrae->GetItemText(t1, 4).ToStdString());
    const double l1_tilt = std::stod(page->vertebrae->GetItemText(l1, 4).ToStdString());
    EXPECT_NEAR(std::fabs(t1_tilt - l1_tilt), 30.0, 0.1);
    EXPECT_EQ(page->reference_status->GetLabel(), "Using left/right references");
    EXPECT_EQ(page->cobb_status->GetLabel(), "Cobb angle is 30.0 deg (auto)");
    page->vertebrae->SetItemState(t1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    page->vertebrae->SetItemState(l1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    pump(30);
    EXPECT_EQ(page->cobb_status->GetLabel(), "Cobb angle is 30.0 deg (manual)");
    // Without the left reference nothing can be measured, and it says so.
    marks = std::make_shared<landmarks>(*res->RES_LANDMARKS->value());
    marks->list.erase(marks->list.begin());
    res->RES_LANDMARKS->write(marks);
    pump(30);
    EXPECT_EQ(page->reference_status->GetLabel(), "No left/right reference");
    EXPECT_EQ(page->cobb_status->GetLabel(), "Not able to calculate Cobb angle");
}

// The Mark tool: a click places a 3D landmark where the frame lies in space,
// or with "Snap mouse clicks to frames" a landmark on the frame; both are
// drawn at the click.
TEST_F(GuiLandmarks, TheMarkToolPlacesLandmarks)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(7);
    tool(ID_TOOL_MARK, true);
    menu(ID_TASK_LANDMARKS);
    review_canvas* review = frame().review();
    auto click = [&](double u, double v) {
        const wxPoint p = review->frame_to_window(u + 0.5, v + 0.5);
        for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
            wxMouseEvent event(type);
            event.m_x = p.x;
            event.m_y = p.y;
            event.m_leftDown = type == wxEVT_LEFT_DOWN;
            review->ProcessWindowEvent(event);
        }
        pump(30);
    };
    click(40, 30);
    ASSERT_EQ(res->RES_LANDMARKS->value()->list.size(), 1u);
    const landmark_t placed = res->RES_LANDMARKS->value()->list[0];
    EXPECT_EQ(placed.kind, LMARK_3D);
    EXPECT_EQ(placed.name, "Landmark 1");
    // Back through the frame's pose it is the clicked pixel, within the click's rounding.
    const frame_geometry_t frames = frame_geometry_from_session();
    auto to_frame = *frames.placement(7);
    to_frame.invert();
    const vertex3d local = to_frame * placed.position;
    EXPECT_NEAR(local.x / frames.sx, 40.0, 1.0);
    EXPECT_NEAR(local.y / frames.sy, 30.0, 1.0);
    EXPECT_NEAR(local.z, 0.0, 1e-6);

    landmarks_page* p = page();
    p->snap->SetValue(true);
    wxCommandEvent toggled(wxEVT_CHECKBOX);
    p->snap->ProcessWindowEvent(toggled);
    ASSERT_TRUE(res->RES_SNAP_LANDMARKS->value());
    click(100, 70);
    ASSERT_EQ(res->RES_LANDMARKS->value()->list.size(), 2u);
    const landmark_t on_frame = res->RES_LANDMARKS->value()->list[1];
    EXPECT_EQ(on_frame.kind, LMARK_2D);
    EXPECT_EQ(on_frame.index, 7);
    EXPECT_NEAR(on_frame.position.x, 100.0, 1.0);
    EXPECT_EQ(p->list->GetItemCount(), 2);

    // Both are drawn in green where they were clicked; the frame's own one only on its frame.
    const unsigned char green[3] = {0, 255, 0};
    auto green_near = [&](double u, double v) {
        const wxImage shot = review->grab();
        const wxPoint c = review->frame_to_window(u + 0.5, v + 0.5);
        for (int y = c.y - 3; y <= c.y + 3; ++y)
            for (int x = c.x - 3; x <= c.x + 3; ++x)
                if (x >= 0 && y >= 0 && x < shot.GetWidth() && y < shot.GetHeight() && shot.GetRed(x, y) == green[0] &&
                    shot.GetGreen(x, y) == green[1] && shot.GetBlue(x, y) == green[2])
                    return true;
        return false;
    };
    tool(ID_TOOL_LANDMARKS, true);
    pump(50);
    EXPECT_TRUE(green_near(40, 30));
    EXPECT_TRUE(green_near(100, 70));
    res->RES_BUF_CURRENT_FRAME->write(12);
    pump(50);
    EXPECT_FALSE(green_near(100, 70));
}

}  // namespace
