// The ground-truth file: read back exactly as written, so tests that score
// reconstructions see the very numbers the frames were rendered from, and
// refused whole when any line is wrong.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "demo/scene.h"

namespace {

class GroundTruth : public ::testing::Test {
protected:
    std::string path;

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = ::testing::TempDir() + "ks_truth_" + info->name() + ".txt";
    }
    void TearDown() override { std::remove(path.c_str()); }
};

// A scene with values that only survive shortest-round-trip formatting.
demo_scene awkward_scene()
{
    demo_scene s = make_demo_scene(40, 320, 240);
    s.seed = 0xfedcba9876543210ULL;
    s.probe.calibration[0] = 0.1 + 0.2;
    s.probe.calibration[4] = -1.0 / 3.0;
    s.body.background = 47.123456789012345;
    s.body.skin.normal = {1e-300, -0.0, 3.0};
    ellipsoid_shape e;
    e.centre = {-1.0 / 7.0, 2e-17, 5.5};
    e.semi[0] = std::numbers::pi;
    e.az = -179.99999999999;
    e.level = 0.5;
    s.body.ellipsoids.push_back(e);
    tube_shape t;
    t.start = {1e10, 0.0, 0.0};
    t.end = {-2.5, 1.0 / 9.0, 4.0};
    t.radius = 1e-5;
    s.body.tubes.push_back(t);
    return s;
}

// Every field of a scene but its trajectory, for exact comparison.
auto fields(const demo_scene& s)
{
    const auto& p = s.probe;
    const auto& b = s.body;
    return std::tuple(s.seed, p.calibration, p.sx, p.sy, p.width, p.height, b.background, b.attenuation, b.skin.point,
                      b.skin.normal, b.skin.thickness, b.skin.level, b.ellipsoids.size(), b.tubes.size());
}
auto fields(const ellipsoid_shape& e)
{
    return std::tuple(e.centre, e.semi[0], e.semi[1], e.semi[2], e.az, e.el, e.roll, e.level);
}
auto fields(const tube_shape& t)
{
    return std::tuple(t.start, t.end, t.radius, t.level);
}

// Catches fields dropped, swapped or rounded on the way through the file.
TEST_F(GroundTruth, ReadsBackExactlyWhatWasWritten)
{
    const demo_scene w = awkward_scene();
    ASSERT_TRUE(write_ground_truth(path, w));
    demo_scene r;
    ASSERT_TRUE(read_ground_truth(path, &r));
    ASSERT_EQ(fields(r), fields(w));
    for (std::size_t k = 0; k < w.body.ellipsoids.size(); ++k)
        EXPECT_EQ(fields(r.body.ellipsoids[k]), fields(w.body.ellipsoids[k])) << "ellipsoid " << k;
    for (std::size_t k = 0; k < w.body.tubes.size(); ++k)
        EXPECT_EQ(fields(r.body.tubes[k]), fields(w.body.tubes[k])) << "tube " << k;
    // The sweep is rebuilt from the frame count and the probe read back.
    const std::vector<sweep_pose> expected = demo_sweep(40, r.probe);
    ASSERT_EQ(r.trajectory.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.trajectory[i].time, expected[i].time);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_EQ(r.trajectory[i].pose[k], expected[i].pose[k]);
    }
}

// Catches partial reads: a file with any bad line must leave the caller's scene alone.
TEST_F(GroundTruth, RefusesBrokenFilesWhole)
{
    ASSERT_TRUE(write_ground_truth(path, make_demo_scene(10)));
    std::ostringstream read;
    read << std::ifstream(path, std::ios::binary).rdbuf();
    const std::string good = read.str();
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string t = good;
        const std::size_t at = t.find(from);
        return at == std::string::npos ? std::string() : t.replace(at, from.size(), to);
    };
    const auto volume_text_replaced = [&good](const std::string& to) {
        std::string t = good;
        const std::size_t line = t.find("\nellipsoid "), end = t.find('\n', line + 1);
        const std::size_t last = t.rfind(' ', end);
        return line == std::string::npos || end == std::string::npos ? std::string()
                                                                     : t.replace(last + 1, end - last - 1, to);
    };
    const std::string broken[] = {
        replaced("seed ", "# seed "),              // a required key missing
        replaced("frames ", "frames 5\nframes "),  // a key twice
        replaced("frames 10", "frames 0"),
        replaced("scale 0.01", "scale 0.01x"),
        replaced("scale 0.01", "scale nan"),
        replaced("image 640", "image -640"),
        replaced("ellipsoid -0.8 -0.9 2.2 1", "ellipsoid -0.8 -0.9 2.2 0"),  // no size
        replaced("0.3 6", "0 6"),                                            // a tube of no radius
        replaced("background 50 0.1", "background 50 0.1 9"),                // an extra field
        replaced("calibration 2.3", "calibration"),                          // a missing field
        good + "colour 3\n",                                                 // an unknown key
        volume_text_replaced("large"),                                       // a volume that is no number
    };
    for (const std::string& text : broken) {
        ASSERT_FALSE(text.empty()) << "the mutation did not apply";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        demo_scene s;
        s.seed = 77;
        EXPECT_FALSE(read_ground_truth(path, &s)) << text;
        EXPECT_EQ(s.seed, 77u);
        EXPECT_TRUE(s.trajectory.empty());
    }
    std::remove(path.c_str());
    demo_scene s;
    EXPECT_FALSE(read_ground_truth(path, &s));
}

}  // namespace
