// The ground-truth file: read back exactly as written, so tests that score
// reconstructions see the very numbers the frames were rendered from, and
// refused whole when any line is wrong.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>

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

    std::string read_text() const
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write_text(const std::string& text) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
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

void expect_same(const vertex3d& a, const vertex3d& b)
{
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

// Catches fields dropped, swapped or rounded on the way through the file.
TEST_F(GroundTruth, ReadsBackExactlyWhatWasWritten)
{
    const demo_scene w = awkward_scene();
    ASSERT_TRUE(write_ground_truth(path, w));
    demo_scene r;
    ASSERT_TRUE(read_ground_truth(path, &r));
    EXPECT_EQ(r.seed, w.seed);
    EXPECT_EQ(r.probe.calibration, w.probe.calibration);
    EXPECT_EQ(r.probe.sx, w.probe.sx);
    EXPECT_EQ(r.probe.sy, w.probe.sy);
    EXPECT_EQ(r.probe.width, w.probe.width);
    EXPECT_EQ(r.probe.height, w.probe.height);
    EXPECT_EQ(r.body.background, w.body.background);
    EXPECT_EQ(r.body.attenuation, w.body.attenuation);
    expect_same(r.body.skin.point, w.body.skin.point);
    expect_same(r.body.skin.normal, w.body.skin.normal);
    EXPECT_EQ(r.body.skin.thickness, w.body.skin.thickness);
    EXPECT_EQ(r.body.skin.level, w.body.skin.level);
    ASSERT_EQ(r.body.ellipsoids.size(), w.body.ellipsoids.size());
    for (std::size_t k = 0; k < w.body.ellipsoids.size(); ++k) {
        const ellipsoid_shape &a = r.body.ellipsoids[k], &b = w.body.ellipsoids[k];
        expect_same(a.centre, b.centre);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(a.semi[i], b.semi[i]);
        EXPECT_EQ(a.az, b.az);
        EXPECT_EQ(a.el, b.el);
        EXPECT_EQ(a.roll, b.roll);
        EXPECT_EQ(a.level, b.level);
    }
    ASSERT_EQ(r.body.tubes.size(), w.body.tubes.size());
    for (std::size_t k = 0; k < w.body.tubes.size(); ++k) {
        expect_same(r.body.tubes[k].start, w.body.tubes[k].start);
        expect_same(r.body.tubes[k].end, w.body.tubes[k].end);
        EXPECT_EQ(r.body.tubes[k].radius, w.body.tubes[k].radius);
        EXPECT_EQ(r.body.tubes[k].level, w.body.tubes[k].level);
    }
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
    const std::string good = read_text();
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
        write_text(text);
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
