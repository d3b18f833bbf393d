// Surfaces coloured with the recorded data: on the demo's label images the
// ellipsoid's surface lies between its label and the background, so sampling
// along the normals finds the label going in and the background going out.
#include <algorithm>

#include <gtest/gtest.h>

#include "demo/scene.h"
#include "demo/true_outlines.h"
#include "reconstruction/reslice_frames.h"
#include "surfaces/surface_colour.h"
#include "surfaces/surface_interp.h"

namespace {

class SurfaceColour : public ::testing::Test {
protected:
    void SetUp() override
    {
        const demo_scene scene = make_demo_scene(150, 320, 240);
        frames.sx = frames.pixel_size = scene.probe.sx;
        frames.sy = scene.probe.sy;
        frames.bilinear = false;  // labels are codes, not grey levels
        frame_placements placements;
        placements.sx = scene.probe.sx;
        placements.sy = scene.probe.sy;
        std::vector<matrix16d> planes;
        for (std::size_t i = 0; i < scene.trajectory.size(); ++i) {
            reslice_frame f;
            f.image = render_labels(scene, i);
            f.image_to_world = image_to_world(scene.trajectory[i].pose.get(), scene.probe);
            planes.push_back(f.image_to_world);
            frame_placement p;
            p.image_to_world = f.image_to_world;
            p.usable = true;
            placements.frames.push_back(p);
            frames.frames.push_back(std::move(f));
        }
        object_table table;
        add_true_outlines(scene.body, planes, scene.probe.sx, scene.probe.sy, 5, table);
        surface_settings_t settings;
        settings.resolution = 2;
        surface = surface_interp::build(table[0], 0, placements, settings);
        ASSERT_TRUE(surface);
        label = ellipsoid_label(0);
    }

    // The share of the surface's points whose value is v.
    double share(const std::vector<std::uint8_t>& values, int v) const
    {
        return double(std::count(values.begin(), values.end(), std::uint8_t(v))) / double(values.size());
    }

    reslice_source frames;
    std::unique_ptr<surface_interp> surface;
    int label = 0;
};

TEST_F(SurfaceColour, MaximumFindsTheShapeMinimumTheBackground)
{
    const surface_mesh_t& mesh = surface->get_seq().front().mesh;
    surface_colouring_t how;
    how.depth_pixels = 6;
    how.type = reslice_compounding_t::maximum;
    const std::vector<std::uint8_t> most = data_along_normals(mesh, frames, how);
    ASSERT_EQ(most.size(), mesh.points.size());
    EXPECT_GT(share(most, label), 0.95);
    how.type = reslice_compounding_t::minimum;
    // Plain tissue is label 0, which reads as 1: zero is kept for "no data".
    const std::vector<std::uint8_t> least = data_along_normals(mesh, frames, how);
    EXPECT_GT(share(least, 1), 0.95);
    how.type = reslice_compounding_t::average;
    const std::vector<std::uint8_t> mean = data_along_normals(mesh, frames, how);
    for (std::size_t i = 0; i < mean.size(); ++i) {
        EXPECT_GE(mean[i], least[i]);
        EXPECT_LE(mean[i], most[i]);
    }
    // No depth: the code on the surface itself, one sample, which a few
    // points between frames' slabs miss; never a value between two codes.
    how.depth_pixels = 0;
    const std::vector<std::uint8_t> on = data_along_normals(mesh, frames, how);
    EXPECT_NEAR(share(on, label) + share(on, 1) + share(on, 0), 1.0, 1e-12);
    EXPECT_LT(share(on, 0), 0.05);
}

TEST_F(SurfaceColour, ColoursGoThroughTheMapAndMissingDataLeavesTheSurfaceAlone)
{
    surface_colouring_t how;
    how.depth_pixels = 4;
    ASSERT_TRUE(surface->colour_with_data(frames, how, nullptr));
    for (const surface_sequence_t& s : surface->get_seq()) {
        ASSERT_TRUE(s.mesh.coloured());
        // Grey: the label's grey level on most points.
        const auto grey = std::count(s.mesh.colours.begin(), s.mesh.colours.end(),
                                     rgb_t{std::uint8_t(label), std::uint8_t(label), std::uint8_t(label)});
        EXPECT_GT(double(grey) / double(s.mesh.colours.size()), 0.95);
    }
    // Frames far from the surface: nothing found, colours kept as they were.
    reslice_source elsewhere = frames;
    for (reslice_frame& f : elsewhere.frames)
        f.image_to_world[14] += 50.0;
    const std::vector<rgb_t> before = surface->get_seq().front().mesh.colours;
    EXPECT_FALSE(surface->colour_with_data(elsewhere, how, nullptr));
    EXPECT_EQ(surface->get_seq().front().mesh.colours, before);
    // No frames, no scales: no data, no crash.
    EXPECT_FALSE(surface->colour_with_data(reslice_source{}, how, nullptr));
}

}  // namespace
