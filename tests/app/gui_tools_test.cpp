// The save dialogs' file names and the review window's tools, driven as a
// user would: names typed without an extension, failures and their messages,
// and Drag zoom, Lock zoom, Measure, Select and the Display toggles on the demo.
#include <cmath>

#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/notebook.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "app/ids.h"
#include "app/pages/reslice_pages.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/dynabuf.h"
#include "common/matrix16d.h"
#include "display/globcmap.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"

namespace {

// A left drag from a to b on a window, through a point on the way.
void left_drag(wxWindow* view, const wxPoint& a, const wxPoint& b)
{
    for (const auto& [type, p] : {std::pair{wxEVT_LEFT_DOWN, a}, std::pair{wxEVT_MOTION, (a + b) / 2},
                                  std::pair{wxEVT_MOTION, b}, std::pair{wxEVT_LEFT_UP, b}}) {
        wxMouseEvent event(type);
        event.m_x = p.x;
        event.m_y = p.y;
        event.m_leftDown = type != wxEVT_LEFT_UP;
        view->ProcessWindowEvent(event);
    }
}

// True when a pixel within `reach` of p has the colour.
bool near_colour(const wxImage& shot, const wxPoint& p, const unsigned char* rgb, int reach = 1)
{
    for (int y = std::max(0, p.y - reach); y <= std::min(shot.GetHeight() - 1, p.y + reach); ++y)
        for (int x = std::max(0, p.x - reach); x <= std::min(shot.GetWidth() - 1, p.x + reach); ++x)
            if (shot.GetRed(x, y) == rgb[0] && shot.GetGreen(x, y) == rgb[1] && shot.GetBlue(x, y) == rgb[2])
                return true;
    return false;
}

// Frame pixels the review window does not show where frame_to_window says.
long misplaced_pixels(review_canvas* review)
{
    const wxImage shot = review->grab();
    const cip_t frame = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    const byte_cmap_t& grey = colourmap->byte_maps();
    long wrong = 0;
    for (long v = 3; v < frame.height(); v += 17)
        for (long u = 5; u < frame.width(); u += 19) {
            const wxPoint p = review->frame_to_window(u, v);
            const int code = frame.pixels()[v * frame.width() + u];
            const unsigned char rgb[3] = {grey.red8[code], grey.green8[code], grey.blue8[code]};
            if (wxRect(shot.GetSize()).Contains(p) && !near_colour(shot, p, rgb, 0))
                ++wrong;
        }
    return wrong;
}

const unsigned char yellow[3] = {255, 255, 0}, cyan[3] = {0, 255, 255};

class GuiTools : public GuiTest {
protected:
    review_canvas* review() { return frame().review(); }
    wxString status() { return frame().GetStatusBar()->GetStatusText(0); }
};

// Names typed without an extension get the chosen filter's, in every save
// dialog; without it files were written that the Open dialog never shows
// ("one_framei"), or not at all ("Error opening file for writing.").
TEST_F(GuiTools, SaveDialogsAddTheChosenFiltersExtension)
{
    start({demo});
    const wxString out = dir + "/out/";
    ASSERT_TRUE(wxFileName::Mkdir(out));
    script.files.push_back(file_choice_t{out + "grab", 0});
    menu(ID_FILE_GRAB_REVIEW);
    const wxImage grabbed(out + "grab.png", wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(grabbed.IsOk()) << "a PNG under the name with .png";
    EXPECT_EQ(grabbed.GetSize(), review()->GetClientSize());

    visual(ID_VISUAL_RESLICE);
    auto* save = wxDynamicCast(wxWindow::FindWindowByLabel("Save", frame().visual_notebook()->GetPage(2)), wxButton);
    ASSERT_NE(save, nullptr);
    script.files.push_back(file_choice_t{out + "slice", 3});
    wxCommandEvent click(wxEVT_BUTTON, save->GetId());
    save->ProcessWindowEvent(click);
    EXPECT_EQ(wxImage(out + "slice.ppm", wxBITMAP_TYPE_PNM).GetWidth(), frame().reslices().reslices[0].width());

    script.files.push_back(file_choice_t{out + "settings", 0});
    menu(ID_FILE_SAVEAS_TEMPLATE);
    script.files.push_back(file_choice_t{out + "copy", 0});
    menu(ID_FILE_SAVEAS);
    script.texts.push_back(wxString("5"));  // last: the one frame becomes the data in memory
    script.files.push_back(file_choice_t{out + "one_frame", 0});
    menu(ID_FILE_EXPORT_FRAMES);
    EXPECT_EQ(bufp->frames(), 1);

    wxArrayString written;
    wxDir::GetAllFiles(out, &written);
    written.Sort();
    EXPECT_EQ(wxJoin(written, ','), wxString::Format("%scopy.ks,%scopy.kvi,%sgrab.png,%sone_frame.ks,%sone_frame.kvi,"
                                                     "%ssettings.kst,%sslice.ppm",
                                                     out, out, out, out, out, out, out));
    EXPECT_EQ(log->count(wxLOG_Error), 0u);
}

// A name that cannot be saved says why: an extension no filter offers, a
// folder that is not there; a name that gained an extension asks before it
// replaces a file the dialog never asked about.
TEST_F(GuiTools, SaveFailuresNameTheirCause)
{
    start({demo});
    for (const auto& [name, message] :
         {std::pair{"/shot.v2", "Unknown file extension '.v2' in 'shot.v2': use .png, .jpeg, .jpg or .bmp."},
          std::pair{"/missing/shot.png", "Error opening file for writing."}}) {
        log->clear();
        script.files.push_back(file_choice_t{dir + name, 0});
        menu(ID_FILE_GRAB_REVIEW);
        EXPECT_TRUE(log->contains(message, wxLOG_Error)) << name;
        EXPECT_EQ(log->count(wxLOG_Error), 1u) << name;
        EXPECT_FALSE(wxFileExists(dir + name));
    }
    ASSERT_TRUE(wxFile().Create(dir + "/kept.png"));
    script.files.push_back(file_choice_t{dir + "/kept", 0});
    script.answers.push_back(answer_t::no);
    menu(ID_FILE_GRAB_REVIEW);
    EXPECT_TRUE(script.answers.empty()) << "asked before replacing kept.png";
    EXPECT_EQ(wxFileName::GetSize(dir + "/kept.png"), 0u);
}

// Drag zoom: the dragged box fills the window with what was in its middle in
// the window's middle, the frame's own pixels where the view says; a click
// shows the whole frame again.
TEST_F(GuiTools, DragZoomShowsTheDraggedBox)
{
    start({demo});
    tool(ID_TOOL_DRAG_ZOOM, true);
    EXPECT_TRUE(status().StartsWith("Drag zoom")) << status();
    const wxSize size = review()->GetClientSize();
    const wxPoint a(size.x / 2 - 30, size.y / 2 - 20), b(size.x / 2 + 10, size.y / 2 + 10);
    double cu, cv;
    review()->window_to_frame((a + b) / 2, &cu, &cv);
    left_drag(review(), a, b);
    const double zoom = res->RES_REVIEW_ZOOM->value();
    EXPECT_GT(zoom, 5.0);
    const wxPoint centre = review()->frame_to_window(std::floor(cu), std::floor(cv));
    EXPECT_LE(std::abs(centre.x - size.x / 2), zoom * 2) << "the box's middle is centred";
    EXPECT_LE(std::abs(centre.y - size.y / 2), zoom * 2);
    EXPECT_EQ(misplaced_pixels(review()), 0);

    left_drag(review(), a, a + wxPoint(1, 1));
    const int left = review()->frame_to_window(0, 0).x, right = review()->frame_to_window(159, 0).x;
    EXPECT_TRUE(left >= 0 && right < size.x) << "the whole frame again";
    EXPECT_LE(std::abs(left - (size.x - 1 - right)), 2) << "centred";
}

// Lock zoom keeps window pixels per frame pixel when the window changes size;
// unlocked, the picture follows the window.
TEST_F(GuiTools, LockZoomKeepsTheMagnificationAcrossResizes)
{
    start({demo});
    const auto across = [this] { return review()->frame_to_window(150, 0).x - review()->frame_to_window(10, 0).x; };
    for (bool locked : {true, false}) {
        tool(ID_TOOL_LOCK_ZOOM, locked);
        const int before = across();
        const wxSize window = review()->GetClientSize();
        frame().SetSize(frame().GetSize() + wxSize(locked ? -300 : 300, 0));
        ASSERT_TRUE(pump_until([&] { return review()->GetClientSize().x != window.x; }));
        const auto kept = [&] { return std::abs(static_cast<double>(across()) / before - 1.0) < 0.02; };
        if (locked)
            EXPECT_TRUE(pump_until(kept));
        else
            EXPECT_FALSE(kept()) << "unlocked, the fit follows the window";
        // The drawable follows the window a little later.
        EXPECT_TRUE(pump_until([this] { return misplaced_pixels(review()) == 0; }));
    }
}

// Measure: the line's length in millimetres from both pixel scales, in the
// status bar and beside the line; the next measurement clears the last.
TEST_F(GuiTools, MeasureShowsTheLengthAndTheNextClearsIt)
{
    start({demo});
    tool(ID_TOOL_MEASURE, true);
    const double xs = res->RES_XSCALE->value(), ys = 2 * res->RES_YSCALE->value();
    res->RES_YSCALE->write(ys);  // rows unlike columns, so a scale mixed up shows
    const wxPoint a = review()->frame_to_window(20, 30), b = review()->frame_to_window(50, 70);
    left_drag(review(), a, b);
    double shown = 0;
    ASSERT_TRUE(status().StartsWith("Length ") && status().EndsWith(" mm")) << status();
    ASSERT_TRUE(status().AfterFirst(' ').BeforeFirst(' ').ToCDouble(&shown)) << status();
    // The ends are within a frame pixel of the chosen ones.
    EXPECT_NEAR(shown, 10 * std::hypot(30 * xs, 40 * ys), 10 * 2 * std::hypot(xs, ys));

    const wxImage shot = review()->grab();
    EXPECT_TRUE(near_colour(shot, (a + b) / 2, yellow)) << "the line";
    int label = 0;  // the label's text, in the line's colour, beside the far end
    for (int y = b.y + 6; y < b.y + 26; ++y)
        for (int x = b.x + 6; x < b.x + 80; ++x)
            label += near_colour(shot, {x, y}, yellow, 0);
    EXPECT_GT(label, 10);

    const wxPoint c = review()->frame_to_window(100, 20), d = review()->frame_to_window(120, 20);
    left_drag(review(), c, d);
    const wxImage next = review()->grab();
    EXPECT_FALSE(near_colour(next, (a + b) / 2, yellow)) << "the first line is gone";
    EXPECT_TRUE(near_colour(next, (c + d) / 2, yellow));
}

// Select: the dragged rectangle becomes the region for processing (the
// resources saved with the recording), outlined on the frame; a click clears it.
TEST_F(GuiTools, SelectKeepsTheRegionWithTheRecording)
{
    start({demo});
    tool(ID_TOOL_SELECT, true);
    left_drag(review(), review()->frame_to_window(30, 20), review()->frame_to_window(89, 59));
    EXPECT_EQ(wxString::Format("%ld %ld %ld %ld", static_cast<long>(res->RES_RF_SELECT_VECTOR->value()),
                               static_cast<long>(res->RES_RF_SELECT_SAMPLE->value()),
                               static_cast<long>(res->RES_RF_SELECT_VECTORS->value()),
                               static_cast<long>(res->RES_RF_SELECT_SAMPLES->value())),
              "30 20 60 40");
    EXPECT_TRUE(status().Contains("60 x 40")) << status();
    const wxPoint top_edge = (review()->frame_to_window(60, 19) + review()->frame_to_window(60, 20)) / 2;
    EXPECT_TRUE(near_colour(review()->grab(), top_edge, cyan)) << "the top edge";
    EXPECT_FALSE(near_colour(review()->grab(), review()->frame_to_window(60, 40), cyan, 3)) << "inside, the image";

    left_drag(review(), review()->frame_to_window(5, 5), review()->frame_to_window(5, 5));
    EXPECT_EQ(res->RES_RF_SELECT_VECTORS->value(), 0);
    EXPECT_FALSE(near_colour(review()->grab(), top_edge, cyan));
}

// Tools that come later say so; every tool shows on the bar of a window 1280
// pixels wide, none in the overflow menu; Display objects draws the current
// frame's outlines, Display landmarks the landmarks on its plane only.
TEST_F(GuiTools, NotesLabelsAndDisplayToggles)
{
    start({demo});
    for (int id : {ID_TOOL_ERASE}) {
        tool(id, true);
        EXPECT_TRUE(status().Contains("yet")) << status();
    }
    wxToolBar* bar = frame().GetToolBar();
    ASSERT_GE(frame().GetSize().x, 1280);
    GtkToolbar* gtk_bar = bar->GTKGetToolbar();
    for (int id : {ID_TOOL_DRAG_ZOOM, ID_TOOL_LOCK_ZOOM, ID_TOOL_INVERT, ID_TOOL_SINGLE_FRAME, ID_TOOL_ALL_FRAMES,
                   ID_TOOL_LANDMARKS, ID_TOOL_OBJECTS}) {
        GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(gtk_bar, bar->GetToolPos(id)));
        GtkAllocation at;
        gtk_widget_get_allocation(item, &at);
        EXPECT_TRUE(gtk_widget_is_drawable(item)) << bar->FindById(id)->GetLabel();
        EXPECT_LE(at.x + at.width, gtk_widget_get_allocated_width(GTK_WIDGET(gtk_bar)));
    }

    res->RES_BUF_CURRENT_FRAME->write(12);
    auto objects = std::make_shared<object_table>(*res->RES_OBJECT->value());
    contour outline;
    outline.points = {{40, 30}, {100, 30}, {100, 80}, {40, 80}};
    (*objects)[1].set_for_frame(12).contours.push_back(outline);
    (*objects)[1].colour = {255, 0, 0};
    res->RES_OBJECT->write(objects);
    matrix16d to_world;
    ASSERT_TRUE(view3d_canvas::frame_to_world(12, &to_world));
    auto marks = std::make_shared<landmarks>();
    marks->list.resize(2);
    marks->list[0].position = to_world * vertex3d{60.5, 40.5, 0.0};
    marks->list[1].position = to_world * vertex3d{110.5, 70.5, 0.5};  // half a centimetre off the plane
    marks->list[1].kind = LMARK_FIDUCIAL;
    res->RES_LANDMARKS->write(marks);
    const unsigned char red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, magenta[3] = {255, 0, 255};
    for (bool on : {true, false}) {
        tool(ID_TOOL_OBJECTS, on);
        tool(ID_TOOL_LANDMARKS, on);
        const wxImage shot = review()->grab();
        EXPECT_EQ(near_colour(shot, review()->frame_to_window(70, 30), red), on) << on;
        EXPECT_EQ(near_colour(shot, review()->frame_to_window(60, 40), green, 2), on) << on;
        EXPECT_FALSE(near_colour(shot, review()->frame_to_window(110, 70), magenta, 3)) << "off the plane";
    }
}

}  // namespace
