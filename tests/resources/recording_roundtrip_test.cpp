// Recordings written by us read back identical: every frame byte, time stamp
// and pose, and everything drawn on the recording.
#include <cstring>

#include <wx/filename.h>

#include "recording_fixture.h"
#include "support/log_capture.h"
#include "resources/resource_table.h"

namespace {

class RecordingRoundTrip : public RecordingTest {
protected:
    // Everything a recording can carry besides frames.
    void add_drawings()
    {
        auto objects = std::make_shared<object_table>();
        contour c;
        c.closed = true;
        c.points = {{1.25, 2.5}, {3.75, 2.5}, {3.0, 0.5}};
        (*objects)[0].set_for_frame(1).contours.push_back(c);
        c.closed = false;
        (*objects)[199].set_for_frame(0).contours.push_back(c);
        (*objects)[5].name = "Left kidney";
        (*objects)[5].colour = {10, 20, 30};
        (*objects)[5].opacity = 0.5;
        (*objects)[5].solid = false;
        res->RES_OBJECT->write(objects);

        auto curves = std::make_shared<curve_set>();
        curves->curves.push_back({0, true, {{0.12345678, 1.0, -2.0}, {3.0, 4.0, 5.0}}, "rim 2"});
        curves->curves.push_back({3, false, {}, "7"});
        res->RES_CURVE->write(curves);

        auto marks = std::make_shared<landmarks>();
        const vertex3d at{1.5, -2.25, 3.125}, normal{0, 0.6, 0.8};
        marks->list = {{at, {}, "Apex"}, {at, {}, "On frame two", LMARK_2D, 2},
                       {at, normal, "Surface 1", LMARK_SURFACE, 4}, {at, normal, "Fiducial 1", LMARK_FIDUCIAL, 4}};
        res->RES_LANDMARKS->write(marks);

        auto sweeps = std::make_shared<multi_sweeps>();
        sweeps->first_frames = {0, 2};
        res->RES_SWEEPS->write(sweeps);
        res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(std::vector<wxString>{"first note", "second"}));
        load_record_t load;
        load.channels = 3;
        load.readings[1] = 65535;
        load.readings[2] = 17;
        bufp->set_load(1, load);
    }

    void reload(const wxString& file)
    {
        recording_io->new_recording();
        ASSERT_EQ(bufp->frames(), 0);
        ASSERT_TRUE(recording_io->try_read_kestrane_file(file));
    }
};

// Frames, times, poses and everything drawn come back exactly; the whole text
// is then written again unchanged but for the image data file's name.
TEST_F(RecordingRoundTrip, EverythingComesBackExactly)
{
    make_bmode_recording(4, 16, 9);
    add_drawings();
    res->RES_XSCALE->write(0.0125);
    res->RES_CAL_PROBE->write("L12-5 linear");
    std::vector<cip_t> before;
    std::vector<std::uint64_t> times;
    std::vector<std::vector<float>> poses;
    for (long i = 0; i < 4; ++i) {
        before.push_back(bufp->imagecp(i));
        times.push_back(bufp->timestamp(i));
        const auto p = bufp->positioncp(i);
        poses.emplace_back(p.get(), p.get() + 6);
    }
    const wxString file = path("a.ks");
    ASSERT_TRUE(recording_io->save_as(file));
    EXPECT_TRUE(wxFileExists(path("a.kvi")));
    reload(file);
    ASSERT_EQ(bufp->frames(), 4);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 4);
    for (long i = 0; i < 4; ++i) {
        const cip_t im = bufp->imagecp(i);
        ASSERT_EQ(im.pixel_count(), 16u * 9u);
        EXPECT_EQ(0, std::memcmp(im.pixels(), before[static_cast<std::size_t>(i)].pixels(), 16 * 9)) << i;
        EXPECT_EQ(bufp->timestamp(i), times[static_cast<std::size_t>(i)]);
        const auto p = bufp->positioncp(i);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_EQ(p[k], poses[static_cast<std::size_t>(i)][k]) << "frame " << i << " value " << k;
    }
    wxString unsaved;
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, unsaved)) << unsaved;
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullPath(), file);
    EXPECT_TRUE(res->RES_DISABLE_RECORDING->value()) << "a loaded recording cannot be recorded into";

    const object_table& objects = *res->RES_OBJECT->value();
    ASSERT_EQ(objects[0].sets.size(), 1u);
    EXPECT_EQ(objects[0].sets[0].frame, 1);
    const contour& c = objects[0].sets[0].contours.at(0);
    EXPECT_TRUE(c.closed);
    ASSERT_EQ(c.points.size(), 3u);
    EXPECT_EQ(c.points[0], (vertex2d{1.25, 2.5}));
    EXPECT_FALSE(objects[199].sets.at(0).contours.at(0).closed);
    EXPECT_EQ(objects[5].name, "Left kidney");
    EXPECT_EQ(objects[5].colour, (rgb_t{10, 20, 30}));
    EXPECT_DOUBLE_EQ(objects[5].opacity, 0.5);
    EXPECT_FALSE(objects[5].solid);

    const auto& curves = res->RES_CURVE->value()->curves;
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0].name, "rim 2");
    EXPECT_TRUE(curves[0].closed);
    EXPECT_NEAR(curves[0].points[0].x, 0.12345678, 1e-9);
    EXPECT_EQ(curves[1].name, "7") << "a numeric name is a name, not a point";
    EXPECT_TRUE(curves[1].points.empty());

    const auto& marks = res->RES_LANDMARKS->value()->list;
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].kind, LMARK_3D);
    EXPECT_EQ(marks[0].position, (vertex3d{1.5, -2.25, 3.125}));
    EXPECT_EQ(marks[1].kind, LMARK_2D);
    EXPECT_EQ(marks[1].index, 2);
    EXPECT_EQ(marks[1].name, "On frame two");
    EXPECT_EQ(marks[2].kind, LMARK_SURFACE);
    EXPECT_NEAR(marks[2].normal.z, 0.8, 1e-6);
    EXPECT_EQ(marks[3].kind, LMARK_FIDUCIAL);
    EXPECT_EQ(marks[3].name, "Fiducial 1");

    EXPECT_EQ(res->RES_SWEEPS->value()->first_frames, (std::vector<long>{0, 2}));
    EXPECT_EQ(*res->RES_COMMENT->value(), (std::vector<wxString>{"first note", "second"}));
    const load_record_t load = bufp->load(1);
    EXPECT_EQ(load.channels, 3);
    EXPECT_EQ(load.readings[1], 65535);
    EXPECT_EQ(bufp->load(0).channels, 0);

    ASSERT_TRUE(recording_io->save_as(path("b.ks")));
    std::string a = read_file("a.ks"), b = read_file("b.ks");
    a.replace(a.find("RES_BIN_IM_FILENAME a.kvi"), 25, "RES_BIN_IM_FILENAME b.kvi");
    EXPECT_EQ(a, b);
    EXPECT_TRUE(same_bytes(read_file("a.kvi"), read_file("b.kvi")));
    EXPECT_LT(a.find("\nRES_END_HEADER\n"), a.find("\nRES_BIN_IM_FILENAME ")) << "the header ends with the bare name";
    EXPECT_LT(a.find("\nRES_BIN_IM_FILENAME "), a.find("\nIM ")) << "the image data file is named before the frames";
    EXPECT_NE(a.find("\nRES_XSCALE 0.012500\n"), std::string::npos);
    EXPECT_NE(a.find("# first note\n"), std::string::npos);
}

TEST_F(RecordingRoundTrip, WithoutPositions)
{
    make_bmode_recording(2, 3, 3, false);
    ASSERT_TRUE(recording_io->save_as(path("plain.ks")));
    const std::string text = read_file("plain.ks");
    EXPECT_NE(text.find("IM 1000000000000\n"), std::string::npos) << "no pose numbers without positions";
    reload(path("plain.ks"));
    EXPECT_FALSE(res->RES_POS_REC->value());
    EXPECT_EQ(bufp->frames(), 2);
    EXPECT_TRUE(bufp->positioncp(1).empty());
    EXPECT_EQ(bufp->timestamp(1), 1000000400000ULL);
}

// RF frames keep their 16-bit samples exactly and get a display image.
TEST_F(RecordingRoundTrip, RfSamplesComeBackExactly)
{
    set_up_rf(50, 8);
    for (int f = 0; f < 2; ++f) {
        const cip_t im = cip_t::make_16bit(8, 50);
        for (int k = 0; k < 400; ++k)
            im.signed_samples()[k] = static_cast<std::int16_t>((k * 331 + f * 17) % 65536 - 32768);
        bufp->append(im, {}, 10 + static_cast<unsigned>(f));
    }
    recording_io->frames_changed();
    ASSERT_TRUE(recording_io->save_as(path("rf.ks")));
    EXPECT_EQ(read_file("rf.kvi").size(), 2u * 400u * 2u);
    reload(path("rf.ks"));
    ASSERT_TRUE(res->RES_BUF_RF->value());
    for (int f = 0; f < 2; ++f) {
        const cip_t im = bufp->imagecp(f);
        ASSERT_TRUE(im.has_samples());
        for (int k = 0; k < 400; ++k)
            ASSERT_EQ(im.signed_samples()[k], static_cast<std::int16_t>((k * 331 + f * 17) % 65536 - 32768));
        bool any_visible = false;
        for (std::size_t k = 0; k < im.pixel_count(); ++k) {
            ASSERT_GE(im.pixels()[k], 1) << "0 means no data and is never shown";
            any_visible |= im.pixels()[k] > 1;
        }
        EXPECT_TRUE(any_visible);
    }
}

// An empty recording (0 frames) is a valid file.
TEST_F(RecordingRoundTrip, EmptyRecording)
{
    ASSERT_TRUE(recording_io->try_write_kestrane_file(path("empty.ks")));
    write_file("hand.ks", header(0));
    EXPECT_TRUE(recording_io->try_read_kestrane_file(path("hand.ks")));
    EXPECT_EQ(bufp->frames(), 0);
    EXPECT_TRUE(recording_io->try_read_kestrane_file(path("empty.ks")));
}

}  // namespace

// A frame recorded with positions but no pose (the tracker lost the tool) was
// written as six zeros and came back placed at the tracker's origin.
TEST_F(RecordingRoundTrip, FrameWithoutAPoseKeepsNone)
{
    make_bmode_recording(3, 2, 2);
    ASSERT_TRUE(bufp->set_position(1, {}));
    ASSERT_TRUE(recording_io->save_as(path("gap.ks")));
    log_capture log;
    reload(path("gap.ks"));
    EXPECT_FALSE(log.contains("position information", wxLOG_Error));
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_TRUE(bufp->positioncp(1).empty());
    EXPECT_EQ(bufp->timestamp(1), 1000000400000ULL);
    ASSERT_EQ(bufp->positioncp(2).size(), 6u);
    EXPECT_EQ(bufp->positioncp(2)[0], 2.0000002f);
}
