// Each recording of a cohort is processed from the same values, whatever the
// recordings before it held or the script set: results must not depend on
// the order of the files. And a run leaves the user's settings and kept
// values as it found them.
#include <map>

#include <gtest/gtest.h>
#include <wx/tokenzr.h>

#include "common/dynabuf.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "resources/value_text.h"
#include "script/file_functions.h"
#include "script_test_support.h"

namespace {

class CleanData : public ScriptTest {
protected:
    wxString demo;

    void SetUp() override
    {
        ScriptTest::SetUp();
        register_file_functions(fakes.table);
        ASSERT_TRUE(write_demo_recording(path("demo"), 3, 32, 24));
        demo = path("demo/") + demo_recording_name;
        // A calibration whose result depends on the recording: it changes a
        // kept value for the recordings named "a" only.
        fakes.table.register_function("DICOM_CALIBRATE", [](const std::vector<wxString>&) {
            if (res->RES_ASCII_FILENAME->value().GetName().EndsWith("a")) {
                res->RES_XSCALE->write(0.07);
                res->RES_THICKNESS_B->write(321.0);
            }
            return script_result_t{true, {}};
        });
    }

    // The demo saved as `target`, with a line of its own or without two lines.
    void save_recording(const wxString& target, bool with_values)
    {
        recording_io->new_recording();
        ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
        res->RES_THICKNESS_A->write(500.0);
        res->RES_XSCALE->write(0.02);
        ASSERT_TRUE(recording_io->save_as(target));
        recording_io->new_recording();
        if (with_values)
            return;
        wxString kept;
        for (const wxString& line : wxSplit(read_text_file(target), '\n', '\0'))
            if (!line.StartsWith("RES_THICKNESS_A ") && !line.StartsWith("RES_XSCALE "))
                kept << line << "\n";
        ASSERT_TRUE(write_text_file(target, kept.Left(kept.length() - 1)));
    }

    // Rows of the table by recording (the name's last letter), without the file columns.
    std::map<wxString, wxString> rows_by_recording(const wxString& table_path)
    {
        std::map<wxString, wxString> rows;
        const wxArrayString lines = wxSplit(read_text_file(table_path), '\n', '\0');
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].empty())
                continue;
            const wxArrayString fields = wxSplit(lines[i], ',', '\0');
            EXPECT_EQ(fields.size(), 7u) << lines[i];
            if (fields.size() != 7)
                continue;
            rows[wxFileName(fields[1]).GetName().Right(1)] = fields[4] + "," + fields[5] + "," + fields[6];
        }
        return rows;
    }
};

// A cohort where one recording lacks two lines gives the same rows whichever
// file comes first: nothing the first file held or set leaks into the next.
TEST_F(CleanData, RowsDoNotDependOnFileOrder)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("forward")));
    ASSERT_TRUE(wxFileName::Mkdir(path("reversed")));
    save_recording(path("forward/1_a.ks"), true);
    save_recording(path("forward/2_b.ks"), false);
    save_recording(path("reversed/1_b.ks"), false);
    save_recording(path("reversed/2_a.ks"), true);
    const double user_xscale = res->RES_XSCALE->kept();

    const wxString body = "\nfunc DICOM_CALIBRATE\nwrite x\n";
    ASSERT_TRUE(run("write_header RES_THICKNESS_A RES_XSCALE RES_THICKNESS_B\nopen forward" + body)) << sink.all();
    ASSERT_TRUE(run("write_header RES_THICKNESS_A RES_XSCALE RES_THICKNESS_B\nopen reversed" + body)) << sink.all();
    const auto forward = rows_by_recording(path("forward/run_results.txt"));
    const auto reversed = rows_by_recording(path("reversed/run_results.txt"));
    ASSERT_EQ(forward.size(), 2u);
    EXPECT_EQ(forward, reversed);
    // The recording without the lines has the defaults and the user's own value.
    EXPECT_EQ(forward.at("a"), "500.000000,0.070000,321.000000");
    EXPECT_EQ(forward.at("b"), "10000000000.000000," + value_text::fixed6(user_xscale) + ",10000000000.000000");
    EXPECT_EQ(res->RES_XSCALE->kept(), user_xscale);
    EXPECT_EQ(res->RES_XSCALE->value(), user_xscale);
}

// Settings a script changes are put back, and the settings file is written as before.
TEST_F(CleanData, SettingsFileUnchangedByARun)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("cohort")));
    save_recording(path("cohort/a.ks"), true);
    save_recording(path("cohort/b.ks"), false);
    ASSERT_TRUE(session->settings().flush());
    const wxString before = read_text_file(session->settings().path());
    const long smooth = res->RES_THICKNESS_SMOOTH->value();
    const double isocentre = res->RES_ISOCENTRE_XTRANS->kept();

    ASSERT_TRUE(
        run("open cohort\nparam RES_THICKNESS_SMOOTH 7\nparam RES_ISOCENTRE_XTRANS 2.5\n"
            "param RES_CAL_TEMPERATURE 30\nfunc DICOM_CALIBRATE\nwrite x"))
        << sink.all();
    EXPECT_TRUE(read_text_file(path("cohort/run_results.txt")).Contains("b_run_results_x"));
    EXPECT_EQ(res->RES_THICKNESS_SMOOTH->value(), smooth);
    EXPECT_EQ(res->RES_ISOCENTRE_XTRANS->kept(), isocentre);
    ASSERT_TRUE(session->settings().flush());
    EXPECT_EQ(read_text_file(session->settings().path()), before);
}

// On the open recording the script's changes stay in the recording, but the
// user's kept values and settings return.
TEST_F(CleanData, OpenRecordingKeepsItsChangesOnly)
{
    save_recording(path("held.ks"), true);
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("held.ks")));
    const double user_xscale = res->RES_XSCALE->kept();
    ASSERT_NE(user_xscale, 0.03);
    ASSERT_TRUE(run("param RES_XSCALE 0.03\nparam RES_THICKNESS_SMOOTH 2\nwrite x")) << sink.all();
    EXPECT_EQ(res->RES_XSCALE->value(), 0.03);
    EXPECT_EQ(res->RES_XSCALE->kept(), user_xscale);
    EXPECT_EQ(res->RES_THICKNESS_SMOOTH->value(), 0);
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullPath(), path("held.ks"));
    EXPECT_EQ(bufp->frames(), 3);
}

// The frames held were read with their geometry: a script may not change it under them.
TEST_F(CleanData, FrameGeometryRefusedWhileFramesAreHeld)
{
    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    for (const char* label : {"RES_BUF_WIDTH", "RES_BUF_HEIGHT", "RES_BUF_FRAMES", "RES_BUF_RF", "RES_BUF_DICOM",
                              "RES_RF_SAMPLES", "RES_RF_VECTORS", "RES_FRAME_SIZE", "RES_POS_REC"}) {
        sink.lines.clear();
        EXPECT_FALSE(run(wxString("write a\nparam ") + label + " 1")) << label;
        EXPECT_TRUE(
            sink.has(">> In line 2 of Script. ERROR: " + wxString(label) + " cannot be changed while frames are held."))
            << sink.all();
    }
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 32);
    EXPECT_EQ(bufp->frames(), 3);

    // Without frames it is a setting like any other.
    recording_io->new_recording();
    sink.lines.clear();
    EXPECT_TRUE(run("param RES_BUF_WIDTH 40\nwrite a")) << sink.all();
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 40);
}

}  // namespace
