// Rendered demo frames: each pixel shows the tissue at the world point the
// pose and calibration put it at, with the echo level, speckle and depth loss
// the phantom states, and never the "no data" value 0.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "chain.h"
#include "demo/bscan.h"
#include "demo/scene.h"

namespace {

class DemoFrames : public ::testing::Test {
protected:
    const demo_scene scene = make_demo_scene(300, 640, 480);
    std::size_t widest_cut = 0;  // the frame cutting the ellipsoid the most
    ellipse2d cut;

    void SetUp() override
    {
        for (std::size_t i = 0; i < scene.trajectory.size(); ++i) {
            const ellipse2d s = section(scene.body.ellipsoids[0], chain(i));
            if (s.area() > cut.area()) {
                cut = s;
                widest_cut = i;
            }
        }
        ASSERT_GT(cut.area(), 0.5);  // cm^2: a good slice through the middle
    }
    matrix16d chain(std::size_t i) const { return chain_matrix(scene.trajectory[i].pose.get(), scene.probe); }
    double gain(long v) const { return std::exp(-scene.body.attenuation * v * scene.probe.sy); }
};

// The label a pixel must have, from the inside tests at its world point.
std::uint8_t expected_label(const demo_scene& scene, const matrix16d& m, long u, long v)
{
    const vertex3d p = pixel_to_world(m, scene.probe, u, v);
    for (std::size_t k = scene.body.tubes.size(); k-- > 0;)
        if (inside(scene.body.tubes[k], p))
            return tube_label(scene.body, k);
    for (std::size_t k = scene.body.ellipsoids.size(); k-- > 0;)
        if (inside(scene.body.ellipsoids[k], p))
            return ellipsoid_label(k);
    return inside(scene.body.skin, p) ? label_skin : label_background;
}

// Counts of each label, and of pixels whose label the inside tests contradict.
struct label_check {
    long mismatches = 0;
    long counts[256] = {};
};

label_check check_labels(const demo_scene& scene, std::size_t frame)
{
    label_check out;
    const cip_t labels = render_labels(scene, frame);
    EXPECT_EQ(labels.width(), scene.probe.width);
    EXPECT_EQ(labels.height(), scene.probe.height);
    const matrix16d m = chain_matrix(scene.trajectory[frame].pose.get(), scene.probe);
    for (long v = 0; v < labels.height(); ++v)
        for (long u = 0; u < labels.width(); ++u) {
            const std::uint8_t got = labels.pixels()[v * labels.width() + u];
            ++out.counts[got];
            out.mismatches += got != expected_label(scene, m, u, v);
        }
    return out;
}

struct running_mean {
    double sum = 0.0;
    long n = 0;
    void add(double x) { sum += x, ++n; }
    double mean() const { return sum / n; }
};

// Catches row stepping that drifts from the pixel-to-world chain, a wrong
// calibration order, rows cut at the wrong place through a shape, or the two
// pixel scales swapped (hence also an image with oblong pixels).
TEST_F(DemoFrames, LabelsMatchInsideTestsThroughTheChain)
{
    for (const std::size_t frame : {widest_cut, std::size_t{0}, std::size_t{230}, std::size_t{299}}) {
        const label_check c = check_labels(scene, frame);
        EXPECT_EQ(c.mismatches, 0) << "frame " << frame;
        EXPECT_GT(c.counts[label_skin], 640) << "frame " << frame;
        if (frame == widest_cut) {  // the check saw every kind of tissue
            EXPECT_GT(c.counts[ellipsoid_label(0)], 1000);
            EXPECT_GT(c.counts[tube_label(scene.body, 0)], 1000);
        }
    }
    const demo_scene oblong = make_demo_scene(300, 500, 320);
    ASSERT_NE(oblong.probe.sx, oblong.probe.sy);
    const label_check c = check_labels(oblong, widest_cut);
    EXPECT_EQ(c.mismatches, 0);
    EXPECT_GT(c.counts[ellipsoid_label(0)], 1000);
}

// Catches echo levels swapped or mis-scaled between tissues. Speckle has mean
// 1, so with depth loss divided out each class averages its own level; 3%
// allows for rounding to whole greys and the rare clip at 255.
TEST_F(DemoFrames, ClassMeansFollowEchoLevels)
{
    const cip_t image = render_bscan(scene, widest_cut);
    const matrix16d m = chain(widest_cut);
    running_mean organ, tissue, vessel;
    for (long v = 0; v < image.height(); ++v)
        for (long u = 0; u < image.width(); ++u) {
            const double grey = image.pixels()[v * image.width() + u] / gain(v);
            const double x = u * scene.probe.sx, y = v * scene.probe.sy;
            const vertex3d p = pixel_to_world(m, scene.probe, u, v);
            if (cut.contains(x, y))
                organ.add(grey);
            else if (inside(scene.body.tubes[0], p))
                vessel.add(grey);
            else if (!inside(scene.body.skin, p))
                tissue.add(grey);
        }
    EXPECT_NEAR(organ.mean(), scene.body.ellipsoids[0].level, 0.03 * scene.body.ellipsoids[0].level);
    EXPECT_NEAR(tissue.mean(), scene.body.background, 0.03 * scene.body.background);
    EXPECT_GT(organ.mean(), 1.5 * tissue.mean());
    EXPECT_LT(vessel.mean(), 0.25 * tissue.mean());  // near-anechoic
}

// Catches greys that wrap round past 255 or fall to the "no data" value 0,
// for levels far outside the byte range as well as the demo's own.
TEST_F(DemoFrames, PixelsStayWithin1To255)
{
    phantom loud = scene.body;
    loud.background = 0.0;
    loud.ellipsoids[0].level = 1e5;
    loud.tubes[0].level = -50.0;
    const float* pose = scene.trajectory[widest_cut].pose.get();
    const cip_t image = render_bscan(loud, pose, scene.probe, 7);
    const cip_t labels = render_labels(loud, pose, scene.probe);
    for (std::size_t i = 0; i < image.pixel_count(); ++i) {
        const std::uint8_t label = labels.pixels()[i], grey = image.pixels()[i];
        if (label == ellipsoid_label(0)) {
            ASSERT_EQ(grey, 255) << "pixel " << i;
        } else if (label == tube_label(loud, 0) || label == label_background) {
            ASSERT_EQ(grey, 1) << "pixel " << i;
        }
    }
    for (std::size_t frame = 0; frame < scene.trajectory.size(); frame += 23) {
        const cip_t demo = render_bscan(scene, frame);
        EXPECT_EQ(std::memchr(demo.pixels(), 0, demo.pixel_count()), nullptr) << "frame " << frame;
    }
}

// Catches hidden state (a shared generator, the clock) making frames differ
// between runs, and a seed that does not reach the speckle.
TEST_F(DemoFrames, SpeckleIsFixedByTheSeed)
{
    const cip_t a = render_bscan(scene, 5), b = render_bscan(scene, 5);
    ASSERT_EQ(a.pixel_count(), b.pixel_count());
    EXPECT_EQ(std::memcmp(a.pixels(), b.pixels(), a.pixel_count()), 0);
    const float* pose = scene.trajectory[5].pose.get();
    const cip_t c = render_bscan(scene.body, pose, scene.probe, 1), d = render_bscan(scene.body, pose, scene.probe, 2);
    long differ = 0;
    for (std::size_t i = 0; i < c.pixel_count(); ++i)
        differ += c.pixels()[i] != d.pixels()[i];
    EXPECT_GT(differ, static_cast<long>(0.8 * c.pixel_count()));
}

// Catches reads past the trajectory or of missing poses.
TEST_F(DemoFrames, ImpossibleRequestsGiveEmptyImages)
{
    EXPECT_TRUE(render_bscan(scene, scene.trajectory.size()).empty());
    EXPECT_TRUE(render_labels(scene, scene.trajectory.size()).empty());
    EXPECT_TRUE(render_bscan(scene.body, nullptr, scene.probe, 1).empty());
    probe_setup flat = scene.probe;
    flat.height = 0;
    EXPECT_TRUE(render_bscan(scene.body, scene.trajectory[0].pose.get(), flat, 1).empty());
}

}  // namespace
