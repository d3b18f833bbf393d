// The calibration demo's truth file: written and read back exactly, and
// every way a hand-edited or damaged file can be wrong refused with a reason.
#include <gtest/gtest.h>

#include <wx/filename.h>

#include "demo/calibration_demo.h"

namespace {

const char* const complete =
    "# a comment\n"
    "calibration 1 2 3 40 -50 60\n"
    "scales 0.011 0.0095\n"
    "plane 0 0 1 10\n"
    "temperature 24\n"
    "scale_line_1 64 96 576 120 60.3\n"
    "\n"
    "scale_line_2 288 38.4 320 441.6 40.9\n";

TEST(CalibrationTruth, RoundTripsExactly)
{
    const calibration_truth_t written = truth_of(make_water_bath(4, 27.5));
    const wxString path = wxFileName::CreateTempFileName("kstruth");
    ASSERT_TRUE(write_calibration_truth(path, written));
    calibration_truth_t read;
    std::string why;
    ASSERT_TRUE(read_calibration_truth(path, &read, &why)) << why;
    wxRemoveFile(path);
    EXPECT_EQ(read.calibration, written.calibration);
    EXPECT_EQ(read.sx, written.sx);
    EXPECT_EQ(read.sy, written.sy);
    EXPECT_EQ(read.plane, written.plane);
    EXPECT_EQ(read.celsius, 27.5);
    EXPECT_EQ(read.scale_line_ends, written.scale_line_ends);
    EXPECT_EQ(read.scale_length1_mm, written.scale_length1_mm);
    EXPECT_EQ(read.scale_length2_mm, written.scale_length2_mm);
}

TEST(CalibrationTruth, RefusesDamagedFiles)
{
    calibration_truth_t t;
    std::string why;
    ASSERT_TRUE(parse_calibration_truth(complete, &t, &why)) << why;
    EXPECT_EQ(t.calibration[4], -50.0);
    EXPECT_EQ(t.scale_line_ends[5], 38.4);
    EXPECT_EQ(t.scale_length2_mm, 40.9);

    const std::string text = complete;
    const auto refused = [&](const std::string& damaged, const std::string& reason) {
        calibration_truth_t out;
        std::string got;
        EXPECT_FALSE(parse_calibration_truth(damaged, &out, &got)) << damaged;
        EXPECT_EQ(got, reason);
    };
    refused("", "no calibration line");
    refused(text.substr(0, text.find("temperature")), "no temperature line");
    refused(text + "scales 1 1\n", "line 9: repeated key 'scales'");
    refused("calibrate 1 2 3 4 5 6\n", "line 1: unknown key 'calibrate'");
    refused("scales 0.01\n", "line 1: scales needs 2 values");
    refused("scales 0.01 0.01 0.01\n", "line 1: scales needs 2 values");
    refused("scales 0.01 nan\n", "line 1: 'nan' is not a number");
    refused("scales 0.01 1e999\n", "line 1: '1e999' is not a number");
    refused("scales 0.01 0.01x\n", "line 1: '0.01x' is not a number");
    EXPECT_FALSE(read_calibration_truth("/nonexistent/truth.txt", &t, &why));
}

}  // namespace
