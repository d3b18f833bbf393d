// The main window as a user meets it: started on a recording, the slider,
// play-back, the menus, the configuration lock, closing with unsaved changes,
// what the windows actually show, and streaming to OpenIGTLink clients.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/file.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <igtlClientSocket.h>
#include <igtlMessageHeader.h>

#include "acquisition/posinfo.h"
#include "app/dialogs/options_dialog.h"
#include "app/dialogs/position_source_dialog.h"
#include "app/ids.h"
#include "app/main_window.h"
#include "app/pages/reslice_pages.h"
#include "app/views/reslice_canvas.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/vid_stat.h"
#include "display/globcmap.h"
#include "gui_fixture.h"
#include "volumes/sequence_export.h"
#include "reconstruction/reslice_landmarks.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"

namespace {

MainWindow& app() { return static_cast<MainWindow&>(*wxTheApp); }

// The review window shows the current frame's pixels through the grey map.
void expect_review_shows_frame(MainFrame& frame, long index)
{
    const wxImage shot = frame.review()->grab();
    ASSERT_TRUE(shot.IsOk());
    const cip_t pixels = bufp->imagecp(index);
    const byte_cmap_t& grey = colourmap->byte_maps();
    int checked = 0;
    for (long v = 5; v < pixels.height(); v += 23)
        for (long u = 7; u < pixels.width(); u += 31) {
            const wxPoint p = frame.review()->frame_to_window(u, v);
            if (p.x < 0 || p.y < 0 || p.x >= shot.GetWidth() || p.y >= shot.GetHeight())
                continue;
            const int code = pixels.pixels()[v * pixels.width() + u];
            EXPECT_EQ(shot.GetRed(p.x, p.y), grey.red8[code]) << "pixel " << u << "," << v;
            EXPECT_EQ(shot.GetGreen(p.x, p.y), grey.green8[code]);
            EXPECT_EQ(shot.GetBlue(p.x, p.y), grey.blue8[code]);
            ++checked;
        }
    EXPECT_GT(checked, 10);
}

bool shows(const wxImage& shot, const wxPoint& p, unsigned char r, unsigned char g, unsigned char b)
{
    return shot.GetRed(p.x, p.y) == r && shot.GetGreen(p.x, p.y) == g && shot.GetBlue(p.x, p.y) == b;
}

long drawn_pixels(const wxImage& shot)
{
    const wxColour bg(res->RES_BACKGROUND->value());
    long drawn = 0;
    for (int y = 0; y < shot.GetHeight(); ++y)
        for (int x = 0; x < shot.GetWidth(); ++x)
            drawn += !shows(shot, {x, y}, bg.Red(), bg.Green(), bg.Blue());
    return drawn;
}

// Pixels that differ between two grabs of one window (none if their sizes differ).
long changed_pixels(const wxImage& a, const wxImage& b)
{
    long changed = 0;
    for (int y = 0; a.GetSize() == b.GetSize() && y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            changed += !shows(b, {x, y}, a.GetRed(x, y), a.GetGreen(x, y), a.GetBlue(x, y));
    return changed;
}

long filled(const std::vector<std::uint8_t>& image)
{
    return std::count_if(image.begin(), image.end(), [](std::uint8_t v) { return v != 0; });
}

// Sets a control as a user would and sends the event that follows.
template <class C>
void send(C* control, wxEventType type, int value)
{
    wxCommandEvent event(type, control->GetId());
    event.SetEventObject(control);
    event.SetInt(value);
    control->ProcessWindowEvent(event);
}

void click_check(wxCheckBox* box, bool on)
{
    box->SetValue(on);
    send(box, wxEVT_CHECKBOX, on);
}

void slide(wxSlider* slider, int value)
{
    slider->SetValue(value);
    send(slider, wxEVT_SLIDER, value);
}

// A left-button mouse event at (x, 50).
void mouse(wxWindow* view, wxEventType type, int x)
{
    wxMouseEvent event(type);
    event.m_x = x;
    event.m_y = 50;
    event.m_leftDown = type != wxEVT_LEFT_UP;
    view->ProcessWindowEvent(event);
}

reslice_page* reslice_page_of(MainFrame& frame)
{
    return dynamic_cast<reslice_page*>(frame.visual_notebook()->GetPage(2));
}

TEST_F(GuiTest, StartsOnARecordingAndTheSliderChoosesTheFrame)
{
    start({demo});
    EXPECT_EQ(bufp->frames(), 40);
    EXPECT_EQ(frame().info_label()->GetLabel(), "40 frames recorded.");
    EXPECT_TRUE(frame().frame_slider()->IsEnabled());
    EXPECT_EQ(frame().frame_slider()->GetMax(), 39);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(2), demo);
    expect_review_shows_frame(frame(), 0);
    EXPECT_FALSE(frame().GetMenuBar()->IsEnabled(ID_FILE_OPEN)) << "open only with no frames";
    EXPECT_TRUE(frame().GetMenuBar()->IsEnabled(ID_FILE_SAVE));
    EXPECT_FALSE(log->contains("Failed to load help file", wxLOG_Error)) << "the help book lies beside the program";

    // The 3D window draws the current frame's plane and outlines the others.
    const wxImage shot = frame().view3d()->grab();
    ASSERT_TRUE(shot.IsOk());
    EXPECT_GT(drawn_pixels(shot), shot.GetWidth() * shot.GetHeight() / 50) << "the current frame's plane is drawn";
    long outline = 0;
    for (int y = 0; y < shot.GetHeight(); ++y)
        for (int x = 0; x < shot.GetWidth(); ++x)
            outline += shot.GetRed(x, y) > 200 && shot.GetGreen(x, y) > 150 && shot.GetBlue(x, y) < 120;
    EXPECT_GT(outline, 50) << "the other frames are outlined";

    // The slider chooses the frame.
    slide(frame().frame_slider(), 17);
    pump(100);
    EXPECT_EQ(res->RES_BUF_CURRENT_FRAME->value(), 17);
    expect_review_shows_frame(frame(), 17);
    // While a view is still drawing, slider moves are dropped rather than queued.
    res->RES_REVIEW_UPDATE_PENDING->write(true);
    slide(frame().frame_slider(), 3);
    EXPECT_EQ(res->RES_BUF_CURRENT_FRAME->value(), 17);
    res->RES_REVIEW_UPDATE_PENDING->write(false);
}

TEST_F(GuiTest, PlaybackAdvancesAndStopsAtTheEnd)
{
    start({demo});
    EXPECT_FALSE(app().idle_bound()) << "an idle program does not spin";
    const std::uint64_t first = bufp->timestamp(static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()));
    const std::uint64_t started = master_clock->hundred_ns_time();
    tool(ID_TOOL_PLAY, true);
    EXPECT_TRUE(app().idle_bound());
    // A slow machine may show frames late, never early: checked at every tick.
    bool ahead = false;
    EXPECT_TRUE(pump_until([&] {
        const long shown = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
        ahead = ahead || bufp->timestamp(shown) - first > master_clock->hundred_ns_time() - started;
        return !frame().playing();
    })) << "play-back stops by itself on the last frame";
    EXPECT_FALSE(ahead) << "frames shown at their recorded times, not faster";
    EXPECT_EQ(res->RES_BUF_CURRENT_FRAME->value(), 39);
    EXPECT_TRUE(pump_until([&] { return !app().idle_bound(); }));
}

TEST_F(GuiTest, ConfigurationLock)
{
    start({demo});
    const auto answer = [&](std::initializer_list<const char*> texts, int id) {
        for (const char* t : texts)
            script.texts.push_back(wxString(t));
        menu(id);
    };
    ASSERT_TRUE(frame().config_mode());
    answer({"wrong"}, ID_GUI_CONFIG);
    EXPECT_TRUE(frame().config_mode());
    answer({"MarlWood"}, ID_GUI_CONFIG);
    EXPECT_FALSE(frame().config_mode());
    EXPECT_FALSE(frame().task_notebook()->GetPage(1)->IsEnabled());
    EXPECT_FALSE(frame().GetMenuBar()->IsEnabled(ID_FILE_SAVEAS_TEMPLATE));
    EXPECT_EQ(frame().visual_notebook()->GetSelection(), 3);

    // A new password: too short refused, then set; the master code still works.
    answer({"9fern&k"}, ID_GUI_CONFIG);
    ASSERT_TRUE(frame().config_mode());
    answer({"short"}, ID_GUI_PASSWORD);
    EXPECT_EQ(res->RES_PASSWORD->value(), "marlwood");
    answer({"NewSecret", "newsecret"}, ID_GUI_PASSWORD);
    EXPECT_EQ(res->RES_PASSWORD->value(), "newsecret");
    answer({"marlwood"}, ID_GUI_CONFIG);
    EXPECT_TRUE(frame().config_mode()) << "the old password no longer works";
}

// Closing with unsaved changes asks; Cancel keeps everything.
TEST_F(GuiTest, CloseWithUnsavedChangesCanBeCancelled)
{
    start({demo});
    res->RES_CAL_PROBE->write("edited probe name");
    script.answers.push_back(answer_t::cancel);
    EXPECT_FALSE(frame().Close());
    pump(50);
    ASSERT_NE(main_win, nullptr);
    ASSERT_EQ(script.asked.size(), 1u);
    EXPECT_TRUE(script.asked[0].Contains("Calibration parameters")) << script.asked[0];
    EXPECT_EQ(bufp->frames(), 40);
    EXPECT_EQ(res->RES_CAL_PROBE->value(), "edited probe name");
}

// Save as, New, Open and Export frames through the menus, as a user would.
TEST_F(GuiTest, SaveNewOpenAndExportThroughTheMenus)
{
    start({demo});
    res->RES_BUF_CURRENT_FRAME->write(9);
    const wxString copy = dir + "/copy.ks";
    script.files.push_back(file_choice_t{copy, 0});
    menu(ID_FILE_SAVEAS);
    ASSERT_TRUE(wxFileExists(copy));
    ASSERT_TRUE(wxFileExists(dir + "/copy.kvi"));
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(2), copy);

    menu(ID_FILE_NEW);
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_FALSE(frame().frame_slider()->IsEnabled());
    EXPECT_TRUE(frame().GetMenuBar()->IsEnabled(ID_FILE_OPEN));

    script.files.push_back(file_choice_t{copy, 0});
    menu(ID_FILE_OPEN);
    EXPECT_EQ(bufp->frames(), 40);
    pump(100);
    expect_review_shows_frame(frame(), 0);

    script.texts.push_back(wxString("0:10:39"));
    script.files.push_back(file_choice_t{dir + "/shot.png", 2});
    menu(ID_FILE_EXPORT_FRAMES);
    EXPECT_TRUE(wxFileExists(dir + "/shot0000.png"));
    EXPECT_TRUE(wxFileExists(dir + "/shot0030.png"));
    EXPECT_FALSE(wxFileExists(dir + "/shot0035.png"));
}

// A tracked sequence through File, Open: the calibration from a device-set
// file picked when asked, the frames and calibration as exported.
TEST_F(GuiTest, TrackedSequenceThroughFileOpen)
{
    start({demo});
    const double xscale = res->RES_XSCALE->value(), roll = res->RES_ROLL->value();
    const cip_t last = bufp->imagecp(39);
    sequence_export_report_t report;
    wxString why;
    ASSERT_TRUE(write_sequence_file(dir + "/sweep.igs.nrrd", true, &report, &why)) << why;
    std::ofstream xml((dir + "/set.xml").ToStdString());
    xml << "<DeviceSet>\n  <Transform From=\"Image\" To=\"Probe\" Matrix=\"";
    for (double v : report.image_to_probe)
        xml << std::setprecision(17) << v << " ";
    xml << "\"/>\n</DeviceSet>\n";
    xml.close();
    menu(ID_FILE_NEW);
    ASSERT_EQ(bufp->frames(), 0);
    script.files.push_back(file_choice_t{dir + "/sweep.igs.nrrd", 1});
    script.choices.push_back(0);
    script.files.push_back(file_choice_t{dir + "/set.xml", 0});
    menu(ID_FILE_OPEN);
    ASSERT_EQ(bufp->frames(), 40);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(2), dir + "/sweep.ks");
    EXPECT_NEAR(res->RES_XSCALE->value(), xscale, 1e-6);
    EXPECT_NEAR(res->RES_ROLL->value(), roll, 1e-6);
    EXPECT_EQ(0, std::memcmp(bufp->imagecp(39).pixels(), last.pixels(), last.pixel_count()));
}

// Export voxels follows the reslice view's plane and writes a recording that reads back.
TEST_F(GuiTest, ExportVoxelsThroughTheMenu)
{
    start({demo});
    EXPECT_FALSE(frame().GetMenuBar()->IsEnabled(ID_FILE_EXPORT_VOXELS)) << "the Blank page defines no volume";
    visual(ID_VISUAL_RESLICE);
    EXPECT_TRUE(frame().GetMenuBar()->IsEnabled(ID_FILE_EXPORT_VOXELS));
    script.choices.push_back(3);  // every 4th pixel, spacing 4 pixel widths
    script.texts.push_back(wxString());  // no reconstruction options
    script.files.push_back(file_choice_t{dir + "/vol", 0});
    menu(ID_FILE_EXPORT_VOXELS);
    ASSERT_TRUE(wxFileExists(dir + "/vol.ks"));
    ASSERT_TRUE(wxFileExists(dir + "/vol.kvi"));
    EXPECT_EQ(bufp->frames(), 40) << "the data in memory stay as they were";

    // Reconstruction options: a bad word or a clip beyond the frames is refused before
    // anything is asked or written; good ones change the volume.
    for (const char* bad : {"slab=0", "clip=0,0,161,10", "masked=1", "thick"}) {
        script.choices.push_back(3);
        script.texts.push_back(wxString(bad));
        script.asked.clear();
        menu(ID_FILE_EXPORT_VOXELS);
        EXPECT_TRUE(script.asked.back().StartsWith("Export voxels: ")) << bad;
        EXPECT_TRUE(script.files.empty());
    }
    script.choices.push_back(3);
    script.texts.push_back("masked  clip=20,15,100,80 threads=2");
    script.files.push_back(file_choice_t{dir + "/clipped", 0});
    menu(ID_FILE_EXPORT_VOXELS);
    ASSERT_TRUE(wxFileExists(dir + "/clipped.kvi"));
    const auto bytes = [](const wxString& path) {
        std::ifstream in(path.ToStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string plain_bytes = bytes(dir + "/vol.kvi"), clipped_bytes = bytes(dir + "/clipped.kvi");
    ASSERT_FALSE(plain_bytes.empty());
    EXPECT_EQ(plain_bytes.size(), clipped_bytes.size()) << "the same volume";
    EXPECT_NE(plain_bytes, clipped_bytes) << "with less of each frame in it";
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(dir + "/vol.ks"));
    EXPECT_GT(bufp->frames(), 1);
    EXPECT_DOUBLE_EQ(res->RES_XSCALE->value(), 4 * 0.04) << "voxels are four reslice pixels wide";
}

// Start-up with a broken settings file, no help book and an unreadable recording still works.
TEST_F(GuiTest, StartsDespiteBrokenInputs)
{
    wxFile(dir + "/kestrane.ini", wxFile::write).Write("\x01garbage\n[section\nRES_ICON_SIZE=huge\n");
    wxFile(dir + "/broken.ks", wxFile::write)
        .Write("RES_BUF_FRAMES 2\nRES_BUF_WIDTH 4\nRES_BUF_HEIGHT 4\nRES_END_HEADER\nRES_BIN_IM_FILENAME gone.kvi\n");
    program = dir + "/kestrane";  // installed without its help book
    start({dir + "/broken.ks"});
    EXPECT_TRUE(log->contains("Error opening data file for reading in.", wxLOG_Error));
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_NE(res->RES_ASCII_FILENAME->value().GetFullName(), "broken.ks");
    EXPECT_EQ(res->RES_ICON_SIZE->value(), 24);
    EXPECT_TRUE(frame().IsShown());
    // The missing help book is reported at start-up and again when help is asked for.
    EXPECT_TRUE(log->contains("Failed to load help file kestrane_help.zip", wxLOG_Error));
    const std::size_t errors = log->count(wxLOG_Error);
    menu(ID_HELP_WINDOW);
    EXPECT_GT(log->count(wxLOG_Error), errors);
}

// The layout commands put the notebooks and data windows where their names say.
TEST_F(GuiTest, WindowLayouts)
{
    start({demo});
    const auto left_of_review = [&](wxWindow* w) {
        return w->GetScreenPosition().x < frame().review()->GetScreenPosition().x;
    };
    const struct {
        int id;
        bool task_left, visual_left;
    } layouts[] = {{ID_GUI_RIGHT, false, false}, {ID_GUI_BOTH, true, false}, {ID_GUI_LEFT, true, true}};
    for (const auto& l : layouts) {
        menu(l.id);
        pump(100);
        EXPECT_EQ(left_of_review(frame().task_notebook()), l.task_left) << l.id;
        EXPECT_EQ(left_of_review(frame().visual_notebook()), l.visual_left) << l.id;
    }
    menu(ID_GUI_2D);
    pump(100);
    EXPECT_GT(frame().review()->GetSize().GetWidth(), 4 * frame().view3d()->GetSize().GetWidth());
    menu(ID_GUI_3D);
    pump(100);
    EXPECT_NEAR(frame().review()->GetSize().GetWidth(), frame().view3d()->GetSize().GetWidth(), 12);
    expect_review_shows_frame(frame(), 0);

    // Task and Visual menu items select their pages; the visual page is a resource.
    menu(ID_TASK_DRAW);
    EXPECT_EQ(frame().task_notebook()->GetPageText(frame().task_notebook()->GetSelection()), "Draw");
    menu(ID_VISUAL_RESLICE);
    pump(50);
    EXPECT_EQ(frame().visual_notebook()->GetPageText(frame().visual_notebook()->GetSelection()), "Reslice");
    EXPECT_EQ(res->RES_CURRENT_VISUAL_PAGE->value(), 2);
}

// The options write their settings; the wheel steps frames unless it is set to
// zoom; a new background colour reaches the data windows.
TEST_F(GuiTest, OptionsMouseWheelAndBackground)
{
    start({demo});
    options_dialog dialog(&frame());
    dialog.wheel_zooms->SetValue(true);
    dialog.pick_distance->SetValue(9);
    dialog.apply();
    EXPECT_TRUE(res->RES_SCROLL_ZOOM->value());
    EXPECT_EQ(res->RES_MOUSE_SENSITIVITY->value(), 9);

    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = 120;
    frame().review()->ProcessWindowEvent(wheel);
    EXPECT_DOUBLE_EQ(res->RES_REVIEW_ZOOM->value(), 1.25);
    res->RES_SCROLL_ZOOM->write(false);
    wheel.m_wheelRotation = -120;
    frame().review()->ProcessWindowEvent(wheel);
    frame().review()->ProcessWindowEvent(wheel);
    EXPECT_EQ(res->RES_BUF_CURRENT_FRAME->value(), 2);

    res->RES_BACKGROUND->write("#102030");
    pump(50);
    EXPECT_TRUE(shows(frame().view3d()->grab(), {1, 1}, 0x10, 0x20, 0x30));
}

// The position source dialog finds a simulated tracker typed in as its port,
// the status bar says so, and the status report reads the tracker.
TEST_F(GuiTest, PositionSourceFindsASimulatedTracker)
{
    start({demo});
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(1), "No position sensor found");
    pty_link_t link(make_device_sim("fastrak", {}));
    ASSERT_TRUE(link.ok());
    link.start();

    position_source_dialog dialog(&frame(), [&] { return pos->pos_status(); });
    dialog.port->SetValue(link.port_path());
    dialog.detect->SetSelection(POS_DETECT_FASTRAK);
    dialog.apply();
    pump(50);
    EXPECT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_FASTRAK);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(1), "Fastrak successfully initialised");
    EXPECT_TRUE(pos->pos_status().Contains("Fastrak status:"));

    // The same dialog opened again shows what is in force.
    position_source_dialog again(&frame(), {});
    EXPECT_EQ(again.port->GetValue(), link.port_path());
    EXPECT_EQ(again.detect->GetSelection(), POS_DETECT_FASTRAK);
}

// The visual pages open their reslice windows in RES_RESLICE, publish their
// settings and offer the surfaces that exist to crop to; the Ortho page shows
// two planes through the current frame, the Isocentre page the isocentre plane.
TEST_F(GuiTest, ReslicePagesPublishTheirWindows)
{
    start({demo});
    EXPECT_EQ(frame().lower_centre()->shown(), nullptr) << "the Blank page shows nothing";
    const reslice_views_t& views = frame().reslices();
    visual(ID_VISUAL_RESLICE);
    const reslice_info* info = published_reslice_info();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windows[0].active, &views.reslices[0]);
    EXPECT_FALSE(info->open(1));
    EXPECT_FALSE(info->open(2));
    reslice_page* page = reslice_page_of(frame());
    ASSERT_NE(page, nullptr);
    page->width->SetValue(300);
    page->apply_controls();
    EXPECT_EQ(info->windows[0].settings.width, 300);

    // Surfaces come later: a stand-in that is only ever compared with null.
    int stand_in = 0;
    res->RES_SURFACE[7]->write(
        std::shared_ptr<surface_interp>(reinterpret_cast<surface_interp*>(&stand_in), [](surface_interp*) {}));
    ASSERT_EQ(page->surface->GetCount(), 2u);
    page->surface->SetSelection(1);
    send(page->surface, wxEVT_CHOICE, 1);
    EXPECT_EQ(views.reslices[0].settings().surface, 7);
    EXPECT_EQ(info->windows[0].settings.surface, 7);
    res->RES_SURFACE[7]->write(nullptr);
    EXPECT_EQ(page->surface->GetCount(), 1u);

    visual(ID_VISUAL_ORTHO);
    EXPECT_FALSE(info->open(0)) << "the main reslice view is not shown on the Ortho page";
    EXPECT_EQ(info->windows[1].active, &views.reslices[1]);
    EXPECT_EQ(info->windows[2].active, &views.reslices[2]);
    EXPECT_EQ(info->export_view(), &views.reslices[1]);
    ASSERT_NE(frame().lower_centre()->shown(), nullptr);
    ASSERT_NE(frame().lower_right()->shown(), nullptr);
    EXPECT_GT(drawn_pixels(frame().lower_centre()->grab()), 1000);
    EXPECT_GT(drawn_pixels(frame().lower_right()->grab()), 1000);
    EXPECT_TRUE(frame().GetMenuBar()->IsEnabled(ID_FILE_GRAB_RIGHT));

    // The Isocentre page shows window 4 in the isocentre frame's x-y plane; it
    // defines exported volumes, and Locate puts a moved plane back.
    visual(ID_VISUAL_ISOCENTRE);
    reslice_internals& iso = frame().reslices().reslices[isocentre_reslice_window];
    EXPECT_EQ(info->windows[isocentre_reslice_window].active, &iso);
    EXPECT_EQ(info->export_view(), &iso);
    ASSERT_EQ(frame().lower_centre()->shown(), &iso);
    EXPECT_EQ(frame().lower_right()->shown(), nullptr);
    EXPECT_GT(drawn_pixels(frame().lower_centre()->grab()), 1000);
    EXPECT_GT(filled(iso.image()), 1000);
    reslice_settings expected;
    ASSERT_TRUE(default_plane_from_session(isocentre_reslice_window, &expected));
    const auto same_plane = [&] {
        const reslice_settings& s = iso.settings();
        return length(s.normal - expected.normal) < 1e-9 && length(s.centre - expected.centre) < 1e-9 &&
               s.width == expected.width && s.height == expected.height;
    };
    EXPECT_TRUE(same_plane());
    reslice_settings moved = iso.settings();
    moved.centre = moved.centre + vertex3d{0.5, 0.0, 0.0};
    moved.normal = {1.0, 0.0, 0.0};
    iso.set_settings(moved);
    auto* locate = dynamic_cast<isocentre_page*>(frame().visual_notebook()->GetPage(3));
    ASSERT_NE(locate, nullptr);
    wxCommandEvent pressed(wxEVT_BUTTON);
    locate->OnIsocentreLocate(pressed);
    EXPECT_TRUE(same_plane());

    menu(ID_VISUAL_NONE);
    pump(100);
    for (int w = 0; w < reslice_window_count; ++w)
        EXPECT_FALSE(info->open(w));
}

// Dragging the plane rebuilds at most once per paint, however many mouse
// events arrive; a large reslice is previewed at the colour map's divisor for
// the open windows, chosen as the drag starts, and at full detail once it ends.
TEST_F(GuiTest, DraggingNeverQueuesRebuildsAndPreviewsAtTheDivisor)
{
    start({demo});
    visual(ID_VISUAL_RESLICE);
    reslice_canvas* view = frame().lower_centre();
    ASSERT_NE(view->shown(), nullptr);
    const vertex3d before = view->shown()->plane().normal();
    mouse(view, wxEVT_LEFT_DOWN, 50);
    long builds = view->builds();
    for (int i = 1; i <= 40; ++i)
        mouse(view, wxEVT_MOTION, 50 + i);
    EXPECT_TRUE(pump_until([&] { return view->builds() > builds; }));
    pump(100);  // time for queued rebuilds to show; load can only hide them
    EXPECT_LE(view->builds() - builds, 3) << "forty moves must not queue forty rebuilds";
    EXPECT_GT(length(view->shown()->plane().normal() - before), 0.1) << "the plane turned with the drag";
    mouse(view, wxEVT_LEFT_UP, 90);
    pump(100);
    EXPECT_GT(drawn_pixels(view->grab()), 1000);

    reslice_page* page = reslice_page_of(frame());
    ASSERT_NE(page, nullptr);
    page->width->SetValue(2048);
    page->height->SetValue(2048);
    page->thickness->SetValue(1.0);  // mm: a half slab of 0.05 cm
    page->apply_controls();
    EXPECT_TRUE(pump_until([&] { return view->built_size() == wxSize(2048, 2048); }));
    const double xscale = res->RES_XSCALE->value();
    const int expected = static_cast<int>(std::cbrt(2048.0 * 2048.0 * (2.0 * 0.05 / xscale + 1.0) / 250000.0));
    ASSERT_GT(expected, 1);

    colourmap->override_dynamic_resolutions(1, 1);
    mouse(view, wxEVT_LEFT_DOWN, 50);
    int rx = 0, ry = 0;
    colourmap->get_reslice_resolutions(rx, ry);
    EXPECT_EQ(rx, expected) << "the drag chose the divisor from the open windows";
    builds = view->builds();
    for (int i = 1; i <= 20; ++i)
        mouse(view, wxEVT_MOTION, 50 + i);
    EXPECT_TRUE(pump_until([&] { return view->builds() > builds; }));
    pump(100);  // as above
    EXPECT_LE(view->builds() - builds, 3) << "a drag never queues rebuilds";
    EXPECT_EQ(view->built_divisor(), expected);
    EXPECT_EQ(view->built_size(), wxSize(2048 / expected, 2048 / expected));
    mouse(view, wxEVT_LEFT_UP, 70);
    EXPECT_TRUE(pump_until([&] { return view->built_divisor() == 1 && view->built_size() == wxSize(2048, 2048); }));
}

// The Reslice page's sweep controls on a recording of three sweeps: the
// slider counts them, and partitioning with a single sweep shown blanks
// the other sweeps' part of the reslice; the opacity reaches the 3D view, and
// the "Sweeps" overlay (only with two sweeps or more) outlines the partitions.
TEST_F(GuiTest, ReslicePageShowsOneSweepAtATime)
{
    start({demo});
    visual(ID_VISUAL_RESLICE);
    reslice_page* page = reslice_page_of(frame());
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->sweeps->IsEnabled()) << "the demo is one sweep: nothing to outline";
    auto sweeps = std::make_shared<multi_sweeps>();
    sweeps->first_frames = {0, 13, 26};
    res->RES_SWEEPS->write(sweeps);
    EXPECT_TRUE(page->sweeps->IsEnabled());
    EXPECT_EQ(page->sweep->GetMin(), 1);
    EXPECT_EQ(page->sweep->GetMax(), 3) << "the recording's sweeps";
    EXPECT_FALSE(page->sweep->IsEnabled()) << "a sweep is chosen only when one is shown";

    // Cut along the path of the probe, so that every sweep crosses the plane.
    reslice_canvas* view = frame().lower_centre();
    reslice_internals& reslice = frame().reslices().reslices[0];
    ASSERT_EQ(view->shown(), &reslice);
    reslice_settings s = reslice.settings();
    s.normal = reslice.plane().x_axis();
    reslice.set_settings(s);
    view->invalidate();
    // Each change must rebuild the reslice by itself: no grab, which would force it.
    const auto rebuilt = [&] {
        const long builds = view->builds();
        EXPECT_TRUE(pump_until([&] { return view->builds() > builds; }));
        return reslice.image();
    };
    const std::vector<std::uint8_t> whole = rebuilt();
    ASSERT_GT(filled(whole), 5000);

    click_check(page->partitioning, true);
    const std::vector<std::uint8_t> parted = rebuilt();
    EXPECT_GT(filled(parted), filled(whole) * 9 / 10) << "the sweeps still cover the plane between them";

    click_check(page->single_sweep, true);
    EXPECT_TRUE(page->sweep->IsEnabled());
    const std::vector<std::uint8_t> first = rebuilt();
    slide(page->sweep, 3);
    EXPECT_EQ(res->RES_SWEEP_DISP_NUMBER->value(), 2);
    const std::vector<std::uint8_t> last = rebuilt();
    long both = 0, outside = 0;
    for (std::size_t i = 0; i < parted.size(); ++i) {
        both += first[i] && last[i];
        outside += (first[i] && first[i] != parted[i]) + (last[i] && last[i] != parted[i]);
    }
    for (const auto* one : {&first, &last}) {
        EXPECT_GT(filled(*one), filled(parted) / 6) << "a sweep shows its own part";
        EXPECT_LT(filled(*one), filled(parted) / 2) << "the other sweeps' part is blank";
    }
    EXPECT_EQ(both, 0) << "the first and last sweeps lie apart";
    EXPECT_EQ(outside, 0) << "a sweep shows its part as it was beside the others";

    res->RES_SWEEP_DISP_NUMBER->write(1);
    EXPECT_EQ(page->sweep->GetValue(), 2) << "the slider counts from 1";
    click_check(page->single_sweep, false);
    EXPECT_FALSE(page->sweep->IsEnabled());
    EXPECT_EQ(rebuilt(), parted);

    // The reslice in the 3D view: see-through at a lower opacity.
    pump(100);
    const wxImage opaque = frame().view3d()->grab();
    slide(page->opacity, 40);
    EXPECT_EQ(res->RES_RESLICE_OPACITY->value(), 40);
    EXPECT_GT(changed_pixels(opaque, frame().view3d()->grab()), 1000) << "the reslice is drawn with its opacity";

    // "Sweeps" outlines the partitions over the reslice.
    const wxImage plain = view->grab();
    click_check(page->sweeps, true);
    EXPECT_GT(changed_pixels(plain, view->grab()), 100) << "the partitions are outlined";
}

// "Landmarks" marks the landmarks within the slab only, at their reslice
// pixel, fiducials in their own colour.
TEST_F(GuiTest, ResliceViewMarksLandmarksInTheSlab)
{
    start({demo});
    visual(ID_VISUAL_RESLICE);
    reslice_page* page = reslice_page_of(frame());
    ASSERT_NE(page, nullptr);
    reslice_canvas* view = frame().lower_centre();
    reslice_internals& reslice = frame().reslices().reslices[0];
    ASSERT_EQ(view->shown(), &reslice);
    view->grab();
    const reslice_plane plane = reslice.plane();
    const double depth = reslice_slab_half_depth(plane, reslice.settings());
    const double w = static_cast<double>(plane.width()), h = static_cast<double>(plane.height());
    auto marks = std::make_shared<landmarks>();
    marks->list.resize(3);
    marks->list[0].position = plane.reslice_to_world(0.3 * w, 0.7 * h, 0.5 * depth);
    marks->list[1].position = plane.reslice_to_world(0.7 * w, 0.3 * h, depth + 0.1);  // beyond the slab
    marks->list[2].position = plane.reslice_to_world(0.6 * w, 0.6 * h, -0.5 * depth);
    marks->list[2].kind = LMARK_FIDUCIAL;
    res->RES_LANDMARKS->write(marks);

    const wxImage unmarked = view->grab();
    EXPECT_EQ(view->markers_drawn(), 0) << "off by default";
    // Marks are placed as the image is: reslice pixel (i, j) shows where reslice_to_window puts it.
    const std::vector<std::uint8_t> rgb = codes_to_rgb(reslice.image().data(), plane.width(), plane.height());
    long compared = 0, mismatched = 0;
    for (long j = 3; j < plane.height(); j += 11)
        for (long i = 5; i < plane.width(); i += 13) {
            const std::size_t k = 3 * static_cast<std::size_t>(j * plane.width() + i);
            const wxPoint at = view->reslice_to_window(double(i), double(j));
            mismatched += !shows(unmarked, at, rgb[k], rgb[k + 1], rgb[k + 2]);
            ++compared;
        }
    EXPECT_GT(compared, 100);
    EXPECT_EQ(mismatched, 0);
    click_check(page->landmarks, true);
    const wxImage shot = view->grab();
    EXPECT_EQ(view->markers_drawn(), 2);
    EXPECT_TRUE(shows(shot, view->reslice_to_window(0.3 * w, 0.7 * h), 255, 255, 0));
    EXPECT_FALSE(shows(shot, view->reslice_to_window(0.7 * w, 0.3 * h), 255, 255, 0));
    const wxPoint fiducial = view->reslice_to_window(0.6 * w, 0.6 * h);
    EXPECT_FALSE(shows(shot, fiducial, 255, 255, 0));
    EXPECT_NE(shot.GetRed(fiducial.x, fiducial.y), shot.GetGreen(fiducial.x, fiducial.y)) << "fiducials stand out";
    marks->list.pop_back();
    res->RES_LANDMARKS->write(marks);
    view->grab();
    EXPECT_EQ(view->markers_drawn(), 1);

}

}  // namespace

namespace {

// Configure, Streaming: a live frame reaches an OpenIGTLink client while the
// server runs; a bad port is refused; asked again, it stops.
TEST_F(GuiTest, StreamingSendsLiveFramesUntilStopped)
{
    start({});
    script.texts.push_back(wxString("99999"));
    menu(ID_CONFIG_STREAMING);
    ASSERT_FALSE(script.asked.empty());
    EXPECT_TRUE(script.asked.back().Contains("is not a port number")) << script.asked.back();

    script.texts.push_back(wxString("0"));
    menu(ID_CONFIG_STREAMING);
    const wxString status = frame().GetStatusBar()->GetStatusText(0);
    long port = 0;
    ASSERT_TRUE(status.StartsWith("Streaming on port ") && status.Mid(18).BeforeFirst('.').ToLong(&port)) << status;
    igtl::ClientSocket::Pointer client = igtl::ClientSocket::New();
    ASSERT_EQ(client->ConnectToServer("127.0.0.1", static_cast<int>(port)), 0);
    client->SetReceiveTimeout(5000);
    pump(300);  // the server takes the connection on its own thread

    auto frame_event = std::make_shared<vid_stat_t>();
    frame_event->image = cip_t::make_8bit(64, 48);
    frame_event->image.pixels()[5] = 77;
    frame_event->time = 20000000u;
    res->RES_VIDEO_CAPTURE_EVENT->write(frame_event);
    pump(100);
    igtl::MessageHeader::Pointer header = igtl::MessageHeader::New();
    header->InitPack();
    int got = 0;
    while (got < header->GetPackSize()) {
        const int n = client->Receive(static_cast<char*>(header->GetPackPointer()) + got, header->GetPackSize() - got);
        ASSERT_GT(n, 0) << "no message within the time-out";
        got += n;
    }
    header->Unpack();
    EXPECT_STREQ(header->GetDeviceType(), "IMAGE");
    EXPECT_STREQ(header->GetDeviceName(), "Image");

    script.answers.push_back(answer_t::yes);
    menu(ID_CONFIG_STREAMING);
    EXPECT_TRUE(script.asked.back().Contains("Stop streaming?")) << script.asked.back();
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(0), "Streaming stopped.");
}

}  // namespace
