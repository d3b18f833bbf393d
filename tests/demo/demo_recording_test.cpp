// The demo recording is what users first open and what later tests measure
// against: it must read back as exactly the rendered sweep and its truth.
#include <cstring>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "demo/demo_recording.h"
#include "demo/scene.h"
#include "resources/core_session.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"

namespace {

class DemoRecording : public SessionTest {};

TEST_F(DemoRecording, ReadsBackAsTheRenderedSweepWithItsCalibration)
{
    ASSERT_TRUE(write_demo_recording(dir, 12, 160, 120));
    demo_scene truth;
    ASSERT_TRUE(read_ground_truth((dir + "/" + demo_truth_name).ToStdString(), &truth));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(dir + "/" + demo_recording_name));
    ASSERT_EQ(bufp->frames(), 12);
    EXPECT_EQ(res->RES_XSCALE->value(), truth.probe.sx);
    EXPECT_EQ(res->RES_YSCALE->value(), truth.probe.sy);
    EXPECT_NEAR(res->RES_XTRANS->value(), truth.probe.calibration[0], 1e-6);
    EXPECT_NEAR(res->RES_ROLL->value(), truth.probe.calibration[5], 1e-6);
    for (std::size_t i = 0; i < 12; ++i) {
        const cip_t expected = render_bscan(truth, i);
        const cip_t frame = bufp->imagecp(static_cast<long>(i));
        ASSERT_EQ(frame.pixel_count(), expected.pixel_count());
        EXPECT_EQ(0, std::memcmp(frame.pixels(), expected.pixels(), frame.pixel_count())) << "frame " << i;
        EXPECT_EQ(bufp->timestamp(static_cast<long>(i)), truth.trajectory[i].time);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_EQ(bufp->positioncp(static_cast<long>(i))[k], truth.trajectory[i].pose[k]);
    }
}

// The B-scan demo comes outlined: the ellipsoid and the vessel on every 10th
// frame where they are cut, and nothing else; the label demo is left bare.
TEST_F(DemoRecording, ShapesAreOutlinedOnEveryTenthFrame)
{
    ASSERT_TRUE(write_demo_recording(dir, 300, 160, 120));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(dir + "/" + demo_recording_name));
    const auto& objects = res->RES_OBJECT->value();
    ASSERT_TRUE(objects);
    EXPECT_EQ((*objects)[0].name, "Ellipsoid");
    EXPECT_EQ((*objects)[1].name, "Vessel");
    for (int i = 0; i < object_table::size; ++i) {
        const contour_object& o = (*objects)[i];
        EXPECT_EQ(o.has_outlines(), i < 2) << i;
        for (const contour_set& set : o.sets) {
            EXPECT_EQ(set.frame % demo_outline_every, 0);
            EXPECT_EQ(set.contours.size(), 1u);
        }
    }
    EXPECT_GT((*objects)[0].sets.size(), 5u);
    EXPECT_GT((*objects)[1].sets.size(), 15u);

    ASSERT_TRUE(write_demo_recording(dir + "/labels", 30, 160, 120, true));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(dir + "/labels/" + demo_recording_name));
    for (int i = 0; i < object_table::size; ++i)
        EXPECT_FALSE((*res->RES_OBJECT->value())[i].has_outlines());
}

TEST_F(DemoRecording, RefusesNonsense)
{
    EXPECT_FALSE(write_demo_recording(dir, 0, 160, 120));
    EXPECT_FALSE(write_demo_recording(dir, 5, 0, 120));
    EXPECT_FALSE(write_demo_recording("/proc/no/such/place", 5, 16, 12));
}

}  // namespace
