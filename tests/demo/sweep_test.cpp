// The demo sweep: evenly timed, smooth like a hand, about 6 cm long, and
// covering every shape of the demo phantom.
#include <algorithm>
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "chain.h"
#include "demo/phantom.h"
#include "demo/sweep.h"

namespace {

constexpr double rad_to_deg = 180.0 / std::numbers::pi;

double angle_deg(const vertex3d& a, const vertex3d& b)
{
    return std::acos(std::clamp(dot(a, b) / (length(a) * length(b)), -1.0, 1.0)) * rad_to_deg;
}

class DemoSweep : public ::testing::Test {
protected:
    static constexpr int frames = 300;
    const probe_setup probe = demo_probe(640, 480);
    const std::vector<sweep_pose> sweep = demo_sweep(frames, probe);
    std::vector<matrix16d> chain;

    void SetUp() override
    {
        for (const sweep_pose& p : sweep)
            chain.push_back(chain_matrix(p.pose.get(), probe));
    }
    vertex3d image_centre(std::size_t i) const
    {
        return pixel_to_world(chain[i], probe, 0.5 * probe.width, 0.5 * probe.height);
    }
    vertex3d image_normal(std::size_t i) const { return column(chain[i], 2); }
};

// Catches time stamps off the 25 Hz grid, drifting, or not starting at the fixed epoch.
TEST_F(DemoSweep, TimesStepAt25HzFromTheEpoch)
{
    ASSERT_EQ(sweep.size(), static_cast<std::size_t>(frames));
    constexpr std::uint64_t ticks_per_second = 10'000'000;  // 100 ns ticks
    EXPECT_EQ(sweep[0].time, demo_first_time);
    for (std::size_t i = 1; i < sweep.size(); ++i)
        EXPECT_EQ(sweep[i].time - sweep[i - 1].time, ticks_per_second / 25) << "frame " << i;
}

// Catches jumps: a pose angle flipping branch (say by 180 degrees) between
// frames, or a path with a kink. Bounds: the probe moves at most 1.3 times its
// mean speed of 6 cm / 299 frames, and wobbles by a few degrees over the pass.
TEST_F(DemoSweep, MotionIsSmoothFrameToFrame)
{
    const double mean_step = demo_sweep_length_cm / (frames - 1);
    for (std::size_t i = 1; i < sweep.size(); ++i) {
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_LT(std::abs(sweep[i].pose[k] - sweep[i - 1].pose[k]), 0.5f) << "frame " << i << " value " << k;
        EXPECT_LT(length(image_centre(i) - image_centre(i - 1)), 2.0 * mean_step) << "frame " << i;
        EXPECT_LT(angle_deg(image_normal(i), image_normal(i - 1)), 0.5) << "frame " << i;
    }
    for (std::size_t i = 1; i + 1 < sweep.size(); ++i) {
        const vertex3d second = image_centre(i - 1) - 2.0 * image_centre(i) + image_centre(i + 1);
        EXPECT_LT(length(second), 0.1 * mean_step) << "frame " << i;
    }
}

// Catches a sweep of the wrong length, a sideways slide, or tilts that are
// either absent (too clean to exercise pose handling) or far beyond a hand's.
TEST_F(DemoSweep, TravelsAbout6cmWithAFewDegreesOfWobble)
{
    const vertex3d travel = image_centre(frames - 1) - image_centre(0);
    const vertex3d n0 = image_normal(0);
    const double along = std::abs(dot(travel, n0)) / length(n0);
    EXPECT_NEAR(along, demo_sweep_length_cm, 0.5);
    EXPECT_LT(std::sqrt(std::max(0.0, dot(travel, travel) - along * along)), 0.6);
    vertex3d mean_normal;
    for (std::size_t i = 0; i < sweep.size(); ++i)
        mean_normal = mean_normal + image_normal(i);
    double widest = 0.0;
    for (std::size_t i = 0; i < sweep.size(); ++i)
        widest = std::max(widest, angle_deg(image_normal(i), mean_normal));
    EXPECT_GT(widest, 1.0);
    EXPECT_LT(widest, 8.0);
}

// Catches a phantom or sweep moved so that part of a shape is never imaged:
// every surface point must lie between two consecutive image planes, and
// inside the image where it crosses them, with a margin.
TEST_F(DemoSweep, EveryShapeLiesInsideTheSweptVolume)
{
    const phantom body = demo_phantom();
    std::vector<vertex3d> surface;
    for (const ellipsoid_shape& e : body.ellipsoids) {
        const matrix16d f = e.frame();
        for (int i = 0; i <= 12; ++i)
            for (int j = 0; j < 24; ++j) {
                const double th = std::numbers::pi * i / 12, ph = 2 * std::numbers::pi * j / 24;
                surface.push_back(f * vertex3d{e.semi[0] * std::sin(th) * std::cos(ph),
                                               e.semi[1] * std::sin(th) * std::sin(ph), e.semi[2] * std::cos(th)});
            }
    }
    for (const tube_shape& t : body.tubes) {
        // A frame whose x axis runs along the tube, to walk round it.
        const vertex3d d = t.end - t.start;
        matrix16d f;
        f.forward(t.start.x, t.start.y, t.start.z, std::atan2(d.y, d.x) * rad_to_deg,
                  std::atan2(-d.z, std::hypot(d.x, d.y)) * rad_to_deg, 0.0);
        ASSERT_NEAR(length(f * vertex3d{length(d), 0, 0} - t.end), 0.0, 1e-9);
        for (int i = 0; i <= 20; ++i)
            for (int j = 0; j < 24; ++j) {
                const double ph = 2 * std::numbers::pi * j / 24;
                surface.push_back(f * vertex3d{length(d) * i / 20, t.radius * std::cos(ph), t.radius * std::sin(ph)});
            }
    }
    constexpr double margin = 0.2;  // cm, at the image edges
    for (const vertex3d& p : surface) {
        bool covered = false;
        for (std::size_t i = 0; i + 1 < sweep.size() && !covered; ++i) {
            const auto offset = [&p](const matrix16d& m, int c) { return dot(p - column(m, 3), column(m, c)); };
            if ((offset(chain[i], 2) > 0) == (offset(chain[i + 1], 2) > 0))
                continue;
            const double x = offset(chain[i], 0), y = offset(chain[i], 1);
            covered =
                x > margin && x < probe.width * probe.sx - margin && y > margin && y < probe.height * probe.sy - margin;
        }
        EXPECT_TRUE(covered) << p.x << ' ' << p.y << ' ' << p.z;
    }
}

}  // namespace
