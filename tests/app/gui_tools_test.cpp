// The save dialogs' file names and the review window's tools, driven as a
// user would: names typed without an extension, failures and their messages,
// and Drag zoom, Lock zoom, Measure, Select and the Display toggles on the demo.
#include <chrono>
#include <cmath>
#include <functional>

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
#include "common/matrix16d.h"
#include "common/dynabuf.h"
#include "display/globcmap.h"
#include "gui_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

// Pumps events until `holds` or the deadline; true when it holds.
bool pump_until(const std::function<bool()>& holds, int deadline_ms = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
    while (!holds()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        wxTheApp->Yield(true);
        wxTheApp->ProcessIdle();
    }
    return true;
}

// A left drag from a to b on a window, through a point on the way.
void left_drag(wxWindow* view, const wxPoint& a, const wxPoint& b)
{
    auto send = [view](wxEventType type, const wxPoint& p, bool down) {
        wxMouseEvent event(type);
        event.m_x = p.x;
        event.m_y = p.y;
        event.m_leftDown = down;
        event.SetEventObject(view);
        view->ProcessWindowEvent(event);
    };
    send(wxEVT_LEFT_DOWN, a, true);
    send(wxEVT_MOTION, (a + b) / 2, true);
    send(wxEVT_MOTION, b, true);
    send(wxEVT_LEFT_UP, b, false);
}

bool shows_colour(const wxImage& shot, const wxPoint& p, const unsigned char* rgb)
{
    return p.x >= 0 && p.y >= 0 && p.x < shot.GetWidth() && p.y < shot.GetHeight() && shot.GetRed(p.x, p.y) == rgb[0] &&
           shot.GetGreen(p.x, p.y) == rgb[1] && shot.GetBlue(p.x, p.y) == rgb[2];
}

// True when a pixel within `reach` of p has the colour.
bool near_colour(const wxImage& shot, const wxPoint& p, const unsigned char* rgb, int reach = 1)
{
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (shows_colour(shot, p + wxPoint(dx, dy), rgb))
                return true;
    return false;
}

// The frame pixel (u, v) as the grey map shows it.
void frame_grey(long u, long v, unsigned char* rgb)
{
    const cip_t pixels = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    const int code = pixels.pixels()[v * pixels.width() + u];
    rgb[0] = colourmap->byte_maps().red8[code];
    rgb[1] = colourmap->byte_maps().green8[code];
    rgb[2] = colourmap->byte_maps().blue8[code];
}

// The review window shows the frame's own pixels where frame_to_window says.
long misplaced_pixels(review_canvas* review)
{
    const wxImage shot = review->grab();
    const cip_t frame = bufp->imagecp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    long wrong = 0;
    for (long v = 3; v < frame.height(); v += 17)
        for (long u = 5; u < frame.width(); u += 19) {
            const wxPoint p = review->frame_to_window(u, v);
            unsigned char grey[3];
            frame_grey(u, v, grey);
            if (p.x >= 0 && p.y >= 0 && p.x < shot.GetWidth() && p.y < shot.GetHeight() && !shows_colour(shot, p, grey))
                ++wrong;
        }
    return wrong;
}

// Files in a folder, by name.
wxArrayString files_in(const wxString& dir)
{
    wxArrayString names;
    wxDir::GetAllFiles(dir, &names, wxEmptyString, wxDIR_FILES);
    for (wxString& n : names)
        n = wxFileName(n).GetFullName();
    names.Sort();
    return names;
}

const unsigned char yellow[3] = {255, 255, 0};
const unsigned char cyan[3] = {0, 255, 255};

class GuiTools : public GuiTest {
protected:
    review_canvas* review() { return frame().review(); }
    wxString status() { return frame().GetStatusBar()->GetStatusText(0); }
    void choose_tool(int id)
    {
        tool(id, true);
        pump_until([] { return true; });
    }
};

// Names typed without an extension get the chosen filter's, in every save
// dialog; without it files are written that the Open dialog never shows, or
// not at all ("Error opening file for writing.").
TEST_F(GuiTools, SaveDialogsAddTheChosenFiltersExtension)
{
    start({demo});
    const wxString out = dir + "/out";
    ASSERT_TRUE(wxFileName::Mkdir(out));
    script.files.push_back(file_choice_t{out + "/grab", 0});
    menu(ID_FILE_GRAB_REVIEW);
    const wxImage grabbed(out + "/grab.png", wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(grabbed.IsOk()) << "a PNG under the name with .png";
    EXPECT_EQ(grabbed.GetSize(), review()->GetClientSize());

    script.files.push_back(file_choice_t{out + "/grab3d", 1});
    menu(ID_FILE_GRAB_3D);
    EXPECT_TRUE(wxImage(out + "/grab3d.jpeg", wxBITMAP_TYPE_JPEG).IsOk());

    visual(ID_VISUAL_RESLICE);
    auto* page = frame().visual_notebook()->GetPage(2);
    auto* save = wxDynamicCast(wxWindow::FindWindowByLabel("Save", page), wxButton);
    ASSERT_NE(save, nullptr);
    script.files.push_back(file_choice_t{out + "/slice", 3});
    wxCommandEvent click(wxEVT_BUTTON, save->GetId());
    click.SetEventObject(save);
    save->ProcessWindowEvent(click);
    const wxImage slice(out + "/slice.ppm", wxBITMAP_TYPE_PNM);
    ASSERT_TRUE(slice.IsOk());
    EXPECT_EQ(slice.GetWidth(), frame().reslices().reslices[0].width());

    script.files.push_back(file_choice_t{out + "/settings", 0});
    menu(ID_FILE_SAVEAS_TEMPLATE);
    script.files.push_back(file_choice_t{out + "/copy", 0});
    menu(ID_FILE_SAVEAS);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(2), out + "/copy.ks");

    // Last, as it makes the one frame the data in memory.
    script.texts.push_back(wxString("5"));
    script.files.push_back(file_choice_t{out + "/one_frame", 0});
    menu(ID_FILE_EXPORT_FRAMES);
    EXPECT_EQ(bufp->frames(), 1);

    const wxArrayString expected = wxSplit(
        "copy.ks,copy.kvi,grab.png,grab3d.jpeg,one_frame.ks,one_frame.kvi,settings.kst,slice.ppm", ',');
    EXPECT_EQ(files_in(out), expected);
    EXPECT_EQ(log->count(wxLOG_Error), 0u);
}

// A name that cannot be saved says why: an extension no filter offers, a
// folder that is not there; a name that gained an extension asks before it
// replaces a file the dialog never asked about.
TEST_F(GuiTools, SaveFailuresNameTheirCause)
{
    start({demo});
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"/shot.v2", "Unknown file extension '.v2' in 'shot.v2': use .png, .jpeg, .jpg or .bmp."},
        {"/missing/shot.png", "Error opening file for writing."},
    };
    for (const auto& c : cases) {
        log->clear();
        script.files.push_back(file_choice_t{dir + c.name, 0});
        menu(ID_FILE_GRAB_REVIEW);
        EXPECT_TRUE(log->contains(c.message, wxLOG_Error)) << c.name;
        EXPECT_EQ(log->count(wxLOG_Error), 1u) << c.name;
        EXPECT_FALSE(wxFileExists(dir + c.name));
    }
    ASSERT_TRUE(wxFile().Create(dir + "/kept.png"));
    script.files.push_back(file_choice_t{dir + "/kept", 0});
    script.answers.push_back(answer_t::no);
    menu(ID_FILE_GRAB_REVIEW);
    EXPECT_TRUE(script.answers.empty()) << "asked before replacing kept.png";
    EXPECT_EQ(wxFileName::GetSize(dir + "/kept.png"), 0u);
}

// Drag zoom: the dragged box fills the window, what was in its middle is in
// the window's middle, and the frame's own pixels are where the view says;
// a click shows the whole frame again.
TEST_F(GuiTools, DragZoomShowsTheDraggedBox)
{
    start({demo});
    choose_tool(ID_TOOL_DRAG_ZOOM);
    EXPECT_TRUE(status().StartsWith("Drag zoom")) << status();
    const wxSize size = review()->GetClientSize();
    const wxPoint a(size.x / 2 - 30, size.y / 2 - 20), b(size.x / 2 + 10, size.y / 2 + 10);
    double cu, cv;
    review()->window_to_frame((a + b) / 2, &cu, &cv);
    const double zoom = res->RES_REVIEW_ZOOM->value();
    left_drag(review(), a, b);

    EXPECT_GT(res->RES_REVIEW_ZOOM->value(), 5 * zoom);
    const wxPoint centre = review()->frame_to_window(std::floor(cu), std::floor(cv));
    EXPECT_LE(std::abs(centre.x - size.x / 2), res->RES_REVIEW_ZOOM->value() * 2) << "the box's middle is centred";
    EXPECT_LE(std::abs(centre.y - size.y / 2), res->RES_REVIEW_ZOOM->value() * 2);
    EXPECT_EQ(misplaced_pixels(review()), 0);
    unsigned char grey[3];
    frame_grey(static_cast<long>(cu), static_cast<long>(cv), grey);
    EXPECT_TRUE(shows_colour(review()->grab(), centre, grey)) << "the box's middle pixel, magnified";

    left_drag(review(), a, a + wxPoint(1, 1));
    EXPECT_DOUBLE_EQ(res->RES_REVIEW_ZOOM->value(), 1.0);
    const int left = review()->frame_to_window(0, 0).x, right = review()->frame_to_window(159, 0).x;
    EXPECT_GE(left, 0) << "the whole frame again";
    EXPECT_LT(right, size.x);
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
        pump_until([] { return false; }, 100);  // the splitters settle
        const double ratio = static_cast<double>(across()) / before;
        if (locked)
            EXPECT_NEAR(ratio, 1.0, 0.02) << "locked";
        else
            EXPECT_GT(std::abs(ratio - 1.0), 0.05) << "unlocked, the fit follows the window";
        EXPECT_EQ(misplaced_pixels(review()), 0);
    }
}

// Measure: the line's length in millimetres from the pixel scales, in the
// status bar and beside the line; the next measurement clears the last.
TEST_F(GuiTools, MeasureShowsTheLengthAndTheNextClearsIt)
{
    start({demo});
    choose_tool(ID_TOOL_MEASURE);
    const double xs = res->RES_XSCALE->value(), ys = res->RES_YSCALE->value();
    ASSERT_GT(xs, 0.0);
    res->RES_YSCALE->write(2 * ys);  // rows count double, so a wrong scale shows
    pump_until([] { return true; });
    const wxPoint a = review()->frame_to_window(20, 30), b = review()->frame_to_window(50, 70);
    left_drag(review(), a, b);
    const double expected = 10 * std::hypot(30 * xs, 40 * 2 * ys);
    double shown = 0;
    ASSERT_TRUE(status().AfterFirst(' ').BeforeFirst(' ').ToCDouble(&shown)) << status();
    EXPECT_TRUE(status().EndsWith(" mm")) << status();
    // The ends fall within a frame pixel of the chosen ones; a wrong scale is off by 14 mm.
    EXPECT_NEAR(shown, expected, 10 * 2 * std::hypot(xs, 2 * ys));

    const wxImage shot = review()->grab();
    EXPECT_TRUE(near_colour(shot, (a + b) / 2, yellow)) << "the line";
    int label = 0;  // the label's text, in the line's colour, beside the far end
    for (int y = b.y + 6; y < b.y + 26 && y < shot.GetHeight(); ++y)
        for (int x = b.x + 6; x < b.x + 80 && x < shot.GetWidth(); ++x)
            label += shows_colour(shot, {x, y}, yellow);
    EXPECT_GT(label, 10);

    const wxPoint c = review()->frame_to_window(100, 20), d = review()->frame_to_window(120, 20);
    left_drag(review(), c, d);
    const wxImage next = review()->grab();
    EXPECT_FALSE(near_colour(next, (a + b) / 2, yellow)) << "the first line is gone";
    EXPECT_TRUE(near_colour(next, (c + d) / 2, yellow));
}

// Select: the dragged rectangle becomes the region for processing, saved
// with the recording, outlined on the frame; a click clears it.
TEST_F(GuiTools, SelectKeepsTheRegionWithTheRecording)
{
    start({demo});
    choose_tool(ID_TOOL_SELECT);
    EXPECT_TRUE(status().StartsWith("Select")) << status();
    left_drag(review(), review()->frame_to_window(30, 20), review()->frame_to_window(89, 59));
    EXPECT_EQ(res->RES_RF_SELECT_VECTOR->value(), 30);
    EXPECT_EQ(res->RES_RF_SELECT_VECTORS->value(), 60);
    EXPECT_EQ(res->RES_RF_SELECT_SAMPLE->value(), 20);
    EXPECT_EQ(res->RES_RF_SELECT_SAMPLES->value(), 40);
    EXPECT_TRUE(status().Contains("60 x 40")) << status();
    const wxImage shot = review()->grab();
    const wxPoint top_edge = (review()->frame_to_window(60, 19) + review()->frame_to_window(60, 20)) / 2;
    EXPECT_TRUE(near_colour(shot, top_edge, cyan)) << "the top edge";
    EXPECT_FALSE(near_colour(shot, review()->frame_to_window(60, 40), cyan, 3)) << "inside stays the image";

    script.files.push_back(file_choice_t{dir + "/selected", 0});
    menu(ID_FILE_SAVEAS);
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(dir + "/selected.ks"));
    EXPECT_EQ(res->RES_RF_SELECT_VECTORS->value(), 60) << "kept with the recording";

    left_drag(review(), review()->frame_to_window(5, 5), review()->frame_to_window(5, 5));
    EXPECT_EQ(res->RES_RF_SELECT_VECTORS->value(), 0);
    EXPECT_FALSE(near_colour(review()->grab(), top_edge, cyan));
}

// Tools that come later say so in the status bar; the Display toggles carry
// their labels and Display objects shows the current frame's outlines.
TEST_F(GuiTools, NotesLabelsAndDisplayedObjects)
{
    start({demo});
    for (int id : {ID_TOOL_DRAW, ID_TOOL_MARK, ID_TOOL_ERASE}) {
        choose_tool(id);
        EXPECT_TRUE(status().Contains("yet")) << status();
    }
    // Every tool shows on the bar of a window 1280 pixels wide, none in the overflow menu.
    wxToolBar* bar = frame().GetToolBar();
    ASSERT_GE(frame().GetSize().x, 1280);
    GtkToolbar* gtk_bar = bar->GTKGetToolbar();
    const int bar_width = gtk_widget_get_allocated_width(GTK_WIDGET(gtk_bar));
    for (int id : {ID_TOOL_DRAG_ZOOM, ID_TOOL_LOCK_ZOOM, ID_TOOL_INVERT, ID_TOOL_SINGLE_FRAME, ID_TOOL_ALL_FRAMES,
                   ID_TOOL_LANDMARKS, ID_TOOL_OBJECTS}) {
        GtkWidget* item = GTK_WIDGET(gtk_toolbar_get_nth_item(gtk_bar, bar->GetToolPos(id)));
        EXPECT_TRUE(gtk_widget_is_drawable(item)) << bar->FindById(id)->GetLabel();
        GtkAllocation at;
        gtk_widget_get_allocation(item, &at);
        EXPECT_LE(at.x + at.width, bar_width) << bar->FindById(id)->GetLabel();
    }

    auto objects = std::make_shared<object_table>(*res->RES_OBJECT->value());
    contour outline;
    outline.points = {{40, 30}, {100, 30}, {100, 80}, {40, 80}};
    (*objects)[1].set_for_frame(0).contours.push_back(outline);
    (*objects)[1].colour = {255, 0, 0};
    res->RES_OBJECT->write(objects);
    const unsigned char red[3] = {255, 0, 0};
    for (bool on : {true, false}) {
        tool(ID_TOOL_OBJECTS, on);
        EXPECT_EQ(near_colour(review()->grab(), review()->frame_to_window(70, 30), red), on) << on;
    }
}

// Display landmarks marks the landmarks that lie on the current frame's plane
// where they fall on it, and not those a few millimetres off it.
TEST_F(GuiTools, DisplayLandmarksMarksThoseOnTheFrame)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(12);
    matrix16d to_world;
    ASSERT_TRUE(view3d_canvas::frame_to_world(12, &to_world));
    auto marks = std::make_shared<landmarks>();
    landmark_t on, off;
    on.position = to_world * vertex3d{60.5, 40.5, 0.0};
    off.position = to_world * vertex3d{110.5, 70.5, 0.5};  // half a centimetre off the plane
    off.kind = LMARK_FIDUCIAL;
    marks->list = {on, off};
    res->RES_LANDMARKS->write(marks);
    const unsigned char green[3] = {0, 255, 0}, magenta[3] = {255, 0, 255};
    for (bool shown : {true, false}) {
        tool(ID_TOOL_LANDMARKS, shown);
        const wxImage shot = review()->grab();
        EXPECT_EQ(near_colour(shot, review()->frame_to_window(60, 40), green, 2), shown) << shown;
        EXPECT_FALSE(near_colour(shot, review()->frame_to_window(110, 70), magenta, 3)) << "off the plane";
    }
}

}  // namespace
