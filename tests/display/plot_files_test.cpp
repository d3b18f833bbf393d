// Plots saved as PNG and CSV: what is written reads back as drawn and as
// given, failures name their cause, and an interrupted save never costs the
// older file.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/imagpng.h>

#include "display/plot_files.h"
#include "display/plot_raster.h"
#include "resources/safe_file.h"
#include "support/log_capture.h"

namespace {

constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();

class PlotFiles : public ::testing::Test {
protected:
    wxString dir;

    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_plot");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))  // to read pictures back in tests that save none
            wxImage::AddHandler(new wxPNGHandler);     // owned by wx
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }

    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }
    std::string read(const wxString& name) const
    {
        std::ifstream in(path(name).ToStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void write(const wxString& name, const std::string& bytes) const
    {
        std::ofstream(path(name).ToStdString(), std::ios::binary) << bytes;
    }
    std::size_t files_in_dir() const
    {
        wxArrayString all;
        wxDir::GetAllFiles(dir, &all);
        return all.size();
    }

    static plot_t small_plot()
    {
        plot_t p;
        p.title = "Thickness profile";
        p.x_label = "Distance (mm)";
        p.y_label = "HU";
        plot_series_t a;
        a.label = "inner, fitted";
        a.colour = {200, 30, 20};
        a.style = plot_style_t::points_and_lines;
        a.points = {{0.1, -2.5}, {nan_v, 4}, {1.0 / 3.0, 1e-300}};
        plot_series_t b;
        b.label = "say \"cortex\"";
        b.colour = {10, 90, 210};
        b.points = {{12345678.9, 7}, {2, std::numeric_limits<double>::infinity()}};
        plot_series_t c;
        c.colour = {0, 150, 0};
        c.points = {{-0.0, 0}};
        p.series = {a, b, c};
        return p;
    }
};

// --- PNG ---

// The file holds exactly the picture the raster painter draws, at the size asked for.
TEST_F(PlotFiles, PngReadsBackAsRendered)
{
    const plot_t p = small_plot();
    ASSERT_TRUE(save_plot_png(p, path("plot.png"), 320, 240));
    const wxImage back(path("plot.png"), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(back.IsOk());
    ASSERT_EQ(back.GetSize(), wxSize(320, 240));
    const plot_image_t drawn = render_plot(p, 320, 240);
    EXPECT_TRUE(std::equal(drawn.rgb.begin(), drawn.rgb.end(), back.GetData())) << "pixels changed on the way";

    ASSERT_TRUE(save_plot_png(p, path("default.PNG")));
    EXPECT_EQ(wxImage(path("default.PNG"), wxBITMAP_TYPE_PNG).GetSize(), wxSize(800, 600));
}

// A refused save says why and leaves the file that was there.
TEST_F(PlotFiles, PngRefusalsKeepTheOldFile)
{
    write("plot.png", "older picture");
    write("plot.csv", "older table");
    const struct {
        const char* name;
        int width, height;
        const char* message;
    } cases[] = {
        {"plot.csv", 100, 100, "needs a .png name"},
        {"plot.png", 0, 100, "cannot be drawn"},
        {"plot.png", 100, plot_image_max_side + 1, "cannot be drawn"},
        {"missing/plot.png", 100, 100, "Error opening file for writing."},
    };
    for (const auto& c : cases) {
        log_capture log;
        EXPECT_FALSE(save_plot_png(small_plot(), path(c.name), c.width, c.height)) << c.name;
        EXPECT_TRUE(log.contains(c.message, wxLOG_Error)) << c.name;
    }
    EXPECT_EQ(read("plot.png"), "older picture");
    EXPECT_EQ(read("plot.csv"), "older table");
    EXPECT_EQ(files_in_dir(), 2u) << "no temporary file left";
}

// --- CSV ---

// One row per finite point in series order, labels quoted only when needed,
// numbers that read back exactly.
TEST_F(PlotFiles, CsvHoldsEveryFinitePointExactly)
{
    ASSERT_TRUE(save_plot_csv(small_plot(), path("plot.csv")));
    EXPECT_EQ(read("plot.csv"),
              "series,x,y\n"
              "\"inner, fitted\",0.10000000000000001,-2.5\n"
              "\"inner, fitted\",0.33333333333333331,1e-300\n"
              "\"say \"\"cortex\"\"\",12345678.9,7\n"
              ",-0,0\n");
    EXPECT_EQ(std::stod("0.33333333333333331"), 1.0 / 3.0) << "17 digits read back to the same double";

    plot_t empty;
    ASSERT_TRUE(save_plot_csv(empty, path("empty.csv")));
    EXPECT_EQ(read("empty.csv"), "series,x,y\n");
}

// Failures name their cause and leave neither a changed target nor a temporary file.
TEST_F(PlotFiles, CsvFailuresNameTheirCause)
{
    ASSERT_TRUE(wxFileName::Mkdir(path("taken.csv")));  // a folder where the file should go: the rename fails
    {
        log_capture log;
        EXPECT_FALSE(save_plot_csv(small_plot(), path("missing/plot.csv")));
        EXPECT_TRUE(log.contains("Error opening file for writing.", wxLOG_Error));
    }
    {
        log_capture log;
        EXPECT_FALSE(save_plot_csv(small_plot(), path("taken.csv")));
        EXPECT_TRUE(log.contains("Error renaming the written file", wxLOG_Error));
    }
    EXPECT_TRUE(wxDirExists(path("taken.csv")));
    EXPECT_EQ(files_in_dir(), 0u);
}

// --- Interrupted saves ---

int steps_left = 0;
void die_at_chosen_step()
{
    if (--steps_left == 0)
        ::_exit(3);
}

// A save killed at any write, flush or rename leaves the older file whole;
// only a finished save replaces it.
TEST_F(PlotFiles, KilledSavesLeaveTheOldFileWhole)
{
    const std::string older = "series,x,y\nold,1,2\n";
    for (const bool png : {false, true}) {
        const wxString name = png ? "plot.png" : "plot.csv";
        bool finished = false;
        for (int step = 1; step <= 10 && !finished; ++step) {
            write(name, older);
            std::fflush(nullptr);
            const pid_t child = ::fork();
            if (child == 0) {
                steps_left = step;
                set_file_step_hook(die_at_chosen_step);
                const bool saved =
                    png ? save_plot_png(small_plot(), path(name), 200, 150) : save_plot_csv(small_plot(), path(name));
                ::_exit(saved ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            finished = WEXITSTATUS(status) == 0;
            if (!finished) {
                EXPECT_EQ(WEXITSTATUS(status), 3) << name << " step " << step;
                EXPECT_EQ(read(name), older) << name << " killed at step " << step;
            } else if (png) {
                EXPECT_EQ(wxImage(path(name), wxBITMAP_TYPE_PNG).GetSize(), wxSize(200, 150));
            } else {
                EXPECT_EQ(read(name).substr(0, 11), "series,x,y\n");
                EXPECT_NE(read(name), older);
            }
            EXPECT_GE(step, finished ? 4 : 1) << "a write, a flush and a rename come first";
        }
        EXPECT_TRUE(finished) << name << ": the save never completed";
    }
}

}  // namespace
