// Running scripts against fake functions: what is called, how often and in
// which order, what the results table and log say, and that a failure or a
// Cancel shows and stops where it should.
#include <unistd.h>

#include <gtest/gtest.h>

#include <wx/dir.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "resources/recording_data.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "surfaces/surface_interp.h"
#include "script_test_support.h"

namespace {

// Progress as the page's dialog would see it, with a Cancel pressed at a chosen update.
struct progress_log_t : headless_interaction_t {
    wxString caption, message;
    int maximum = -1, begun = 0, ended = 0;
    std::vector<int> values;
    int cancel_at = -1;  // index of the update that reports Cancel

    void progress_begin(const wxString& c, const wxString& m, int max) override
    {
        caption = c;
        message = m;
        maximum = max;
        ++begun;
    }
    bool progress_update(int value, const wxString&) override
    {
        values.push_back(value);
        return static_cast<int>(values.size()) - 1 != cancel_at;
    }
    void progress_end() override { ++ended; }
};

class ScriptRun : public ScriptTest {
protected:
    wxString data;
    std::vector<wxString> broken;  // recordings the fake FILE_OPEN cannot read

    void SetUp() override
    {
        ScriptTest::SetUp();
        data = path("data");
        ASSERT_TRUE(wxFileName::Mkdir(data));
        for (const char* name : {"c.ks", "a.ks", "b.ks", "a.kvi"})
            ASSERT_TRUE(write_text_file(data + "/" + name, "x"));
        // Opening names the recording, closing starts a new one, as the real ones do.
        fakes.table.register_function("FILE_OPEN", [this](const std::vector<wxString>& args) {
            fakes.calls.push_back({"FILE_OPEN", args});
            if (std::find(broken.begin(), broken.end(), args[0]) != broken.end()) {
                wxLogError("Error opening file for reading in.");
                return script_result_t{false, "could not read " + args[0]};
            }
            res->RES_ASCII_FILENAME->write(wxFileName(args[0]));
            return script_result_t{true, {}};
        });
        fakes.table.register_function("FILE_CLOSE", [this](const std::vector<wxString>& args) {
            fakes.calls.push_back({"FILE_CLOSE", args});
            recording_io->new_recording();
            return script_result_t{true, {}};
        });
    }

    std::vector<wxString> names_called() const
    {
        std::vector<wxString> out;
        for (const call_t& c : fakes.calls)
            out.push_back(c.name + (c.args.empty() ? wxString() : " " + wxFileName(c.args[0]).GetFullName()));
        return out;
    }
};

// The open recording is processed once; its row names it and the results go beside the script.
TEST_F(ScriptRun, ProcessesTheOpenRecording)
{
    res->RES_ASCII_FILENAME->write(wxFileName(path("held.ks")));
    ASSERT_TRUE(run("write_header RES_XSCALE CURRENT_OBJECT\nfunc SURFACE_ALL\nwrite first\n")) << sink.all();
    EXPECT_EQ(names_called(), (std::vector<wxString>{"SURFACE_ALL"}));
    EXPECT_TRUE(sink.has(">> Processing currently open file."));
    EXPECT_EQ(table(),
              "File number,Full file name,Results file name,Current surface,RES_XSCALE,CURRENT_OBJECT\n"
              "0," +
                  path("held.ks") + ",held_run_results_first,(none),0.010000,0\n");
    EXPECT_TRUE(sink.lines.back() == ">> Successfully completed script.") << sink.all();
}

// A repeat block runs its commands count times for every file, rows in file-number order.
TEST_F(ScriptRun, RepeatRunsItsBlockPerFile)
{
    ASSERT_TRUE(
        run("script_name out\nopen data\nrepeat 3\nfunc SURFACE_ALL\nend\nwrite t\nrepeat 0\nfunc "
            "SURFACE_CURRENT\nend"))
        << sink.all();
    EXPECT_EQ(names_called(), (std::vector<wxString>{"FILE_OPEN a.ks", "SURFACE_ALL", "SURFACE_ALL", "SURFACE_ALL",
                                                     "FILE_CLOSE", "FILE_OPEN b.ks", "SURFACE_ALL", "SURFACE_ALL",
                                                     "SURFACE_ALL", "FILE_CLOSE", "FILE_OPEN c.ks", "SURFACE_ALL",
                                                     "SURFACE_ALL", "SURFACE_ALL", "FILE_CLOSE", "FILE_CLOSE"}));
    EXPECT_TRUE(sink.has(">> There are 3 ks files to process."));
    EXPECT_EQ(read_text_file(data + "/out.txt"),
              "File number,Full file name,Results file name,Current surface\n"
              "1," +
                  data +
                  "/a.ks,a_out_t,(none)\n"
                  "2," +
                  data +
                  "/b.ks,b_out_t,(none)\n"
                  "3," +
                  data + "/c.ks,c_out_t,(none)\n");
}

// A range runs only its files, and their rows keep the numbers of the full list.
TEST_F(ScriptRun, RangeKeepsFileNumbersInRows)
{
    ASSERT_TRUE(run("script_name out\nopen data * 3,1\nwrite t")) << sink.all();
    EXPECT_EQ(read_text_file(data + "/out.txt"),
              "File number,Full file name,Results file name,Current surface\n"
              "1," +
                  data +
                  "/a.ks,a_out_t,(none)\n"
                  "3," +
                  data + "/c.ks,c_out_t,(none)\n");
}

// A loop selects each object whose surface matches, in object order, and names it in the rows.
TEST_F(ScriptRun, LoopVisitsMatchingSurfaces)
{
    auto objects = std::make_shared<object_table>();
    (*objects)[2].name = "Femur left";
    (*objects)[5].name = "Tibia";
    (*objects)[7].name = "Femur right";  // no surface: never visited
    res->RES_OBJECT->write(objects);
    res->RES_SURFACE[2]->write(std::make_shared<surface_interp>());
    res->RES_SURFACE[5]->write(std::make_shared<surface_interp>());

    ASSERT_TRUE(run("loop Femur*\nfunc THICKNESS_SURF_FIT\nwrite fit\nend\nloop\nwrite all\nend")) << sink.all();
    const std::vector<call_t> expected = {{"CURRENT_OBJECT", {"2"}},    {"THICKNESS_SURFACE", {"2"}},
                                          {"THICKNESS_SURF_FIT", {}},   {"CURRENT_OBJECT", {"2"}},
                                          {"THICKNESS_SURFACE", {"2"}}, {"CURRENT_OBJECT", {"5"}},
                                          {"THICKNESS_SURFACE", {"5"}}};
    EXPECT_EQ(fakes.calls, expected);
    const wxString recording = res->RES_ASCII_FILENAME->value().GetName();
    EXPECT_TRUE(table().EndsWith(",Femur left\n0," + res->RES_ASCII_FILENAME->value().GetFullPath() + "," + recording +
                                 "_run_results_all,Tibia\n"))
        << table();
    EXPECT_TRUE(table().Contains("_run_results_fit,Femur left\n")) << table();

    sink.lines.clear();
    fakes.calls.clear();
    ASSERT_TRUE(run("loop Patella\nwrite none\nend")) << sink.all();
    EXPECT_TRUE(fakes.calls.empty());
    EXPECT_TRUE(sink.has(">> In line 1 of Script. WARNING: No object surface matches 'Patella'.")) << sink.all();
}

// Fields holding a comma, a quote or a line break are quoted; nothing else changes.
TEST_F(ScriptRun, TableFieldsAreQuotedWhenTheyMustBe)
{
    res->RES_CAL_PROBE->write("L12, \"linear\"");
    res->RES_CAL_DATE->write("1 May\n2024");
    res->RES_ASCII_FILENAME->write(wxFileName(path("held.ks")));
    ASSERT_TRUE(run("write_header RES_CAL_PROBE RES_CAL_DATE RES_XSCALE\nwrite \"a,b\"\nwrite plain")) << sink.all();
    EXPECT_EQ(table(),
              "File number,Full file name,Results file name,Current surface,RES_CAL_PROBE,RES_CAL_DATE,RES_XSCALE\n"
              "0," +
                  path("held.ks") +
                  ",\"held_run_results_a,b\",(none),\"L12, \"\"linear\"\"\",\"1 May\n2024\","
                  "0.010000\n"
                  "0," +
                  path("held.ks") +
                  ",held_run_results_plain,(none),\"L12, \"\"linear\"\"\",\"1 May\n2024\","
                  "0.010000\n");
}

// The log holds every message of the run up to its success, and grows from run to run.
TEST_F(ScriptRun, LogHoldsTheRunsMessages)
{
    ASSERT_TRUE(run("open data * 1\nfunc SURFACE_ALL\nwrite a")) << sink.all();
    const wxString first = read_text_file(data + "/run_results.log");
    wxString expected;
    for (const wxString& line : sink.lines)
        expected << line << "\n";
    EXPECT_EQ(first, expected);
    EXPECT_TRUE(first.StartsWith(">> Begin parsing script\n"));
    EXPECT_TRUE(first.EndsWith(">> Successfully completed script.\n"));

    sink.lines.clear();
    ASSERT_TRUE(run("open data * 2\nwrite b")) << sink.all();
    const wxString both = read_text_file(data + "/run_results.log");
    EXPECT_TRUE(both.StartsWith(first)) << both;
    EXPECT_TRUE(both.Contains("Opened file: " + data + "/b.ks"));
    // The table is the last run's alone.
    EXPECT_EQ(
        read_text_file(data + "/run_results.txt"),
        "File number,Full file name,Results file name,Current surface\n2," + data + "/b.ks,b_run_results_b,(none)\n");
}

// A failing function is an error in its line; the run stops, keeps what it
// gathered, and does not claim success.
TEST_F(ScriptRun, FailuresNameTheLineAndStopTheRun)
{
    fakes.table.register_function("SURFACE_CURRENT", [](const std::vector<wxString>&) {
        wxLogError("Object 3 has no outlines.");
        return script_result_t{false, "no surface built"};
    });
    EXPECT_FALSE(run("open data\nwrite before\n\nfunc SURFACE_CURRENT\nwrite after")) << sink.all();
    EXPECT_TRUE(sink.has(">> In line 4 of Script. ERROR: Function SURFACE_CURRENT failed: no surface built"))
        << sink.all();
    EXPECT_TRUE(sink.has(">> In line 4 of Script. ERROR: Object 3 has no outlines.")) << sink.all();
    EXPECT_TRUE(sink.has(">> ERROR: Failed to run body, returning to original state."));
    EXPECT_FALSE(sink.has_containing("Successfully completed script."));
    EXPECT_EQ(names_called(), (std::vector<wxString>{"FILE_OPEN a.ks", "FILE_CLOSE", "FILE_CLOSE"}));
    EXPECT_EQ(read_text_file(data + "/run_results.txt"),
              "File number,Full file name,Results file name,Current surface\n1," + data +
                  "/a.ks,a_run_results_before,(none)\n");
    EXPECT_FALSE(read_text_file(data + "/run_results.log").Contains("Successfully"));
}

// A recording that cannot be read stops the run with its name.
TEST_F(ScriptRun, UnreadableRecordingStopsTheRun)
{
    broken.push_back(data + "/b.ks");
    EXPECT_FALSE(run("open data\nwrite x")) << sink.all();
    EXPECT_TRUE(sink.has(">> ERROR: Failed opening file: " + data + "/b.ks (could not read " + data + "/b.ks)"))
        << sink.all();
    EXPECT_TRUE(sink.has(">> ERROR: Error opening file for reading in.")) << sink.all();
    EXPECT_EQ(names_called(),
              (std::vector<wxString>{"FILE_OPEN a.ks", "FILE_CLOSE", "FILE_OPEN b.ks", "FILE_CLOSE", "FILE_CLOSE"}));
}

// Values that do not read are refused when the line runs, with the line.
TEST_F(ScriptRun, ParamValuesAreCheckedWhenRun)
{
    EXPECT_FALSE(run("param RES_XSCALE 0.02\nparam RES_XSCALE abc\nwrite x")) << sink.all();
    EXPECT_TRUE(sink.has(">> In line 1 of Script. Set resource: RES_XSCALE 0.02"));
    EXPECT_TRUE(sink.has(">> In line 2 of Script. ERROR: Unable to load resource label value pair: RES_XSCALE abc"));
    EXPECT_EQ(table(), "File number,Full file name,Results file name,Current surface\n");
}

// While it runs the program knows a script runs and where its results go;
// afterwards the marks are cleared.
TEST_F(ScriptRun, ScriptResourcesWhileRunning)
{
    bool in_script = false;
    wxString results_dir, name, arg;
    fakes.table.register_function("RENAME_CURRENT", [&](const std::vector<wxString>&) {
        in_script = res->RES_IN_SCRIPT->value();
        results_dir = res->RES_SCRIPT_RESULTS_DIR->value();
        name = res->RES_SCRIPT_RESULTS_NAME->value();
        arg = res->RES_SCRIPT_FUNC_ARG->value();
        return script_result_t{true, "renamed"};
    });
    ASSERT_TRUE(run("script_name named\nfunc RENAME_CURRENT \"New name\"")) << sink.all();
    EXPECT_TRUE(in_script);
    EXPECT_EQ(results_dir, dir);
    EXPECT_EQ(name, "named");
    EXPECT_EQ(arg, "New name");
    EXPECT_TRUE(sink.has(">> In line 2 of Script. RENAME_CURRENT: renamed"));
    EXPECT_FALSE(res->RES_IN_SCRIPT->value());
    for (const wxString& v : {res->RES_SCRIPT_RESULTS_DIR->value(), res->RES_SCRIPT_RESULTS_NAME->value(),
                              res->RES_SCRIPT_FUNC_ARG->value()})
        EXPECT_EQ(v, Script::unset_text);
}

// Results never overwrite the script or a recording, even through another path to the same folder.
TEST_F(ScriptRun, SelfOverwriteIsRefusedAtParse)
{
    ASSERT_TRUE(write_text_file(data + "/run.txt", "script_name run\nopen .\nwrite x\n"));
    Script script(sink, fakes.table);
    EXPECT_FALSE(script.Run("script_name run\nopen .\nwrite x\n", data + "/run.txt"));
    EXPECT_TRUE(sink.has(">> In line 1 of Script. ERROR: The results file " + data +
                         "/run.txt would overwrite the script: choose another 'script_name' or 'results_dir'."))
        << sink.all();
    EXPECT_EQ(read_text_file(data + "/run.txt"), "script_name run\nopen .\nwrite x\n");
    EXPECT_TRUE(fakes.calls.empty());

    ASSERT_EQ(::symlink(data.fn_str(), path("link").fn_str()), 0);
    sink.lines.clear();
    EXPECT_FALSE(run("script_name run\nresults_dir " + path("link") + "\nwrite x", "data/run.txt"));
    EXPECT_TRUE(sink.has_containing("would overwrite the script")) << sink.all();
    EXPECT_EQ(read_text_file(data + "/run.txt"), "script_name run\nresults_dir " + path("link") + "\nwrite x");
}

// A table or log that cannot be put in place fails the run; the old files are left whole.
TEST_F(ScriptRun, UnwritableResultsFail)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("run_results.log")));
    EXPECT_FALSE(run("write x")) << sink.all();
    EXPECT_TRUE(sink.has(">> ERROR: Unable to write to results log file")) << sink.all();
    EXPECT_FALSE(sink.has_containing("Successfully completed script."));

    ASSERT_TRUE(wxFileName::Rmdir(path("run_results.log")));
    ASSERT_TRUE(wxRemoveFile(path("run_results.txt")));
    ASSERT_TRUE(wxFileName::Mkdir(path("run_results.txt")));
    sink.lines.clear();
    EXPECT_FALSE(run("write x")) << sink.all();
    EXPECT_TRUE(sink.has_containing(">> ERROR: Unable to write results to file 'run_results.txt': ")) << sink.all();
    EXPECT_FALSE(sink.has_containing("Successfully completed script."));
    // No temporary file is left beside the targets.
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left, "*.tmp-*", wxDIR_FILES);
    EXPECT_TRUE(left.empty());

    // A results folder that goes away during the run.
    ASSERT_TRUE(wxFileName::Mkdir(path("gone")));
    fakes.table.register_function("SURFACE_ALL", [this](const std::vector<wxString>&) {
        wxFileName::Rmdir(path("gone"), wxPATH_RMDIR_RECURSIVE);
        return script_result_t{true, {}};
    });
    sink.lines.clear();
    EXPECT_FALSE(run("results_dir gone\nfunc SURFACE_ALL\nwrite x")) << sink.all();
    EXPECT_TRUE(sink.has_containing("ERROR: Unable to write")) << sink.all();
}

// Cancel stops the run after the command that was running; the rows gathered are written.
TEST_F(ScriptRun, CancelActsAfterTheCurrentCommand)
{
    progress_log_t progress;
    progress.cancel_at = 2;  // after the second command of the first file
    interaction_t* previous = set_interaction(&progress);
    const bool ran = run("open data\nwrite w\nfunc SURFACE_ALL\nfunc SURFACE_CURRENT\nwrite never");
    set_interaction(previous);
    EXPECT_FALSE(ran);
    EXPECT_EQ(names_called(), (std::vector<wxString>{"FILE_OPEN a.ks", "SURFACE_ALL", "FILE_CLOSE", "FILE_CLOSE"}));
    EXPECT_TRUE(sink.has(">> ERROR: Cancelled by user from the progress dialog.")) << sink.all();
    EXPECT_FALSE(sink.has_containing("Failed to run body"));
    EXPECT_EQ(
        read_text_file(data + "/run_results.txt"),
        "File number,Full file name,Results file name,Current surface\n1," + data + "/a.ks,a_run_results_w,(none)\n");
    EXPECT_EQ(progress.caption, "Running script");
    EXPECT_EQ(progress.message, "Currently running script");
    EXPECT_EQ(progress.begun, 1);
    EXPECT_EQ(progress.ended, 1);
}

// The range is the func commands per file times the files; updates never go back or past it.
TEST_F(ScriptRun, ProgressCountsFunctions)
{
    progress_log_t progress;
    interaction_t* previous = set_interaction(&progress);
    const bool ran = run("open data\nfunc SURFACE_ALL\nrepeat 2\nfunc SURFACE_CURRENT\nparam XSCALE 0.02\nend");
    set_interaction(previous);
    ASSERT_TRUE(ran) << sink.all();
    EXPECT_EQ(progress.maximum, 3 * 3);
    ASSERT_FALSE(progress.values.empty());
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
    EXPECT_EQ(progress.values.back(), 9);
    EXPECT_EQ(progress.values.front(), 0);
}

// Nothing waits on a person: questions take their unattended answers and say
// so, inner progress stays inside, and the program's messages reach the pane.
TEST_F(ScriptRun, RunsUnattended)
{
    progress_log_t progress;
    answer_t answered = answer_t::yes;
    fakes.table.register_function("THICKNESS_CREATE", [&](const std::vector<wxString>&) {
        interaction().progress_begin("Inner work", "inside", 5);
        answered = interaction().ask("Overwrite files", "Overwrite?", question_t::yes_no, answer_t::no);
        interaction().progress_end();
        res->RES_SCRIPT_WRITE_MESSAGE->write("ERROR Failed to open file.x.ks");
        return script_result_t{true, {}};
    });
    interaction_t* previous = set_interaction(&progress);
    const bool ran = run("write x\nfunc THICKNESS_CREATE");
    EXPECT_EQ(&interaction(), &progress);  // put back after the run
    set_interaction(previous);
    EXPECT_FALSE(ran);
    EXPECT_EQ(answered, answer_t::no);
    EXPECT_EQ(progress.caption, "Running script");
    EXPECT_EQ(progress.begun, 1);
    EXPECT_TRUE(sink.has(">> In line 2 of Script. Question 'Overwrite files' answered No: Overwrite?")) << sink.all();
    EXPECT_TRUE(sink.has(">> In line 2 of Script. ERROR: Failed to open file.x.ks")) << sink.all();
}

}  // namespace
