// The recording functions as scripts call them, on small demo recordings:
// a recording saved under a new name reads back the same, a save keeps what
// the script set, and a recording that cannot be read fails its run.
#include <cstring>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "script_test_support.h"

namespace {

struct frames_t {
    std::vector<std::vector<std::uint8_t>> pixels;
    std::vector<std::vector<float>> poses;
    std::vector<std::uint64_t> times;
    bool operator==(const frames_t&) const = default;
};

frames_t frames_held()
{
    frames_t f;
    for (long i = 0; i < bufp->frames(); ++i) {
        const cip_t image = bufp->imagecp(i);
        f.pixels.emplace_back(image.pixels(), image.pixels() + image.pixel_count());
        const auto pose = bufp->positioncp(i);
        f.poses.emplace_back(&pose[0], &pose[0] + 6);
        f.times.push_back(bufp->timestamp(i));
    }
    return f;
}

class FileFunctions : public SessionTest {
protected:
    recording_sink_t sink;
    wxString demo;

    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_TRUE(write_demo_recording(path("demo"), 4, 32, 24));
        demo = path("demo/") + demo_recording_name;
        recording_io->new_recording();
    }
    // Through the program's own table, where the script library registered these.
    bool run(const wxString& text)
    {
        EXPECT_TRUE(write_text_file(path("run.txt"), text));
        Script script(sink);
        return script.Run(text, path("run.txt"));
    }
};

TEST_F(FileFunctions, RegisteredInTheProgramsTable)
{
    for (const char* name : {"FILE_OPEN", "FILE_SAVE", "FILE_SAVEAS", "FILE_CLOSE"}) {
        const script_function_t* f = script_functions().find(name);
        ASSERT_TRUE(f);
        EXPECT_TRUE(script_functions().unavailable_reason(*f).empty()) << name;
    }
}

// Save as then open gives back the same frames, poses and times; a relative
// name lands beside the recording, never in the program's working folder.
TEST_F(FileFunctions, SaveAsThenOpenReadsBackTheSameData)
{
    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    const frames_t original = frames_held();
    ASSERT_EQ(original.pixels.size(), 4u);
    ASSERT_TRUE(
        run("func FILE_SAVEAS copy.ks\nfunc FILE_CLOSE\nfunc FILE_OPEN \"" + path("demo/copy.ks") + "\"\nwrite x"))
        << sink.all();
    EXPECT_TRUE(wxFileName::FileExists(path("demo/copy.ks")));
    EXPECT_TRUE(wxFileName::FileExists(path("demo/copy.kvi")));
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullPath(), path("demo/copy.ks"));
    EXPECT_TRUE(frames_held() == original);
}

// What the script set is what the saved file holds.
TEST_F(FileFunctions, SaveKeepsTheScriptsValues)
{
    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    ASSERT_TRUE(run("param RES_THICKNESS_A 432\nfunc KSC_FILE_SAVE\nwrite x")) << sink.all();
    EXPECT_TRUE(sink.has_containing("FILE_SAVE: Saved " + demo)) << sink.all();
    EXPECT_TRUE(read_text_file(demo).Contains("\nRES_THICKNESS_A 432.000000\n"));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    EXPECT_EQ(res->RES_THICKNESS_A->value(), 432.0);
}

// Failures say which file and why, and fail the run.
TEST_F(FileFunctions, FailuresAreErrors)
{
    EXPECT_FALSE(run("write x\nfunc FILE_OPEN \"" + path("none.ks") + "\""));
    EXPECT_TRUE(sink.has(">> In line 2 of Script. ERROR: Function FILE_OPEN failed: could not read " + path("none.ks")))
        << sink.all();
    EXPECT_TRUE(sink.has(">> In line 2 of Script. ERROR: Error opening file for reading in.")) << sink.all();

    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    sink.lines.clear();
    EXPECT_FALSE(run("write x\nfunc FILE_SAVEAS \"" + path("demo/kestrane_demo.kvi") + "\""));
    EXPECT_TRUE(sink.has_containing("ERROR: Function FILE_SAVEAS failed: could not save")) << sink.all();
    EXPECT_TRUE(sink.has_containing(".kvi names belong to image data files")) << sink.all();
}

// A broken recording in a cohort ends the run, naming it; those before it are done.
TEST_F(FileFunctions, BrokenRecordingEndsACohortRun)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("cohort")));
    ASSERT_TRUE(recording_io->try_read_kestrane_file(demo));
    ASSERT_TRUE(recording_io->save_as(path("cohort/a.ks")));
    ASSERT_TRUE(write_text_file(path("cohort/b.ks"), "RES_BUF_FRAMES 12\nnot a recording\n"));
    ASSERT_TRUE(recording_io->save_as(path("cohort/c.ks")));
    recording_io->new_recording();
    EXPECT_FALSE(run("open cohort\nwrite x"));
    EXPECT_TRUE(sink.has_containing("ERROR: Failed opening file: " + path("cohort/b.ks"))) << sink.all();
    EXPECT_FALSE(sink.has_containing("Opened file: " + path("cohort/c.ks")));
    EXPECT_EQ(read_text_file(path("cohort/run_results.txt")),
              "File number,Full file name,Results file name,Current surface\n1," + path("cohort/a.ks") +
                  ",a_run_results_x,(none)\n");
    EXPECT_EQ(bufp->frames(), 0);
}

}  // namespace
