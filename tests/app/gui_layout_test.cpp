// What the main window shows about itself: the help book, the room every
// window and page gets at two screen sizes, the reslice size fields, the
// status bar, and the 3D window's wheel zoom.
#include <algorithm>
#include <atomic>
#include <functional>

#include <gtk/gtk.h>
#include <wx/checkbox.h>
#include <wx/filefn.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlcell.h>
#include <wx/html/htmlwin.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/treectrl.h>

#include "app/ids.h"
#include "app/pages/reslice_pages.h"
#include "app/views/reslice_canvas.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"

namespace {

// GTK's critical warnings, counted as they are written (they are logged, not raised).
std::atomic<int> gtk_criticals{0};

GLogWriterOutput count_criticals(GLogLevelFlags level, const GLogField* fields, gsize n, gpointer)
{
    if (level & G_LOG_LEVEL_CRITICAL)
        ++gtk_criticals;
    return g_log_writer_default(level, fields, n, nullptr);
}

class LayoutTest : public GuiTest {
protected:
    void SetUp() override
    {
        static const bool counting = [] {
            g_log_set_writer_func(count_criticals, nullptr, nullptr);  // once per process
            return true;
        }();
        (void)counting;
        GuiTest::SetUp();
    }

    wxHtmlHelpFrame* help_frame() const
    {
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* help = dynamic_cast<wxHtmlHelpFrame*>(w); help && help->IsShown() && !help->IsBeingDeleted())
                return help;
        return nullptr;
    }

    reslice_page& reslice_page_shown()
    {
        visual(ID_VISUAL_RESLICE);
        return *dynamic_cast<reslice_page*>(frame().visual_notebook()->GetPage(2));
    }
};

// The page shown, as text (markup gone) and whether it fits the window's width.
struct page_text_t {
    wxString text;
    bool fits;
};
page_text_t shown(wxHtmlWindow* html)
{
    return {html->ToText(), html->GetVirtualSize().GetWidth() <= html->GetClientSize().GetWidth()};
}

// The first link among `cell`, its followers and what they hold.
const wxHtmlLinkInfo* first_link(const wxHtmlCell* cell)
{
    for (; cell; cell = cell->GetNext()) {
        if (const wxHtmlLinkInfo* link = cell->GetLink())
            return link;
        if (const wxHtmlLinkInfo* inner = first_link(cell->GetFirstChild()))
            return inner;
    }
    return nullptr;
}

// Pages render as HTML from the book, links and the contents tree open
// topics, and Escape or Ctrl+W closes the window.
TEST_F(LayoutTest, HelpBookRendersTopicsAndClosesFromTheKeyboard)
{
    start({demo});
    const int criticals = gtk_criticals;
    menu(ID_HELP_WINDOW);
    ASSERT_TRUE(pump_until([&] { return help_frame() != nullptr; }));
    wxHtmlHelpWindow* help = help_frame()->GetHelpWindow();
    wxHtmlWindow* html = help->GetHtmlWindow();
    const page_text_t start_page = shown(html);
    EXPECT_TRUE(start_page.text.Contains("Using Kestrane")) << start_page.text;
    EXPECT_FALSE(start_page.text.Contains("<h1>")) << "the page shows as its source";
    EXPECT_TRUE(start_page.fits) << "lines run past the right edge";

    // A link in the start page opens its topic.
    const wxHtmlLinkInfo* link = first_link(html->GetInternalRepresentation());
    ASSERT_NE(link, nullptr) << "the start page links to the other topics";
    const wxString target = link->GetHref();
    html->OnLinkClicked(*link);
    EXPECT_TRUE(pump_until([&] { return html->GetOpenedPage().EndsWith(target); })) << target;
    EXPECT_FALSE(shown(html).text.Contains("<p>"));

    // The contents tree opens the GUI menu's topic.
    wxTreeCtrl* tree = help->GetTreeCtrl();
    wxTreeItemId gui_menu;
    std::function<void(wxTreeItemId)> find = [&](wxTreeItemId item) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(item, cookie); c.IsOk(); c = tree->GetNextChild(item, cookie)) {
            if (tree->GetItemText(c) == "The GUI menu")
                gui_menu = c;
            find(c);
        }
    };
    find(tree->GetRootItem());
    ASSERT_TRUE(gui_menu.IsOk());
    tree->SelectItem(gui_menu);
    ASSERT_TRUE(pump_until([&] { return html->GetOpenedPage().EndsWith("gui_menu.htm"); }));
    const page_text_t gui_page = shown(html);
    EXPECT_TRUE(gui_page.text.Contains("Windows for 2D")) << gui_page.text;
    EXPECT_FALSE(gui_page.text.Contains("</")) << gui_page.text;
    EXPECT_TRUE(gui_page.fits);
    EXPECT_EQ(gtk_criticals, criticals) << "the help window lays out cleanly";

    // Escape closes it; opened again, Ctrl+W closes it.
    for (const auto& [key, control] : {std::pair{int(WXK_ESCAPE), false}, std::pair{int('W'), true}}) {
        wxKeyEvent press(wxEVT_CHAR_HOOK);
        press.m_keyCode = key;
        press.m_controlDown = control;
        press.SetEventObject(help_frame());
        help_frame()->ProcessWindowEvent(press);
        EXPECT_TRUE(pump_until([&] { return help_frame() == nullptr; })) << "key " << key;
        menu(ID_HELP_WINDOW);
        ASSERT_TRUE(pump_until([&] { return help_frame() != nullptr; }));
    }
}

// Every window keeps at least 150 pixels each way in every layout at
// 1280x1024 and at 1024x768; the controls of every task and visual page lie
// side by side, none over another, and all within the page's scrolled area.
TEST_F(LayoutTest, WindowsAndPagesKeepTheirRoomAtTwoScreenSizes)
{
    start({demo});
    const int criticals = gtk_criticals;
    const auto check_windows = [&](const wxString& where) {
        const std::pair<const char*, wxWindow*> windows[] = {
            {"review", frame().review()}, {"3D", frame().view3d()}, {"lower centre", frame().lower_centre()},
            {"lower right", frame().lower_right()}, {"task pages", frame().task_notebook()},
            {"visual pages", frame().visual_notebook()}};
        for (const auto& [name, w] : windows) {
            EXPECT_TRUE(w->IsShownOnScreen()) << name << ", " << where;
            EXPECT_GE(w->GetSize().GetWidth(), 150) << name << ", " << where;
            EXPECT_GE(w->GetSize().GetHeight(), 150) << name << ", " << where;
        }
    };
    const auto check_pages = [&](wxNotebook* book, const wxString& where) {
        for (std::size_t i = 0; i < book->GetPageCount(); ++i) {
            book->SetSelection(i);
            pump(30);
            wxWindow* page = book->GetPage(i);
            const wxString name = book->GetPageText(i) + ", " + where;
            auto* scrolled = dynamic_cast<wxScrolledWindow*>(page);
            if (scrolled)
                scrolled->Scroll(0, 0);
            const wxRect area(wxPoint(0, 0), page->GetVirtualSize());
            std::vector<std::pair<wxString, wxRect>> controls;
            for (wxWindow* c : page->GetChildren())
                if (c->IsShown())
                    controls.emplace_back(c->GetLabel() + " (" + c->GetClassInfo()->GetClassName() + ")", c->GetRect());
            EXPECT_TRUE(controls.empty() || scrolled) << name << ": a page of controls must scroll";
            for (std::size_t a = 0; a < controls.size(); ++a) {
                EXPECT_TRUE(area.Contains(controls[a].second)) << controls[a].first << " is cut off on " << name;
                for (std::size_t b = a + 1; b < controls.size(); ++b)
                    EXPECT_FALSE(controls[a].second.Intersects(controls[b].second))
                        << controls[a].first << " overlaps " << controls[b].first << " on " << name;
            }
        }
    };
    for (const wxSize size : {wxSize(), wxSize(1024, 768)}) {
        if (size != wxSize()) {
            frame().SetSize(size);
            ASSERT_TRUE(pump_until([&] { return frame().GetSize() == size; }));
        }
        const wxString at = wxString::Format("%dx%d", frame().GetSize().x, frame().GetSize().y);
        for (int layout : {ID_GUI_RIGHT, ID_GUI_BOTH, ID_GUI_LEFT}) {
            menu(layout);
            pump(100);
            for (int windows : {ID_GUI_2D, ID_GUI_3D}) {
                menu(windows);
                pump(100);
                check_windows(wxString::Format("layout %d/%d at ", layout, windows) + at);
            }
        }
        check_pages(frame().task_notebook(), at);
        check_pages(frame().visual_notebook(), at);
    }
    EXPECT_EQ(gtk_criticals, criticals) << "no widget was given less room than it needs";
}

// The size fields show the reslice on screen, and another control leaves its size alone.
TEST_F(LayoutTest, ResliceSizeFieldsShowTheResliceOnScreen)
{
    start({demo});
    reslice_page& page = reslice_page_shown();
    reslice_canvas* view = frame().lower_centre();
    view->grab();
    const wxSize built = view->built_size();
    ASSERT_NE(built, wxSize(256, 256)) << "the placed reslice should not happen to be the fields' first size";
    EXPECT_EQ(wxSize(page.width->GetValue(), page.height->GetValue()), built);

    wxSpinDoubleEvent thicker(wxEVT_SPINCTRLDOUBLE, page.thickness->GetId(), 2.0);
    page.thickness->SetValue(2.0);
    page.thickness->ProcessWindowEvent(thicker);
    page.compounding->SetSelection(2);
    wxCommandEvent average(wxEVT_RADIOBOX, page.compounding->GetId());
    average.SetInt(2);
    page.compounding->ProcessWindowEvent(average);
    page.faster->SetValue(true);
    wxCommandEvent faster(wxEVT_CHECKBOX, page.faster->GetId());
    faster.SetInt(1);
    page.faster->ProcessWindowEvent(faster);
    view->grab();
    EXPECT_EQ(view->built_size(), built) << "changing another control cropped the reslice";
    EXPECT_EQ(frame().reslices().reslices[0].settings().compounding, reslice_compounding_t::average);

    // A new width applies; Locate places the plane afresh and the fields follow.
    page.width->SetValue(300);
    wxCommandEvent narrower(wxEVT_SPINCTRL, page.width->GetId());
    narrower.SetInt(300);
    page.width->ProcessWindowEvent(narrower);
    view->grab();
    EXPECT_EQ(view->built_size(), wxSize(300, built.GetHeight()));
    wxCommandEvent pressed(wxEVT_BUTTON);
    page.OnResliceLocate(pressed);
    view->grab();
    EXPECT_EQ(view->built_size(), built);
    EXPECT_EQ(wxSize(page.width->GetValue(), page.height->GetValue()), built);
}

// The status bar says which frame is shown and confirms every file written;
// New clears what it said about the old data; the slider's label is never cut off.
TEST_F(LayoutTest, StatusBarTellsTheFrameAndConfirmsFilesWritten)
{
    start({demo});
    wxStatusBar* status = frame().GetStatusBar();
    EXPECT_EQ(status->GetStatusText(3), "Frame 1 of 40");
    EXPECT_EQ(status->GetStatusText(2), demo) << "the data file stays where it was";
    res->RES_BUF_CURRENT_FRAME->write(17);
    pump(50);
    EXPECT_EQ(status->GetStatusText(3), "Frame 18 of 40");

    const auto saved = [&](const wxString& path) {
        return status->GetStatusText(0) == "Saved " + path && wxFileExists(path);
    };
    wxRemoveFile(demo);
    menu(ID_FILE_SAVE);
    EXPECT_TRUE(saved(demo)) << status->GetStatusText(0);
    script.files.push_back(file_choice_t{dir + "/copy.ks", 0});
    menu(ID_FILE_SAVEAS);
    EXPECT_TRUE(saved(dir + "/copy.ks")) << status->GetStatusText(0);
    script.files.push_back(file_choice_t{dir + "/review.png", 0});
    menu(ID_FILE_GRAB_REVIEW);
    EXPECT_TRUE(saved(dir + "/review.png")) << status->GetStatusText(0);
    reslice_page& page = reslice_page_shown();
    script.files.push_back(file_choice_t{dir + "/cut.png", 0});
    wxCommandEvent pressed(wxEVT_BUTTON);
    page.OnResliceSave(pressed);
    EXPECT_TRUE(saved(dir + "/cut.png")) << status->GetStatusText(0);
    script.files.push_back(file_choice_t{dir + "/nowhere/cut.png", 0});
    page.OnResliceSave(pressed);
    EXPECT_EQ(status->GetStatusText(0), "Saved " + dir + "/cut.png") << "a failed save confirms nothing";

    // Played back, the label shows the rate in full beside the slider.
    const wxStaticText* label = frame().info_label();
    res->RES_BUF_CURRENT_FRAME->write(0);
    wxToolBar* bar = frame().GetToolBar();
    bar->ToggleTool(ID_TOOL_PLAY, true);
    wxCommandEvent play(wxEVT_TOOL, ID_TOOL_PLAY);
    play.SetInt(1);
    bar->ProcessWindowEvent(play);
    ASSERT_TRUE(pump_until([&] { return label->GetLabel().Contains("per second"); })) << label->GetLabel();
    pump(50);
    EXPECT_GE(label->GetSize().GetWidth(), label->GetBestSize().GetWidth()) << label->GetLabel();
    EXPECT_LE(label->GetRect().GetRight(), label->GetParent()->GetClientSize().GetWidth());
    EXPECT_FALSE(label->GetRect().Intersects(frame().frame_slider()->GetRect()));
    EXPECT_TRUE(pump_until([&] { return !frame().playing(); }));

    menu(ID_FILE_NEW);
    pump(50);
    EXPECT_EQ(status->GetStatusText(3), "") << "no frames, no frame number";
    EXPECT_EQ(status->GetStatusText(0), "0 frames recorded.");
    EXPECT_EQ(label->GetLabel(), "0 frames recorded.");
}

// The scene's width in a 3D grab: columns holding anything but the background.
int scene_width(const wxImage& shot)
{
    const wxColour bg(res->RES_BACKGROUND->value());
    int first = shot.GetWidth(), last = -1;
    for (int y = 0; y < shot.GetHeight(); ++y)
        for (int x = 0; x < shot.GetWidth(); ++x)
            if (shot.GetRed(x, y) != bg.Red() || shot.GetGreen(x, y) != bg.Green() || shot.GetBlue(x, y) != bg.Blue()) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return last - first + 1;
}

// A wheel notch brings the 3D scene about a tenth closer or further.
TEST_F(LayoutTest, WheelZoomsTheSceneATenthANotch)
{
    start({demo});
    view3d_canvas* view = frame().view3d();
    const auto turn = [&](int rotation) {
        wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
        wheel.m_wheelRotation = rotation;
        wheel.m_wheelDelta = 120;
        view->ProcessWindowEvent(wheel);
        return scene_width(view->grab());
    };
    // From one notch out, so that the nearer scene still fits in the window.
    const int far = turn(-120);
    const int near = turn(120);
    ASSERT_GT(far, 50);
    EXPECT_NEAR(double(near) / far, 1.1, 0.04);
    EXPECT_NEAR(double(turn(60)) / near, 1.05, 0.03) << "half a notch of a smooth wheel";
}

}  // namespace
