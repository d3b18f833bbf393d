// The Draw page and the review window's Draw tool, driven as a user would on
// the demo: a stroke becomes one closed outline whose Area text matches its
// polygon and survives saving; Clear and a split through scripted answers.
#include <cmath>
#include <numbers>
#include <set>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "app/ids.h"
#include "app/pages/draw_page.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/dynabuf.h"
#include "gui_fixture.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "common/vertex_math.h"
#include "surfaces/curve_session.h"
#include "surfaces/mesh_hit.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_curves.h"
#include "surfaces/wrl_object.h"
#include "surfaces/surface_interp.h"

namespace {

class GuiDraw : public GuiTest {
protected:
    void mouse(wxEventType type, const wxPoint& p, bool shift = false)
    {
        wxMouseEvent event(type);
        event.m_x = p.x;
        event.m_y = p.y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        event.m_shiftDown = shift;
        frame().review()->ProcessWindowEvent(event);
    }
    // A circle stroked round and a little past its start, in frame pixels.
    void stroke_circle(double cx, double cy, double r)
    {
        review_canvas* review = frame().review();
        for (int i = 0; i <= 66; ++i) {
            const double a = 2.0 * std::numbers::pi * i / 60.0;
            const wxPoint p = review->frame_to_window(cx + r * std::cos(a), cy + r * std::sin(a));
            mouse(i == 0 ? wxEVT_LEFT_DOWN : i == 66 ? wxEVT_LEFT_UP : wxEVT_MOTION, p);
        }
        pump(50);
    }
    const contour_set* outlines(int object = 0)
    {
        return (*res->RES_OBJECT->value())[object].find_set(
            static_cast<std::int32_t>(res->RES_BUF_CURRENT_FRAME->value()));
    }
    wxString area_text() { return frame().draw()->area->GetLabel(); }
};

TEST_F(GuiDraw, AStrokeBecomesAnOutlineThatSavesAndMeasuresTheSame)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(11);  // the demo outlines every 10th frame
    tool(ID_TOOL_DRAW, true);
    menu(ID_TASK_DRAW);
    EXPECT_EQ(area_text(), "Area: ---.--- sq mm");
    stroke_circle(80, 60, 25);
    ASSERT_NE(outlines(), nullptr);
    ASSERT_EQ(outlines()->contours.size(), 1u);
    const contour drawn = outlines()->contours[0];
    EXPECT_TRUE(drawn.closed);
    // The Area text is the polygon's area at the recording's pixel size.
    const double area_mm2 = std::fabs(drawn.area()) * 100.0 * res->RES_XSCALE->value() * res->RES_YSCALE->value();
    EXPECT_EQ(area_text(), wxString::Format("Area: %.3lf sq mm", area_mm2));
    EXPECT_NEAR(area_mm2, std::numbers::pi * 625.0 * 100.0 * res->RES_XSCALE->value() * res->RES_YSCALE->value(),
                0.03 * area_mm2);
    const wxString perimeter = frame().draw()->perimeter->GetLabel();
    const wxString centre = frame().draw()->centre->GetLabel();
    EXPECT_TRUE(centre.StartsWith("Centre: (") && !centre.Contains("---")) << centre;

    const wxString path = dir + "/outlined.ks";
    script.files.push_back(file_choice_t{path, 0});
    menu(ID_FILE_SAVEAS);
    menu(ID_FILE_NEW);
    EXPECT_EQ(outlines(), nullptr);
    script.files.push_back(file_choice_t{path, 0});
    menu(ID_FILE_OPEN);
    res->RES_BUF_CURRENT_FRAME->write(11);  // the demo outlines every 10th frame
    pump(50);
    ASSERT_NE(outlines(), nullptr);
    ASSERT_EQ(outlines()->contours.size(), 1u);
    EXPECT_EQ(outlines()->contours[0].points, drawn.points);
    EXPECT_EQ(area_text(), wxString::Format("Area: %.3lf sq mm", area_mm2));
    EXPECT_EQ(frame().draw()->perimeter->GetLabel(), perimeter);
    EXPECT_EQ(frame().draw()->centre->GetLabel(), centre);
}

TEST_F(GuiDraw, ObjectsClearAndGroupOperations)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(5);
    tool(ID_TOOL_DRAW, true);
    menu(ID_TASK_DRAW);
    wxListCtrl* list = frame().draw()->objects;
    EXPECT_EQ(list->GetItemCount(), 12);
    EXPECT_EQ(list->GetItemText(3), "Object 3");
    list->SetItemState(3, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    pump(50);
    EXPECT_EQ(res->CURRENT_OBJECT->value(), 3);
    stroke_circle(50, 50, 15);
    stroke_circle(110, 60, 15);
    ASSERT_NE(outlines(3), nullptr);
    EXPECT_EQ(outlines(3)->contours.size(), 2u);

    // A shift-drag round the second outline: delete it.
    review_canvas* review = frame().review();
    script.choices.push_back(0);
    mouse(wxEVT_LEFT_DOWN, review->frame_to_window(90, 40), true);
    mouse(wxEVT_MOTION, review->frame_to_window(130, 80), true);
    mouse(wxEVT_LEFT_UP, review->frame_to_window(130, 80), true);
    pump(50);
    EXPECT_EQ(outlines(3)->contours.size(), 1u);

    // Clear, this frame only: the set goes and the texts show placeholders.
    script.choices.push_back(1);
    wxCommandEvent click(wxEVT_BUTTON);
    frame().draw()->clear->ProcessWindowEvent(click);
    pump(50);
    EXPECT_EQ(outlines(3), nullptr);
    EXPECT_EQ(area_text(), "Area: ---.--- sq mm");
    EXPECT_EQ(frame().draw()->volume->GetLabel(), "Volume: ---.--- ml");
}

// Display objects draws the outlines at their frames' poses in the 3D window:
// the current object, or every object; "outlines without frames" hides the
// frames' edges.
TEST_F(GuiDraw, OutlinesInThe3DWindow)
{
    start({demo});
    auto table = std::make_shared<object_table>(*res->RES_OBJECT->value());
    contour square;
    square.points = {{40, 30}, {120, 30}, {120, 90}, {40, 90}};
    for (std::int32_t f = 2; f < 18; f += 3)
        (*table)[1].insert(f, square);
    (*table)[1].colour = {0, 0, 255};
    res->RES_OBJECT->write(table);
    auto count = [&](const unsigned char* rgb) {
        const wxImage shot = frame().view3d()->grab();
        long n = 0;
        for (int y = 0; y < shot.GetHeight(); ++y)
            for (int x = 0; x < shot.GetWidth(); ++x)
                n += std::abs(shot.GetRed(x, y) - rgb[0]) <= 2 && std::abs(shot.GetGreen(x, y) - rgb[1]) <= 2 &&
                     std::abs(shot.GetBlue(x, y) - rgb[2]) <= 2;
        return n;
    };
    const unsigned char blue[3] = {0, 0, 255};
    const unsigned char edge[3] = {229, 204, 76};  // the frames' edges
    res->CURRENT_OBJECT->write(0);
    tool(ID_TOOL_OBJECTS, true);
    pump(100);
    EXPECT_EQ(count(blue), 0) << "another object's outlines";
    res->CURRENT_OBJECT->write(1);
    pump(100);
    EXPECT_GT(count(blue), 50);
    res->CURRENT_OBJECT->write(0);
    res->RES_OUTLINE_ALL->write(true);
    pump(100);
    EXPECT_GT(count(blue), 50);
    EXPECT_GT(count(edge), 0);
    res->RES_OUTLINE_CLEAR->write(true);
    pump(100);
    EXPECT_EQ(count(edge), 0);
    // A view from above, then zoomed in with the wheel: the outlines are seen
    // differently, and the zoom is kept in RES_OUTLINE_ZOOM.
    const long from_anywhere = count(blue);
    res->RES_OUTLINE_VIEW_ANGLE->write(3);
    pump(100);
    const long from_above = count(blue);
    EXPECT_GT(from_above, 0);
    EXPECT_NE(from_above, from_anywhere);
    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = 120;
    wheel.m_wheelDelta = 120;
    frame().view3d()->ProcessWindowEvent(wheel);
    pump(100);
    EXPECT_GT(res->RES_OUTLINE_ZOOM->value(), 1.0);
    EXPECT_GT(count(blue), from_above) << "closer, the outlines cover more pixels";
    // Turning the view by hand leaves the preset.
    wxMouseEvent press(wxEVT_LEFT_DOWN);
    frame().view3d()->ProcessWindowEvent(press);
    EXPECT_EQ(res->RES_OUTLINE_VIEW_ANGLE->value(), 0);
    tool(ID_TOOL_OBJECTS, false);
    pump(100);
    EXPECT_EQ(count(blue), 0);
    EXPECT_GT(count(edge), 0);
}

// A segmentation click with "Segment regions" on outlines the region of the
// threshold window around the clicked pixel, simplified and inserted as a
// drawn outline is.
TEST_F(GuiDraw, ASegmentationClickOutlinesTheThresholdedRegion)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(8);
    const cip_t image = bufp->imagecp(8);
    // A disc of grey 250 (the demo has nothing that bright) of radius 20 at (70, 50).
    for (long y = 0; y < image.height(); ++y)
        for (long x = 0; x < image.width(); ++x)
            if ((x - 70) * (x - 70) + (y - 50) * (y - 50) <= 400)
                image.pixels()[y * image.width() + x] = 250;
    tool(ID_TOOL_DRAW, true);
    menu(ID_TASK_DRAW);
    // The threshold from the page's controls, as a user sets it.
    draw_page* page = frame().draw();
    page->grey_lo->SetValue(245);
    page->grey_hi->SetValue(255);
    page->jump->SetValue(0);
    page->show_threshold->SetValue(true);
    page->connected->SetValue(true);
    wxCommandEvent changed(wxEVT_CHECKBOX);
    page->show_threshold->ProcessWindowEvent(changed);
    EXPECT_TRUE(res->RES_CMAP_BINARY->value());
    EXPECT_EQ(res->RES_CMAP_GREY_LO->value(), 245);
    EXPECT_EQ(res->RES_JUMP_THRESH->value(), 0);
    wxCheckBox* segment = frame().draw()->segment_regions;
    segment->SetValue(true);
    wxCommandEvent toggled(wxEVT_CHECKBOX);
    segment->ProcessWindowEvent(toggled);
    const wxPoint centre = frame().review()->frame_to_window(70.5, 50.5);
    mouse(wxEVT_LEFT_DOWN, centre);
    mouse(wxEVT_LEFT_UP, centre);
    pump(50);
    ASSERT_NE(outlines(), nullptr);
    ASSERT_EQ(outlines()->contours.size(), 1u);
    // The outline runs at the threshold crossing, just outside the disc's
    // outer pixel centres, then is simplified by 0.3 pixel: it holds the disc
    // but for its outermost pixels and nothing beyond.
    const contour& found = outlines()->contours[0];
    for (long y = 20; y < 80; ++y)
        for (long x = 40; x < 100; ++x) {
            const long r2 = (x - 70) * (x - 70) + (y - 50) * (y - 50);
            if (r2 <= 19 * 19 || r2 > 441) {
                EXPECT_EQ(found.point_inside({double(x), double(y)}), r2 <= 400) << x << "," << y;
            }
        }
    EXPECT_FALSE(area_text().Contains("---")) << area_text();
    // A click outside the window's grey adds nothing.
    const wxPoint outside = frame().review()->frame_to_window(10.5, 110.5);
    mouse(wxEVT_LEFT_DOWN, outside);
    mouse(wxEVT_LEFT_UP, outside);
    pump(50);
    EXPECT_EQ(outlines()->contours.size(), 1u);
}

// Update builds the current object's surface: the statistics take its volume
// and centre, the 3D window shows it in the object's colour, Save surface
// writes it, and Clear can delete it while keeping the outlines.
TEST_F(GuiDraw, UpdateBuildsASurfaceThatShowsSavesAndClears)
{
    start({demo});
    auto table = std::make_shared<object_table>(*res->RES_OBJECT->value());
    contour circle;
    for (int i = 0; i < 48; ++i)
        circle.points.push_back({80.0 + 25.0 * std::cos(i * M_PI / 24), 60.0 + 20.0 * std::sin(i * M_PI / 24)});
    for (std::int32_t f = 2; f <= 18; f += 2)
        (*table)[2].insert(f, circle);
    (*table)[2].colour = {0, 0, 255};
    res->RES_OBJECT->write(table);
    res->CURRENT_OBJECT->write(2);
    res->RES_BUF_CURRENT_FRAME->write(10);
    menu(ID_TASK_DRAW);
    draw_page* page = frame().draw();
    const wxString planimetry = page->volume->GetLabel();
    EXPECT_TRUE(planimetry.StartsWith("Volume: ") && !planimetry.Contains("---")) << planimetry;
    EXPECT_TRUE(page->update->IsEnabled());
    EXPECT_FALSE(page->save_surface->IsEnabled());

    wxCommandEvent click(wxEVT_BUTTON);
    page->update->ProcessWindowEvent(click);
    pump(100);
    const std::shared_ptr<surface_interp> surface = res->RES_SURFACE[2]->value();
    ASSERT_NE(surface, nullptr);
    EXPECT_GT(surface->volume, 0.0);
    EXPECT_EQ(page->volume->GetLabel(), wxString::Format("Volume: %.3lf ml", surface->volume));
    EXPECT_EQ(page->centre->GetLabel(), wxString::Format("Centre: (%.1lf, %.1lf, %.1lf) mm", 10.0 * surface->centre.x,
                                                         10.0 * surface->centre.y, 10.0 * surface->centre.z));
    // Seen in the object's colour (lit, so shades of blue: no red or green).
    auto blue_pixels = [&] {
        const wxImage shot = frame().view3d()->grab();
        long n = 0;
        for (int y = 0; y < shot.GetHeight(); ++y)
            for (int x = 0; x < shot.GetWidth(); ++x)
                n += shot.GetRed(x, y) == 0 && shot.GetGreen(x, y) == 0 && shot.GetBlue(x, y) > 60;
        return n;
    };
    tool(ID_TOOL_OBJECTS, true);
    pump(100);
    const long blue_before = blue_pixels();
    EXPECT_GT(blue_before, 500);

    // "Compound data" colours the surface with the recorded data along its
    // normals: a new surface, coloured point by point, no longer plain blue.
    ASSERT_TRUE(page->compound->IsEnabled());
    page->compound->ProcessWindowEvent(click);
    pump(100);
    const auto& coloured = res->RES_SURFACE[2]->value();
    ASSERT_NE(coloured, surface);
    for (const surface_sequence_t& seq : coloured->get_seq())
        EXPECT_TRUE(seq.mesh.coloured());
    EXPECT_DOUBLE_EQ(coloured->volume, surface->volume);
    EXPECT_LT(blue_pixels(), blue_before / 4);

    // On a frame between outlines the review window shows where the surface
    // cuts it, dotted in the object's colour; beyond the surface, nothing.
    auto blue_in_review = [&](long frame_number) {
        res->RES_BUF_CURRENT_FRAME->write(frame_number);
        pump(100);
        const wxImage shot = frame().review()->grab();
        long n = 0;
        for (int y = 0; y < shot.GetHeight(); ++y)
            for (int x = 0; x < shot.GetWidth(); ++x)
                n += shot.GetRed(x, y) == 0 && shot.GetGreen(x, y) == 0 && shot.GetBlue(x, y) == 255;
        return n;
    };
    EXPECT_GT(blue_in_review(11), 40);
    EXPECT_EQ(blue_in_review(30), 0);
    res->RES_BUF_CURRENT_FRAME->write(10);
    pump(50);

    // A Mark-tool click on the surface in the 3D window places a surface
    // landmark where the line of sight first meets it; a click on empty
    // space places nothing, and a drag turns the view.
    view3d_canvas* view = frame().view3d();
    const wxPoint at = view->project(surface->centre);
    const auto [near_point, far_point] = view->pick_segment(at);
    const vertex3d sight = far_point - near_point, to_centre = surface->centre - near_point;
    EXPECT_LT(length(cross(sight, to_centre)) / length(sight), 0.02);  // the line passes the centre
    tool(ID_TOOL_MARK, true);
    const std::size_t marks_before = res->RES_LANDMARKS->value() ? res->RES_LANDMARKS->value()->list.size() : 0;
    auto click_3d = [&](const wxPoint& p) {
        for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
            wxMouseEvent event(type);
            event.m_x = p.x;
            event.m_y = p.y;
            event.m_leftDown = type == wxEVT_LEFT_DOWN;
            view->ProcessWindowEvent(event);
        }
        pump(50);
    };
    click_3d({2, 2});
    EXPECT_EQ(res->RES_LANDMARKS->value() ? res->RES_LANDMARKS->value()->list.size() : 0, marks_before);
    click_3d(at);
    ASSERT_TRUE(res->RES_LANDMARKS->value());
    ASSERT_EQ(res->RES_LANDMARKS->value()->list.size(), marks_before + 1);
    const landmark_t& placed = res->RES_LANDMARKS->value()->list.back();
    EXPECT_EQ(placed.kind, LMARK_SURFACE);
    EXPECT_EQ(placed.index, 2);
    EXPECT_EQ(placed.name, "Surface 1");
    // On the near side of the tube, between the eye and its centre.
    EXPECT_LT(length(placed.position - near_point), length(to_centre));
    EXPECT_LT(length(cross(sight, placed.position - near_point)) / length(sight), 0.05);
    tool(ID_TOOL_MARK, false);

    ASSERT_TRUE(page->save_surface->IsEnabled());
    const wxString path = dir + "/tube";
    script.files.push_back(file_choice_t{path, 0});
    page->save_surface->ProcessWindowEvent(click);
    ply_surface_t read;
    ASSERT_TRUE(read_ply_file(path + ".ply", 2, read));
    std::size_t triangles = 0;
    for (const surface_sequence_t& seq : surface->get_seq())
        triangles += seq.mesh.triangles.size();
    EXPECT_EQ(read.mesh.triangles.size(), triangles);

    script.choices.push_back(2);  // "Delete surface but not the original contours"
    page->clear->ProcessWindowEvent(click);
    pump(100);
    EXPECT_EQ(res->RES_SURFACE[2]->value(), nullptr);
    EXPECT_TRUE((*res->RES_OBJECT->value())[2].has_outlines());
    EXPECT_EQ(page->volume->GetLabel(), planimetry);
    res->RES_OUTLINE_CLEAR->write(true);
    res->RES_SEE_DRAW->write(false);
    pump(100);
    EXPECT_EQ(blue_pixels(), 0);
}

// "Update all" builds every object under one dialog; Cancel part way, even
// after the first object is done, keeps every surface as it was.
TEST_F(GuiDraw, UpdateAllAndCancel)
{
    start({demo});
    auto table = std::make_shared<object_table>();  // without the demo's own outlines
    for (int object : {1, 4}) {
        contour circle;
        for (int i = 0; i < 48; ++i)
            circle.points.push_back({60.0 + 30.0 * object + 15.0 * std::cos(i * M_PI / 24),
                                     60.0 + 12.0 * std::sin(i * M_PI / 24)});
        for (std::int32_t f = 2; f <= 14; f += 3)
            (*table)[object].insert(f, circle);
    }
    res->RES_OBJECT->write(table);
    menu(ID_TASK_DRAW);
    draw_page* page = frame().draw();
    wxCommandEvent click(wxEVT_BUTTON);
    page->update_all->ProcessWindowEvent(click);
    pump(100);
    EXPECT_EQ(script.progress_captions, std::vector<wxString>{"Re-calculating Surfaces"});
    const auto first = res->RES_SURFACE[1]->value(), second = res->RES_SURFACE[4]->value();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(0), "2 surfaces built.");

    // Cancelled while the second object is being built: both stay as they were.
    script.progress_updates = 0;
    script.cancel_at_update = 7;
    page->update_all->ProcessWindowEvent(click);
    pump(100);
    EXPECT_EQ(script.progress_updates, 7);
    EXPECT_EQ(res->RES_SURFACE[1]->value(), first);
    EXPECT_EQ(res->RES_SURFACE[4]->value(), second);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(0), "Surface calculation cancelled.");
}

// Curves in the 3D window with the Mark tool: Shift-clicks on the surface
// place points, one back at the start closes the curve, and Ctrl-click on
// the curve renames it (a duplicate name refused), splits the surface along
// it, and erases it.
TEST_F(GuiDraw, CurvesArePlacedRenamedSplitAndErased)
{
    start({demo});
    auto table = std::make_shared<object_table>();
    contour circle;
    for (int i = 0; i < 48; ++i)
        circle.points.push_back({80.0 + 25.0 * std::cos(i * M_PI / 24), 60.0 + 20.0 * std::sin(i * M_PI / 24)});
    for (std::int32_t f = 2; f <= 18; f += 2)
        (*table)[2].insert(f, circle);
    res->RES_OBJECT->write(table);
    res->CURRENT_OBJECT->write(2);
    menu(ID_TASK_DRAW);
    wxCommandEvent click(wxEVT_BUTTON);
    frame().draw()->update->ProcessWindowEvent(click);
    pump(100);
    const std::shared_ptr<surface_interp> surface = res->RES_SURFACE[2]->value();
    ASSERT_TRUE(surface);
    tool(ID_TOOL_OBJECTS, true);
    tool(ID_TOOL_MARK, true);
    pump(100);
    view3d_canvas* view = frame().view3d();
    auto click_3d = [&](const wxPoint& p, bool shift, bool control) {
        for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
            wxMouseEvent event(type);
            event.m_x = p.x;
            event.m_y = p.y;
            event.m_leftDown = type == wxEVT_LEFT_DOWN;
            event.m_shiftDown = shift;
            event.m_controlDown = control;
            view->ProcessWindowEvent(event);
        }
        pump(30);
    };
    // Four surface points facing the eye, around the point under the centre.
    mesh_hit_t hit;
    const auto [near_point, far_point] = view->pick_segment(view->project(surface->centre));
    ASSERT_TRUE(surface->surface_intersection(near_point, far_point, &hit));
    std::vector<wxPoint> corners;
    for (int k = 0; k < 4; ++k) {
        const wxPoint centre_px = view->project(hit.point);
        const wxPoint p{centre_px.x + (k == 0 ? 12 : k == 2 ? -12 : 0), centre_px.y + (k == 1 ? 12 : k == 3 ? -12 : 0)};
        mesh_hit_t h;
        const auto [a, b] = view->pick_segment(p);
        ASSERT_TRUE(surface->surface_intersection(a, b, &h)) << k;
        corners.push_back(p);
    }
    for (const wxPoint& p : corners)
        click_3d(p, true, false);
    ASSERT_TRUE(res->RES_CURVE->value());
    ASSERT_EQ(res->RES_CURVE->value()->curves.size(), 1u);
    EXPECT_EQ(res->RES_CURVE->value()->curves[0].points.size(), 4u);
    EXPECT_FALSE(res->RES_CURVE->value()->curves[0].closed);
    click_3d(corners[0], true, false);
    const curve_t closed = res->RES_CURVE->value()->curves[0];
    EXPECT_TRUE(closed.closed);
    EXPECT_EQ(closed.object, 2);
    EXPECT_EQ(closed.name, "Curve 1");
    // Every point lies on the surface.
    for (const vertex3d& p : closed.points)
        EXPECT_LT(length(nearest_surface_point(*surface, p) - p), 1e-6);

    // Ctrl-click on the curve: rename it.
    const vertex3d middle = 0.5 * (closed.points[0] + closed.points[1]);
    script.choices.push_back(0);  // "Re-name this curve"
    script.texts.push_back(wxString("Rim"));
    click_3d(view->project(middle), false, true);
    EXPECT_EQ(res->RES_CURVE->value()->curves[0].name, "Rim");
    // A second curve may not take that name.
    add_session_curve_point(2, closed.points[2], 0.0);
    script.choices.push_back(0);
    script.texts.push_back(wxString("Rim"));
    EXPECT_FALSE(curve_operation(1));
    EXPECT_EQ(script.asked.back(), "Surface curve name: Surface curve must have a different name to all other curves for this object.");
    script.choices.push_back(1);  // erase the second one
    EXPECT_TRUE(curve_operation(1));
    ASSERT_EQ(res->RES_CURVE->value()->curves.size(), 1u);

    // Split along it: the small patch inside the curve goes apart.
    script.choices.push_back(2);
    click_3d(view->project(middle), false, true);
    const auto& patch = res->RES_WRL_OBJECT->value();
    ASSERT_TRUE(patch);
    std::size_t triangles = 0;
    for (const surface_sequence_t& seq : surface->get_seq())
        triangles += seq.mesh.triangles.size();
    EXPECT_GT(patch->mesh.triangles.size(), 0u);
    EXPECT_LT(patch->mesh.triangles.size(), triangles / 4);
    EXPECT_EQ(patch->from_object, 2);

    // A click on the part with another object chosen gives it to that
    // object; each part closed across the cut, together the whole volume.
    script.choices.push_back(0);  // "Re-assign this surface to Object 5"
    click_3d(view->project(hit.point), false, false);
    EXPECT_TRUE(script.asked.back().EndsWith("Object 2 already: choose the object to give it to first."));
    res->CURRENT_OBJECT->write(5);
    pump(30);
    click_3d(view->project(hit.point), false, false);
    EXPECT_FALSE(res->RES_WRL_OBJECT->value());
    const auto part = res->RES_SURFACE[5]->value(), rest = res->RES_SURFACE[2]->value();
    ASSERT_TRUE(part && rest);
    EXPECT_NEAR(part->volume + rest->volume, surface->volume, 1e-6 * surface->volume);
    EXPECT_LT(part->volume, 0.25 * surface->volume);
    // Closed: every edge is met again the other way.
    for (const auto* s : {part.get(), rest.get()})
        for (const surface_sequence_t& seq : s->get_seq()) {
            std::set<std::pair<std::uint32_t, std::uint32_t>> edges;
            for (const surface_triangle_t& t : seq.mesh.triangles)
                for (int k = 0; k < 3; ++k)
                    edges.insert({t.points[k], t.points[(k + 1) % 3]});
            for (const auto& [a, b] : edges)
                EXPECT_TRUE(edges.count({b, a})) << a << "-" << b;
        }

    // Erase it.
    script.choices.push_back(1);
    click_3d(view->project(middle), false, true);
    EXPECT_TRUE(res->RES_CURVE->value()->curves.empty());
    tool(ID_TOOL_MARK, false);
}

}  // namespace
