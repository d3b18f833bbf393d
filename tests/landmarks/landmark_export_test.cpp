// "Export landmarks": each kind's line as the landmarks page writes it,
// fields quoted when they hold a comma or quote, the header only at the top
// of a new file, and an append that cannot lose the file it appends to.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/dir.h>

#include "resources/recording_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "resources/safe_file.h"
#include "surfaces/landmark_export.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_session.h"

namespace {

landmark_export_context_t context()
{
    landmark_export_context_t c;
    c.file_name = "scan.ks";
    c.sx = 0.1;
    c.sy = 0.2;
    c.object_name = [](int object) { return object == 4 ? wxString("Liver") : wxString("Object, odd"); };
    return c;
}

landmark_t mark(const wxString& name, lmark_t kind, vertex3d at, std::int32_t index = 0)
{
    landmark_t m;
    m.name = name;
    m.kind = kind;
    m.position = at;
    m.index = index;
    create_indices_from_name(&m);
    return m;
}

}  // namespace

// Columns: file, landmark, type, surface (or vertebra), frame, x, y, z in mm.
TEST(LandmarkCsv, EachKindWritesItsColumns)
{
    const landmark_export_context_t c = context();
    EXPECT_EQ(landmark_csv_header(), "File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)\n");
    EXPECT_EQ(landmark_csv_line(mark("Apex", LMARK_3D, {1.5, -2.25, 0.00005}), c),
              "scan.ks, Apex, 3D, , , 15.0000, -22.5000, 0.0005\n");
    EXPECT_EQ(landmark_csv_line(mark("Fiducial 1", LMARK_FIDUCIAL, {1, 2, 3}), c),
              "scan.ks, Fiducial 1, Fiducial, , , 10.0000, 20.0000, 30.0000\n");
    // On a frame: pixels times the pixel size, and the z column empty.
    EXPECT_EQ(landmark_csv_line(mark("Landmark 1", LMARK_2D, {10, 20, 0}, 12), c),
              "scan.ks, Landmark 1, 2D, , 12, 10.0000, 40.0000, \n");
    EXPECT_EQ(landmark_csv_line(mark("Surface 1", LMARK_SURFACE, {0.1, 0.2, 0.3}, 4), c),
              "scan.ks, Surface 1, Surface, Liver, , 1.0000, 2.0000, 3.0000\n");
    EXPECT_EQ(landmark_csv_line(mark("T12 Spinous Process", LMARK_3D, {0, 1, 2}), c),
              "scan.ks, T12 Spinous Process, Spine, T12, , 0.0000, 10.0000, 20.0000\n");
    // A reference belongs to no vertebra: an empty column, not a read past the table.
    EXPECT_EQ(landmark_csv_line(mark("Spine Left Lower", LMARK_3D, {0, 0, 0}), c),
              "scan.ks, Spine Left Lower, Spine, , , 0.0000, 0.0000, 0.0000\n");
    landmark_t wild = mark("Wild", LMARK_SPINE, {0, 0, 0});
    wild.kind = LMARK_SPINE;
    wild.vertebra = 99;
    EXPECT_EQ(landmark_csv_line(wild, c), "scan.ks, Wild, Spine, , , 0.0000, 0.0000, 0.0000\n");
    // Every line has the header's eight columns.
    for (const landmark_t& m : {mark("a", LMARK_3D, {}), mark("b", LMARK_2D, {}), mark("c", LMARK_SURFACE, {}, 4),
                                mark("C3 Left Lamina", LMARK_3D, {}), mark("Fiducial 9", LMARK_FIDUCIAL, {})})
        EXPECT_EQ(landmark_csv_line(m, c).Freq(','), 7u) << landmark_csv_line(m, c);
}

// A comma or quote in a file, landmark or object name is quoted, so the
// columns still line up; quotes inside are doubled.
TEST(LandmarkCsv, FieldsWithCommasOrQuotesAreQuoted)
{
    EXPECT_EQ(csv_field("plain name"), "plain name");
    EXPECT_EQ(csv_field("a, b"), "\"a, b\"");
    EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv_field("\""), "\"\"\"\"");
    EXPECT_EQ(csv_field(""), "");
    landmark_export_context_t c = context();
    c.file_name = "scan, left.ks";
    EXPECT_EQ(landmark_csv_line(mark("tip \"A\", left", LMARK_SURFACE, {0, 0, 0}, 5), c),
              "\"scan, left.ks\", \"tip \"\"A\"\", left\", Surface, \"Object, odd\", , 0.0000, 0.0000, 0.0000\n");
}

class LandmarkExportFile : public RecordingTest {
protected:
    landmarks two_marks() const
    {
        landmarks marks;
        marks.list = {mark("Apex", LMARK_3D, {1, 2, 3}), mark("Landmark 1", LMARK_2D, {1, 1, 0}, 0)};
        return marks;
    }
    std::vector<wxString> files_in_dir() const
    {
        wxArrayString found;
        wxDir::GetAllFiles(dir, &found, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN);
        return std::vector<wxString>(found.begin(), found.end());
    }
};

// The header starts a new file only; later exports append below the old lines.
TEST_F(LandmarkExportFile, HeaderOnlyInANewFileThenAppends)
{
    const std::string header = landmark_csv_header().utf8_string();
    const std::string lines = "scan.ks, Apex, 3D, , , 10.0000, 20.0000, 30.0000\n"
                              "scan.ks, Landmark 1, 2D, , 0, 1.0000, 2.0000, \n";
    ASSERT_TRUE(export_landmarks(path("marks.csv"), two_marks(), context()));
    EXPECT_EQ(read_file("marks.csv"), header + lines);
    ASSERT_TRUE(export_landmarks(path("marks.csv"), two_marks(), context()));
    EXPECT_EQ(read_file("marks.csv"), header + lines + lines);
    // An existing file whose last line lacks its line feed gets one before the new lines.
    write_file("other.csv", "kept,line");
    ASSERT_TRUE(export_landmarks(path("other.csv"), two_marks(), context()));
    EXPECT_EQ(read_file("other.csv"), "kept,line\n" + lines);
    // The appended file keeps its permissions.
    ASSERT_EQ(::chmod(path("other.csv").fn_str(), 0600), 0);
    ASSERT_TRUE(export_landmarks(path("other.csv"), two_marks(), context()));
    struct stat st {};
    ASSERT_EQ(::stat(path("other.csv").fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // An empty existing file is as good as new.
    write_file("empty.csv", "");
    ASSERT_TRUE(export_landmarks(path("empty.csv"), landmarks{}, context()));
    EXPECT_EQ(read_file("empty.csv"), header);
    // No temporary file is left behind.
    EXPECT_EQ(files_in_dir().size(), 3u);
}

// A target that cannot be written is reported, not claimed as exported.
TEST_F(LandmarkExportFile, UnwritableTargetFailsWithItsReason)
{
    log_capture log;
    EXPECT_FALSE(export_landmarks(path("no/such/folder/marks.csv"), two_marks(), context()));
    EXPECT_TRUE(log.contains("Error writing landmarks to", wxLOG_Error));
    ASSERT_TRUE(wxFileName::Mkdir(path("a_folder.csv")));
    EXPECT_FALSE(export_landmarks(path("a_folder.csv"), two_marks(), context()));
}

// An append killed at any step of the write leaves the old file whole or the
// new one whole, never a shortened mix.
TEST_F(LandmarkExportFile, AppendKilledAtAnyStepKeepsTheOldFile)
{
    static int steps_left = 0;
    const std::string old = "File, Landmark, Type, Surface, Frame, x (mm), y (mm), z (mm)\nolder, line\n";
    const std::string appended = old + landmark_csv_line(two_marks().list[0], context()).utf8_string() +
                                 landmark_csv_line(two_marks().list[1], context()).utf8_string();
    bool finished = false;
    int killed = 0;
    for (int step = 1; step < 20 && !finished; ++step) {
        write_file("kept.csv", old);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            steps_left = step;
            set_file_step_hook([] {
                if (--steps_left == 0)
                    ::_exit(77);
            });
            ::_exit(export_landmarks(path("kept.csv"), two_marks(), context()) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        const std::string now = read_file("kept.csv");
        EXPECT_TRUE(now == old || now == appended) << "killed at step " << step << ":\n" << now;
        killed += WEXITSTATUS(status) == 77 ? 1 : 0;
        finished = WEXITSTATUS(status) == 0;
        if (finished) {
            EXPECT_EQ(now, appended);
        }
    }
    EXPECT_TRUE(finished) << "the export never completed";
    EXPECT_GE(killed, 3) << "the write, flush and rename steps were not all interrupted";
}

// A name without extension is given ".csv"; other extensions are kept.
TEST(LandmarkExportPath, BareNamesGetCsv)
{
    EXPECT_EQ(landmark_export_path("/tmp/marks"), "/tmp/marks.csv");
    EXPECT_EQ(landmark_export_path("/tmp/marks.txt"), "/tmp/marks.txt");
    EXPECT_EQ(landmark_export_path("/tmp/v1.2/marks"), "/tmp/v1.2/marks.csv");
}

// Through a saved recording: spine landmarks come back as plain LANDMARK
// lines and regain their vertebrae from their names; surface landmarks are
// named after their object, 2D landmarks scaled by the recording's pixels.
TEST_F(LandmarkExportFile, RecordingRoundTripExportsEveryKind)
{
    make_bmode_recording(3, 4, 3);
    res->RES_XSCALE->write(0.05);
    res->RES_YSCALE->write(0.05);
    auto objects = std::make_shared<object_table>(*res->RES_OBJECT->value());
    (*objects)[4].name = "Kidney";
    res->RES_OBJECT->write(objects);
    auto marks = std::make_shared<landmarks>();
    ASSERT_TRUE(add(marks.get(), {0.5, 0.25, 1}, LMARK_3D, "L3 Right Lamina", nullptr));
    add_on_frame(marks.get(), {2, 4}, 1);
    add_on_surface(marks.get(), {1, 1, 1}, {0, 0, 1}, 4);
    add(marks.get(), {0, 0, 0}, LMARK_FIDUCIAL);
    landmarks_to_session(*marks);
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("spine.ks")));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("spine.ks")));

    wxString unsaved;
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, unsaved)) << unsaved;
    landmarks read = landmarks_from_session();
    EXPECT_EQ(read.list[0].kind, LMARK_SPINE);
    ASSERT_TRUE(export_landmarks(path("spine.csv"), read, landmark_export_context_from_session()));
    EXPECT_EQ(read_file("spine.csv"), landmark_csv_header().utf8_string() +
                                          "spine.ks, L3 Right Lamina, Spine, L3, , 5.0000, 2.5000, 10.0000\n"
                                          "spine.ks, Landmark 1, 2D, , 1, 1.0000, 2.0000, \n"
                                          "spine.ks, Surface 1, Surface, Kidney, , 10.0000, 10.0000, 10.0000\n"
                                          "spine.ks, Fiducial 1, Fiducial, , , 0.0000, 0.0000, 0.0000\n");
    // Exporting changes nothing; putting an edited list back makes the landmarks unsaved.
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, unsaved)) << unsaved;
    remove(&read, 1);
    landmarks_to_session(read);
    EXPECT_TRUE(base_res_t::file_needs_save(RES_MASK_RECORDING, unsaved));
    EXPECT_TRUE(unsaved.Contains(resgroup_name(RESGROUP_LANDMARKS))) << unsaved;
    EXPECT_EQ(res->RES_LANDMARKS->value()->list.size(), 3u);
}
