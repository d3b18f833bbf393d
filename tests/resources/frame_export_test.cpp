// Frame ranges as users type them, and exports that keep everything tied to
// frame numbers consistent and never replace the data unless the file was written.
#include <wx/image.h>

#include "recording_fixture.h"
#include "resources/frame_export.h"
#include "resources/resource_table.h"

namespace {

std::vector<long> selected(const std::vector<char>& keep)
{
    std::vector<long> out;
    for (std::size_t f = 0; f < keep.size(); ++f)
        if (keep[f])
            out.push_back(static_cast<long>(f));
    return out;
}

// Ranges as users type them, edges and nonsense: a leading - is a sign, a step
// below 1 is 1, and huge numbers cannot overflow.
TEST(FrameRange, ExamplesEdgesAndNonsense)
{
    const struct {
        const char* text;
        long frames;
        std::vector<long> expected;
    } cases[] = {{"0:2:6", 100, {0, 2, 4, 6}}, {"5", 100, {5}}, {"2,10-12", 100, {2, 10, 11, 12}},
                 {"1,4,5", 100, {1, 4, 5}}, {" 1;\t3\r\n5 ", 100, {1, 3, 5}}, {"150:160", 100, {}},
                 {"-5:3", 100, {0, 1, 2, 3}}, {"97:200", 100, {97, 98, 99}}, {"100", 100, {}}, {"-1", 100, {}},
                 {"0:0:3", 10, {0, 1, 2, 3}}, {"0:9223372036854775807:99", 100, {0}},
                 {"0:1:9223372036854775807", 3, {0, 1, 2}}, {"x,abc,:,--", 10, {}}, {"99999999999999999999", 10, {}}};
    for (const auto& c : cases)
        EXPECT_EQ(selected(parse_frame_range(c.text, c.frames)), c.expected) << c.text;
    EXPECT_EQ(selected(parse_frame_range("10:40", 100)).size(), 31u);
    EXPECT_TRUE(parse_frame_range("1", 0).empty());
}

TEST(FrameRange, PartialVolumes)
{
    std::vector<char> keep(12, 0);
    for (int f = 0; f < 8; ++f)
        keep[static_cast<std::size_t>(f)] = 1;
    EXPECT_TRUE(partial_volume_report(keep, 4).empty()) << "two whole volumes";
    keep[8] = 1;
    EXPECT_TRUE(partial_volume_report(keep, 4).Contains("Complete volume ranges are 0-3 and 4-7.\n\n"));
    EXPECT_TRUE(partial_volume_report(keep, 1).empty());
}

class ExportFrames : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        make_bmode_recording(6, 4, 3);
        auto objects = std::make_shared<object_table>();
        contour c;
        c.points = {{1, 1}, {2, 2}};
        for (int f : {1, 2, 4})
            (*objects)[0].set_for_frame(f).contours.push_back(c);
        res->RES_OBJECT->write(objects);
        auto marks = std::make_shared<landmarks>();
        marks->list = {{{}, {}, "on four", LMARK_2D, 4}, {{}, {}, "on three", LMARK_2D, 3},
                       {{}, {}, "in space", LMARK_3D, 3}};
        res->RES_LANDMARKS->write(marks);
        auto sweeps = std::make_shared<multi_sweeps>();
        sweeps->first_frames = {0, 3};
        res->RES_SWEEPS->write(sweeps);
    }
};

// Outlines, 2D landmarks and sweeps follow their frames to their new numbers.
TEST_F(ExportFrames, SubsetRenumbersEverythingTiedToFrames)
{
    const cip_t frame4 = bufp->imagecp(4);
    ASSERT_TRUE(export_frames_to_recording(parse_frame_range("2,4,5", 6), path("subset.ks")));
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_EQ(bufp->imagecp(1), frame4);
    const object_table& objects = *res->RES_OBJECT->value();
    ASSERT_EQ(objects[0].sets.size(), 2u);
    EXPECT_EQ(objects[0].sets[0].frame, 0);
    EXPECT_EQ(objects[0].sets[1].frame, 1);
    const auto& marks = res->RES_LANDMARKS->value()->list;
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].index, 1);
    EXPECT_EQ(marks[1].name, "in space");
    EXPECT_EQ(res->RES_SWEEPS->value()->first_frames, (std::vector<long>{0, 1}));
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "subset.ks");

    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("subset.ks")));
    EXPECT_EQ(bufp->frames(), 3);
    EXPECT_EQ(res->RES_OBJECT->value()->operator[](0).sets.size(), 2u);
}

// A failed or refused export leaves the data and files as they were.
TEST_F(ExportFrames, FailedExportKeepsTheData)
{
    log_capture log;
    EXPECT_FALSE(export_frames_to_recording(parse_frame_range("1:3", 6), path("missing-folder/x.ks")));
    EXPECT_EQ(bufp->frames(), 6);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 6);
    EXPECT_EQ(res->RES_OBJECT->value()->operator[](0).sets.size(), 3u);
    EXPECT_EQ(res->RES_LANDMARKS->value()->list[0].index, 4);
    EXPECT_FALSE(export_frames_to_recording(parse_frame_range("60", 6), path("y.ks"))) << "no frames in range";
    // An existing file is not overwritten without a yes (the headless answer is no).
    write_file("taken.ks", "precious");
    EXPECT_FALSE(export_frames_to_recording(parse_frame_range("1", 6), path("taken.ks")));
    EXPECT_EQ(read_file("taken.ks"), "precious");
    EXPECT_EQ(bufp->frames(), 6);
}

TEST_F(ExportFrames, ImagesAreNumberedOrNamedAsChosen)
{
    ASSERT_TRUE(export_frames_to_images(parse_frame_range("3", 6), path("one.png"), image_export_t::png));
    wxImage single(path("one.png"));
    ASSERT_TRUE(single.IsOk());
    EXPECT_EQ(single.GetWidth(), 4);
    EXPECT_EQ(single.GetRed(1, 0), bufp->imagecp(3).pixels()[1]);

    ASSERT_TRUE(export_frames_to_images(parse_frame_range("0,5", 6), path("many.bmp"), image_export_t::bmp));
    EXPECT_TRUE(wxFileExists(path("many0000.bmp")));
    EXPECT_TRUE(wxFileExists(path("many0005.bmp")));
    ASSERT_TRUE(export_frames_to_images(parse_frame_range("1:2", 6), path("t.tiff"), image_export_t::tiff));
    EXPECT_TRUE(wxImage(path("t0002.tiff")).IsOk());
    ASSERT_TRUE(export_frames_to_images(parse_frame_range("1", 6), path("j.jpeg"), image_export_t::jpeg));
    EXPECT_TRUE(wxImage(path("j.jpeg")).IsOk());
    log_capture log;
    EXPECT_FALSE(export_frames_to_images(parse_frame_range("1", 6), path("nowhere/x.png"), image_export_t::png));
    EXPECT_TRUE(log.contains("Error opening file for writing.", wxLOG_Error));
}

TEST_F(ExportFrames, VolumePair)
{
    res->RES_FRAMES_IN_VOL->write(2);
    ASSERT_TRUE(export_volume_pair(0, 2, path("pair.ks")));
    EXPECT_EQ(bufp->frames(), 4);
    EXPECT_EQ(res->RES_FRAMES_IN_VOL->value(), 2) << "whole volumes keep their volume size";
    EXPECT_FALSE(export_volume_pair(1, 1, path("same.ks")));
    EXPECT_FALSE(export_volume_pair(0, 7, path("far.ks")));
}

}  // namespace
