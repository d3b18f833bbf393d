// The Scripts page driven as a user would: a script over a folder of two
// recordings writes its table (the bytes kestrane-tool run writes) and says so
// in the pane; a script with an error
// names the line and writes nothing; unsaved changes are asked about before a
// script closes the recording; Save as and Open keep the text and its path;
// the view functions move the views shown.
#include <cstdlib>
#include <string>

#include <wx/button.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>

#include "app/ids.h"
#include "app/main_frame.h"
#include "app/main_window.h"
#include "app/pages/script_page.h"
#include "app/views/reslice_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/dynabuf.h"
#include "reconstruction/reslice_windows.h"
#include "gui_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

wxString read_text_file(const wxString& path)
{
    wxFFile file;
    wxString text;
    if (!wxFileName::FileExists(path) || !file.Open(path, "rb") || !file.ReadAll(&text))
        return "(unreadable)";
    return text;
}

class GuiScript : public GuiTest {
protected:
    script_page* page() { return find_script_page(frame().task_notebook()); }
    void press(wxButton* b)
    {
        wxCommandEvent click(wxEVT_BUTTON);
        b->ProcessWindowEvent(click);
        pump(30);
    }
    // Two copies of the demo in dir/cohort; nothing left open.
    void make_cohort()
    {
        ASSERT_TRUE(wxFileName::Mkdir(dir + "/cohort"));
        ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
        ASSERT_TRUE(recording_io->save_as(dir + "/cohort/a.ks"));
        ASSERT_TRUE(recording_io->save_as(dir + "/cohort/b.ks"));
        recording_io->new_recording();
        ASSERT_EQ(bufp->frames(), 0);
    }
    wxString pane() { return page()->messages->GetValue(); }
};

TEST_F(GuiScript, RunsOverAFolderAndWritesTheTable)
{
    start({});
    make_cohort();
    ASSERT_NE(page(), nullptr);
    page()->editor->SetValue("script_name run\nopen \"" + dir +
                             "/cohort\"\nwrite_header RES_BUF_FRAMES\n# one row a recording\nwrite x\n");
    press(page()->run_button);
    EXPECT_TRUE(pane().Contains(">> Successfully completed script.")) << pane();
    EXPECT_TRUE(pane().Contains("Opened file: " + dir + "/cohort/b.ks")) << pane();
    EXPECT_TRUE(page()->run_button->IsEnabled());
    const wxString table = read_text_file(dir + "/cohort/run.txt");
    EXPECT_EQ(table,
              "File number,Full file name,Results file name,Current surface,RES_BUF_FRAMES\n"
              "1," +
                  dir +
                  "/cohort/a.ks,a_run_x,(none),40\n"
                  "2," +
                  dir + "/cohort/b.ks,b_run_x,(none),40\n")
        << pane();
    EXPECT_EQ(bufp->frames(), 0);  // the state before the run: nothing open

    // The same script from the command line writes the same bytes.
    ASSERT_TRUE(wxFFile(dir + "/run.txt", "wb").Write(page()->editor->GetValue()));
    ASSERT_TRUE(wxRenameFile(dir + "/cohort/run.txt", dir + "/page.txt"));
    ASSERT_EQ(std::system((std::string(KS_TOOL) + " run '" + dir.ToStdString() + "/run.txt' > /dev/null").c_str()), 0);
    EXPECT_EQ(read_text_file(dir + "/cohort/run.txt"), table);
}

TEST_F(GuiScript, AnErrorNamesItsLineAndWritesNoTable)
{
    start({});
    make_cohort();
    page()->editor->SetValue("script_name bad\nopen \"" + dir + "/cohort\"\nwrite x\nfrobnicate\n");
    press(page()->run_button);
    EXPECT_TRUE(pane().Contains(">> In line 4 of Script. ERROR: Command not recognised.")) << pane();
    EXPECT_FALSE(pane().Contains("Successfully completed script.")) << pane();
    EXPECT_FALSE(wxFileName::FileExists(dir + "/cohort/bad.txt"));
    EXPECT_FALSE(pane().Contains("Opened file:")) << pane();
}

TEST_F(GuiScript, UnsavedChangesAreAskedAboutBeforeAScriptOpensFiles)
{
    start({demo});
    ASSERT_GT(bufp->frames(), 0);
    res->RES_XSCALE->write(res->RES_XSCALE->value() * 2.0);
    page()->editor->SetValue("script_name run\nopen \"" + dir + "\"\nwrite x\n");
    script.answers.push_back(answer_t::cancel);
    press(page()->run_button);
    ASSERT_EQ(script.asked.size(), 1u);
    EXPECT_TRUE(script.asked[0].StartsWith("Ignore changes")) << script.asked[0];
    EXPECT_TRUE(pane().empty()) << pane();  // nothing ran
    EXPECT_GT(bufp->frames(), 0);
    EXPECT_FALSE(wxFileName::FileExists(dir + "/run.txt"));

    // A script on the open recording alone closes nothing: no question.
    page()->editor->SetValue("results_dir \"" + dir + "\"\nwrite x\n");
    press(page()->run_button);
    EXPECT_EQ(script.asked.size(), 1u);
    EXPECT_TRUE(pane().Contains("Successfully completed script.")) << pane();
}

TEST_F(GuiScript, SaveAsThenOpenKeepsTheTextAndItsPath)
{
    start({});
    const wxString text = "# a script\nwrite x\n";
    page()->editor->SetValue(text);
    script.files.push_back(file_choice_t{dir + "/saved.txt", 0});
    press(page()->save_button);  // never saved: Save asks where
    ASSERT_EQ(script.asked.size(), 1u);
    EXPECT_EQ(script.asked[0], "Save script as");
    EXPECT_EQ(read_text_file(dir + "/saved.txt"), text);
    EXPECT_EQ(page()->path(), dir + "/saved.txt");
    EXPECT_EQ(res->RES_SCRIPT_FILENAME->value().GetFullPath(), dir + "/saved.txt");

    page()->editor->SetValue("write y\n");
    press(page()->save_button);  // saved before: no question
    EXPECT_EQ(script.asked.size(), 1u);
    EXPECT_EQ(read_text_file(dir + "/saved.txt"), "write y\n");

    page()->editor->SetValue("");
    script.files.push_back(file_choice_t{dir + "/saved.txt", 0});
    press(page()->open_button);
    EXPECT_EQ(page()->editor->GetValue(), "write y\n");
}

// From a shell: -s runs the script and stays open, -sc closes the program
// with a status that says whether the script succeeded; the messages are
// kept in ks_debug beside the script. (A lone .txt, which
// closes it too, cannot follow the settings folder these tests give.)
TEST_F(GuiScript, CommandLineRunsAndClosesWithTheScriptsStatus)
{
    const wxString good = dir + "/good.txt", bad = dir + "/bad.txt";
    ASSERT_TRUE(wxFFile(good, "wb").Write("script_name good_table\nresults_dir \"" + dir + "\"\nwrite x\n"));
    ASSERT_TRUE(wxFFile(bad, "wb").Write("script_name bad\nresults_dir \"" + dir + "\"\nwrite\n"));
    auto& app = static_cast<MainWindow&>(*wxTheApp);

    start({"-sc", good});
    pump(200);
    EXPECT_EQ(main_win, nullptr) << "-sc closes the program";
    EXPECT_EQ(app.exit_code(), 0);
    EXPECT_TRUE(wxFileName::FileExists(dir + "/good_table.txt")) << "the table in its results folder";
    EXPECT_TRUE(read_text_file(dir + "/ks_debug.txt").Contains(">> Successfully completed script.\n"))
        << read_text_file(dir + "/ks_debug.txt");
    app.shut_down();

    start({"-sc", bad});
    pump(200);
    EXPECT_EQ(main_win, nullptr);
    EXPECT_NE(app.exit_code(), 0);
    const wxString debug = read_text_file(dir + "/ks_debug.txt");
    EXPECT_TRUE(debug.Contains("In line 3 of Script. ERROR: ")) << debug;
    EXPECT_FALSE(debug.Contains("Successfully")) << "a fresh log each run: " << debug;
    app.shut_down();

    start({"-s", good});
    pump(200);
    ASSERT_NE(main_win, nullptr) << "-s keeps the program open";
    EXPECT_EQ(app.exit_code(), 0);
    EXPECT_EQ(frame().task_notebook()->GetCurrentPage(), page());
    EXPECT_TRUE(pane().Contains("Successfully completed script.")) << pane();
    EXPECT_EQ(page()->path(), good);
}

TEST(GuiScriptText, OpensFilesOnlyWithAnOpenLineBeforeClose)
{
    EXPECT_TRUE(script_opens_files("# x\n  open \"/a b\"\n"));
    EXPECT_FALSE(script_opens_files("# open\nwrite open\n"));
    EXPECT_FALSE(script_opens_files("close\nopen /a\n"));
}

}  // namespace

namespace {

// A script moves the views the window shows: the Reslice page's plane turns
// in its view (the same reslice the page holds), the 3D view turns, and
// SAVE_3D, which only the window can draw, saves what the 3D view shows.
TEST_F(GuiScript, ViewFunctionsMoveTheViewsShown)
{
    start({demo});
    menu(ID_VISUAL_RESLICE);
    pump(50);
    reslice_canvas* view = frame().lower_centre();
    ASSERT_NE(view->shown(), nullptr);
    const reslice_settings before = view->shown()->settings();
    const wxImage view3d_before = frame().view3d()->grab();
    page()->editor->SetValue("results_dir \"" + dir + "\"\nfunc ROTATE_RESLICE 90\nfunc ZOOM_RESLICE 2\n"
                             "func ROTATE_3D 90\nfunc SAVE_RESLICE reslice.png\nfunc SAVE_3D view3d.png\n");
    press(page()->run_button);
    ASSERT_TRUE(pane().Contains("Successfully completed script.")) << pane();
    const reslice_plane was(before, 0.01), now(view->shown()->settings(), 0.01);
    EXPECT_NEAR(dot(now.normal(), was.x_axis()), 1.0, 1e-9);
    EXPECT_EQ(session_reslice_windows().zoom[0], 2.0);
    EXPECT_EQ(&session_reslice_windows().reslices[0], view->shown());

    wxImage saved;
    ASSERT_TRUE(saved.LoadFile(wxFileName(demo).GetPath() + "/view3d.png"));
    const wxImage view3d_after = frame().view3d()->grab();
    ASSERT_EQ(saved.GetSize(), view3d_after.GetSize());
    EXPECT_TRUE(std::equal(saved.GetData(), saved.GetData() + 3 * saved.GetWidth() * saved.GetHeight(),
                           view3d_after.GetData()));
    EXPECT_FALSE(std::equal(view3d_before.GetData(),
                            view3d_before.GetData() + 3 * view3d_before.GetWidth() * view3d_before.GetHeight(),
                            view3d_after.GetData()));
    EXPECT_TRUE(wxFileName::FileExists(wxFileName(demo).GetPath() + "/reslice.png"));
}

}  // namespace
