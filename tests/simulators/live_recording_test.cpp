// Recording end to end without hardware: a simulated tracker on a
// pseudo-terminal sweeps over the demo phantom, the simulated image source
// renders each frame at the pose the synchroniser gives for its time, and the
// recording is saved and read back. The recorded poses must lie on the
// simulator's own trajectory at each frame's time, and a reslice of the saved
// sweep must show the phantom's organ where it really is (the frames show each
// pixel's tissue class, so the score is not blurred by speckle).
#include <chrono>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/timestamp.h"
#include "demo/bscan.h"
#include "demo/demo_recording.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_internals.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "simulators/capture_rig.h"
#include "simulators/pose_trajectory.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"
#include "support/session_fixture.h"

namespace {

// Through the organ, three times the demo's speed, so a short recording crosses it.
sim_pose_t quick_pass(double seconds)
{
    static const pose_trajectory_t path = demo_phantom_path();
    return path(4.0 + 3.0 * seconds);
}

double angle_gap(double a, double b)
{
    return std::fabs(std::remainder(a - b, 360.0));
}

class LiveRecording : public SessionTest {};

TEST_F(LiveRecording, SweepOverThePhantomIsRecordedWhereTheTrackerSaysAndReslicesTrue)
{
    sim_options_t options;
    options.trajectory = quick_pass;
    pty_link_t link(make_device_sim("fastrak", options));
    ASSERT_TRUE(link.ok());
    link.start();

    const probe_setup probe = demo_probe(640, 480);
    use_demo_probe(probe);
    res->RES_SERIAL_PORT->write(wxString(link.port_path()));
    res->RES_POS_DETECT->write(POS_DETECT_FASTRAK);
    res->RES_SIM_IMAGE_SOURCE->write(0);
    res->RES_VID_RATE->write(0);
    res->RES_POS_REC->write(true);

    capture_rig_t rig(interaction());
    ASSERT_EQ(rig.tracker.sensor(), SENSOR_FASTRAK);
    // The phantom source of the settings, but showing each pixel's tissue rather than its speckle.
    simulated_image_source_t labels(std::make_unique<phantom_bscans_t>(demo_phantom(), probe, synchronised_probe_pose,
                                                                       true));
    rig.video.add_source(&labels);
    const auto& sources = *res->RES_VID_CARD_LIST->value();
    for (std::size_t k = 0; k < sources.size(); ++k)
        if (sources[k].kind == image_source_simulated)
            res->RES_VID_CARD->write(static_cast<std::int64_t>(k));
    ASSERT_EQ(rig.video.kind(), image_source_simulated);
    ASSERT_TRUE(rig.recorder.start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (bufp->frames() < 40 && std::chrono::steady_clock::now() < deadline) {
        res->RES_IDLE_EVENT->write();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rig.recorder.stop();
    ASSERT_GE(bufp->frames(), 40);
    ASSERT_TRUE(recording_io->save_as(path("live.ks")));
    recording_io->new_recording();
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("live.ks")));
    ASSERT_GE(bufp->frames(), 40);

    // Poses: the simulator's trajectory at each frame's time. Both sides run on
    // the monotonic clock; the tolerance covers the tracker's resolution, the
    // interpolation between samples 20 ms apart and the time a request takes.
    const double zero = static_cast<double>(master_clock->from_monotonic(0));
    double worst_cm = 0.0, worst_deg = 0.0;
    for (long i = 0; i < bufp->frames(); ++i) {
        const double seconds = (static_cast<double>(bufp->timestamp(i)) - zero) / 1e7 - link.started_at();
        const sim_pose_t want = quick_pass(seconds);
        const counted_array_ptr<float> got = bufp->positioncp(i);
        ASSERT_EQ(got.size(), 6u) << i;
        for (int k = 0; k < 3; ++k)
            worst_cm = std::max(worst_cm, std::fabs(double(got[std::size_t(k)]) - want.v[k]));
        for (int k = 3; k < 6; ++k)
            worst_deg = std::max(worst_deg, angle_gap(got[std::size_t(k)], want.v[k]));
    }
    EXPECT_LT(worst_cm, 0.03);
    EXPECT_LT(worst_deg, 0.3);

    // The organ in a reslice along the recorded stretch, against its exact section.
    const reslice_source src = source_from_session();
    ASSERT_GE(src.frames.size(), 40u);
    const phantom body = demo_phantom();
    const ellipsoid_shape& organ = body.ellipsoids.at(0);
    const matrix16d mid = src.frames[src.frames.size() / 2].image_to_world;
    reslice_settings s;
    s.normal = {mid[0], mid[1], mid[2]};  // across the image's lateral axis, along the sweep
    s.centre = organ.centre;
    s.up = organ.centre + vertex3d{mid[4], mid[5], mid[6]};
    s.width = s.height = 150;
    s.linear = false;
    s.bscan_half_thickness = 0.1;
    reslice_internals r;
    r.set_pixel_size(0.04);
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    long compared = 0, wrong = 0, organ_pixels = 0;
    for (long y = 0; y < r.height(); ++y)
        for (long x = 0; x < r.width(); ++x) {
            const int v = r.pixel(x, y);
            if (v == 0)
                continue;
            const vertex3d w = r.reslice_to_world(x, y, 0.0);
            // Away from the boundary, where a frame spacing decides, and off the vessel.
            bool near_edge = false;
            for (const vertex3d d : {vertex3d{0.12, 0, 0}, vertex3d{-0.12, 0, 0}, vertex3d{0, 0.12, 0},
                                     vertex3d{0, -0.12, 0}, vertex3d{0, 0, 0.12}, vertex3d{0, 0, -0.12}})
                near_edge = near_edge || inside(organ, w + d) != inside(organ, w);
            bool vessel = false;
            for (const tube_shape& t : body.tubes)
                vessel = vessel || inside(t, w);
            if (near_edge || vessel)
                continue;
            const bool in = inside(organ, w);
            ++compared;
            organ_pixels += in;
            wrong += (v == ellipsoid_label(0)) != in;
        }
    ASSERT_GT(organ_pixels, 200);
    EXPECT_LT(double(wrong) / compared, 0.01);  // allowed: 1 % misclassified
}

}  // namespace
