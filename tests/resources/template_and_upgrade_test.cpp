// Templates carry settings without data and become the user's settings;
// older recordings are upgraded after reading, and only when they are older.
#include <limits>

#include "recording_fixture.h"
#include "resources/resource_table.h"

namespace {

class Templates : public RecordingTest {
protected:
    log_capture log;
};

TEST_F(Templates, RoundTripBecomesTheUsersSettings)
{
    res->RES_XSCALE->write(0.0123);
    res->RES_CAL_PROBE->write("C5-2 curved");
    res->RES_POS_DETECT->write(POS_DETECT_POLARIS);
    res->RES_POLARIS_PORT->write(static_cast<polaris_port_t>(5));
    res->RES_VIDEO_STANDARD->write(VIDEO_NTSC);
    ASSERT_TRUE(recording_io->try_write_template_file(path("probe.kst")));
    const std::string text = read_file("probe.kst");
    EXPECT_EQ(text.find("RES_BUF_FRAMES"), std::string::npos) << "a template holds no frame count";
    EXPECT_NE(text.find("RES_POS_DETECT POLARIS\n"), std::string::npos);
    EXPECT_NE(text.find("RES_POLARIS_PORT 5\n"), std::string::npos);
    EXPECT_NE(text.find("RES_VIDEO_STANDARD 1\n"), std::string::npos);

    res->RES_XSCALE->write(0.05);
    res->RES_CAL_PROBE->write("other");
    res->RES_POS_DETECT->write(POS_DETECT_AUTO);
    res->RES_POLARIS_PORT->write(POLARIS_PORT_NONE);
    res->RES_VIDEO_STANDARD->write(VIDEO_PAL);
    ASSERT_TRUE(recording_io->try_read_template_file(path("probe.kst")));
    EXPECT_EQ(res->RES_XSCALE->value(), 0.0123);
    EXPECT_EQ(res->RES_CAL_PROBE->value(), "C5-2 curved");
    EXPECT_EQ(res->RES_POS_DETECT->value(), POS_DETECT_POLARIS);
    EXPECT_EQ(res->RES_POLARIS_PORT->value(), 5);
    EXPECT_EQ(res->RES_VIDEO_STANDARD->value(), VIDEO_NTSC);
    EXPECT_EQ(res->RES_TEMPLATE_FILENAME->value().GetFullName(), "probe.kst");
    // The template's values are now the user's: a recording load and New bring them back.
    EXPECT_EQ(res->RES_XSCALE->kept(), 0.0123);
    wxString unsaved;
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_TEMPLATE, unsaved));
}

// A failed template read changes no setting and is not the template in use.
TEST_F(Templates, BadTemplatesFailAndChangeNothing)
{
    res->RES_XSCALE->write(0.02);
    write_file("bad.kst", "RES_BUF_HEIGHT 480\nRES_END_HEADER\nRES_XSCALE 0.5\n");
    EXPECT_FALSE(recording_io->try_read_template_file(path("bad.kst")));
    EXPECT_EQ(res->RES_XSCALE->value(), 0.02);
    EXPECT_NE(res->RES_TEMPLATE_FILENAME->value().GetFullName(), "bad.kst");

    write_file("bad2.kst", "RES_BUF_WIDTH 640\nRES_BUF_HEIGHT 480\nRES_END_HEADER\nRES_XSCALE 0.5\nRES_YSCALE x\n");
    EXPECT_FALSE(recording_io->try_read_template_file(path("bad2.kst")));
    EXPECT_EQ(res->RES_XSCALE->value(), 0.02) << "no setting is half-loaded";
    EXPECT_FALSE(recording_io->try_read_template_file(path("none.kst")));
    EXPECT_GE(log.count(wxLOG_Error), 3u) << "each failure says why";
}

// A template changes the frame size and kind: with frames held it is refused,
// or the recording could no longer be saved.
TEST_F(Templates, RefusedWhileFramesAreHeld)
{
    write_file("rf.kst", "RES_BUF_RF true\nRES_RF_SAMPLES 2000\nRES_RF_VECTORS 128\nRES_END_HEADER\n");
    make_bmode_recording(2, 8, 8);
    EXPECT_FALSE(recording_io->try_read_template_file(path("rf.kst")));
    EXPECT_TRUE(log.contains("You cannot load a template unless the recording buffer is empty", wxLOG_Error));
    EXPECT_FALSE(res->RES_BUF_RF->value());
    EXPECT_TRUE(recording_io->save_as(path("kept.ks"))) << "the frames still match their recording";
}

TEST_F(Templates, RfTemplateSwitchesToRfWithoutFrames)
{
    write_file("rf.kst", "RES_BUF_RF true\nRES_RF_SAMPLES 2000\nRES_RF_VECTORS 128\nRES_END_HEADER\n");
    ASSERT_TRUE(recording_io->try_read_template_file(path("rf.kst")));
    EXPECT_TRUE(res->RES_BUF_RF->value());
    EXPECT_EQ(res->RES_FRAME_SIZE->value(), 256000);
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_FALSE(res->RES_POS_REC->value()) << "a header without RES_POS_REC means no positions";
}

TEST_F(Templates, WordsAndNumbersInTemplates)
{
    // The image source is kept as its kind's word and found again among the sources present.
    res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(
        std::vector<vid_card_list_t>{{"Grabber", 2, 0}, {"Simulated images", 13, 0}}));
    res->RES_VID_CARD->write(1);
    ASSERT_TRUE(recording_io->try_write_template_file(path("sim.kst")));
    EXPECT_NE(read_file("sim.kst").find("RES_VID_CARD SIMULATED\n"), std::string::npos);
    res->RES_VID_CARD->write(0);
    ASSERT_TRUE(recording_io->try_read_template_file(path("sim.kst")));
    EXPECT_EQ(res->RES_VID_CARD->value(), 1);
    // Replaying RF frames, the simulated images are another kind under the same word.
    res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(
        std::vector<vid_card_list_t>{{"Grabber", 2, 0}, {"Simulated RF images", 14, 0}}));
    res->RES_VID_CARD->write(0);
    ASSERT_TRUE(recording_io->try_read_template_file(path("sim.kst")));
    EXPECT_EQ(res->RES_VID_CARD->value(), 1);

    write_file("w.kst", "RES_BUF_WIDTH 640\nRES_BUF_HEIGHT 480\nRES_END_HEADER\nRES_POS_DETECT 6\n");
    ASSERT_TRUE(recording_io->try_read_template_file(path("w.kst")));
    EXPECT_EQ(res->RES_POS_DETECT->value(), POS_DETECT_POLARIS) << "the number 6 selects POLARIS";
    write_file("w2.kst", "RES_BUF_WIDTH 640\nRES_BUF_HEIGHT 480\nRES_END_HEADER\nRES_POS_DETECT SONAR\n");
    ASSERT_TRUE(recording_io->try_read_template_file(path("w2.kst")));
    EXPECT_EQ(res->RES_POS_DETECT->value(), POS_DETECT_AUTO);
    EXPECT_TRUE(log.contains("No position source found to match template `SONAR'.", wxLOG_Warning));
    write_file("w3.kst", "RES_BUF_WIDTH 640\nRES_BUF_HEIGHT 480\nRES_END_HEADER\nRES_POLARIS_POINTER 17\n");
    EXPECT_FALSE(recording_io->try_read_template_file(path("w3.kst")));
}

class Upgrades : public RecordingTest {
protected:
    log_capture log;
    void read_with(const std::string& body, long frames, const std::vector<std::uint64_t>& times)
    {
        std::string text = "RES_BUF_FRAMES " + std::to_string(frames) +
                           "\nRES_BUF_WIDTH 2\nRES_BUF_HEIGHT 2\nRES_POS_REC false\nRES_END_HEADER\n" + body +
                           "RES_BIN_IM_FILENAME up.kvi\n";
        for (std::uint64_t t : times)
            text += "IM " + std::to_string(t) + "\n";
        write_file("up.ks", text);
        write_file("up.kvi", std::string(static_cast<std::size_t>(4 * frames), 'a'));
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path("up.ks")));
    }
};

// A file without a version is read as 3.6 and holds the current version afterwards.
TEST_F(Upgrades, MissingVersionCountsAsOld)
{
    read_with("RES_THICKNESS_SCALE_MM 4\n", 1, {5});
    EXPECT_EQ(res->RES_VERSION->value(), "6.02");
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 40);
    EXPECT_TRUE(log.contains("Converting thickness scale from a version 3.6 file", wxLOG_Warning));
}

// Each old file's own value is converted once: opening old files one after
// another must not compound the conversion, a current file without the line
// must not inherit the last file's value, and a template (which cannot carry
// the value) must not convert it. A huge value saturates instead of overflowing.
TEST_F(Upgrades, ConversionsApplyOnceToTheFilesOwnValue)
{
    for (int i = 0; i < 3; ++i) {
        read_with("", 1, {5});
        EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 400) << "opening " << i + 1;
    }
    read_with("RES_VERSION 6.02\n", 1, {5});
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 40) << "back to the default";
    write_file("old.kst", "RES_BUF_WIDTH 640\nRES_BUF_HEIGHT 480\nRES_END_HEADER\n");
    recording_io->new_recording();  // templates load only without frames
    ASSERT_TRUE(recording_io->try_read_template_file(path("old.kst")));
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 40);
    read_with("RES_THICKNESS_SCALE_MM 9223372036854775807\n", 1, {5});
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), std::numeric_limits<std::int64_t>::max());
    // The user's settings come back before each read too, as New brings them back.
    res->RES_XSCALE->write(0.02);
    read_with("RES_VERSION 6.02\nRES_XSCALE 0.05\n", 1, {5});
    read_with("RES_VERSION 6.02\n", 1, {5});
    EXPECT_EQ(res->RES_XSCALE->value(), 0.02);
}

TEST_F(Upgrades, NanosecondTimeStampsOnlyInOldFiles)
{
    read_with("RES_VERSION 5.0\n", 2, {1000000000, 2000000000});
    EXPECT_EQ(bufp->timestamp(0), 10000000u);
    EXPECT_EQ(bufp->timestamp(1), 20000000u);
    read_with("RES_VERSION 5.0\n", 2, {1000000000, 1020000000});
    EXPECT_EQ(bufp->timestamp(1), 1020000000u) << "a gap of exactly 2 s is not nanoseconds";
    // Our own recordings may have long pauses: never touched.
    read_with("RES_VERSION 6.02\n", 2, {1000000000, 9000000000});
    EXPECT_EQ(bufp->timestamp(1), 9000000000u);
    // A later time stamp before an earlier one is no reason to divide either.
    read_with("RES_VERSION 5.0\n", 2, {9000000000, 1000000000});
    EXPECT_EQ(bufp->timestamp(0), 9000000000u);
}

TEST_F(Upgrades, RfConversionsAndTheirGuards)
{
    const std::string rf_header = "RES_BUF_FRAMES 0\nRES_BUF_RF true\nRES_RF_SAMPLES 10\nRES_RF_VECTORS 2\n"
                                  "RES_END_HEADER\n";
    write_file("rf.ks", rf_header + "RES_VERSION 3.5\nRES_STRAIN_SKIP_PIXELS 4\nRES_STRAIN_DIFF_OFFSET 6\n"
                                    "RES_STRAIN_FILTER_RANGE 10\nRES_RF_LOG_MULT 20\nRES_RF_LOG_OFFSET 100\n"
                                    "RES_XSCALE 0.02\nRES_YSCALE 0.025\nRES_RF_SCALE 0.03\n");
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("rf.ks")));
    EXPECT_EQ(res->RES_STRAIN_DIFF_OFFSET->value(), 2) << "6/4 = 1.5 rounds up";
    EXPECT_EQ(res->RES_STRAIN_FILTER_RANGE->value(), 3) << "10/4 = 2.5 rounds up";
    EXPECT_EQ(res->RES_RF_LOG_MULT->value(), 55) << "2550 / (20 ln 10)";
    EXPECT_EQ(res->RES_RF_LOG_OFFSET->value(), 22) << "100 * 55 / 255";
    EXPECT_EQ(res->RES_XSCALE->value(), 0.03) << "uncalibrated RF scales corrected";
    EXPECT_EQ(res->RES_YSCALE->value(), 0.03);
    EXPECT_TRUE(log.contains("This is an RF data file with no valid calibration", wxLOG_Warning));

    // Zero divisors are refused with a warning instead of dividing.
    write_file("rf0.ks", rf_header + "RES_VERSION 3.5\nRES_STRAIN_SKIP_PIXELS 0\nRES_RF_LOG_MULT 0\n");
    log.clear();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("rf0.ks")));
    EXPECT_TRUE(log.contains("RES_STRAIN_SKIP_PIXELS is 0", wxLOG_Warning));
    EXPECT_TRUE(log.contains("RES_RF_LOG_MULT is 0", wxLOG_Warning));
    EXPECT_EQ(res->RES_RF_LOG_MULT->value(), 0);
}

TEST_F(Upgrades, UnparseableVersionIsSkippedWithAWarning)
{
    read_with("RES_VERSION beta\nRES_THICKNESS_SCALE_MM 4\n", 2, {1000000000, 5000000000});
    EXPECT_TRUE(log.contains("not a number", wxLOG_Warning));
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 4);
    EXPECT_EQ(bufp->timestamp(1), 5000000000u);
    EXPECT_EQ(res->RES_VERSION->value(), "6.02");
    read_with("RES_VERSION 4.9b\nRES_THICKNESS_SCALE_MM 4\n", 1, {1});
    EXPECT_EQ(res->RES_THICKNESS_SCALE_MM->value(), 40) << "a trailing letter is dropped";
}

}  // namespace
