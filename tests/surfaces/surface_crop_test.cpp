// Surfaces in reslices and voxel exports: a reslice cropped to a ball's
// surface keeps only what lies inside it, no crop leaves the image untouched,
// and an exported volume carries the ball's outlines on every slice, enough
// to build the same surface again from the re-opened volume.
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "reconstruction/synthetic_sweep.h"
#include "reconstruction/voxel_export.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "support/outline_shapes.h"
#include "support/session_fixture.h"
#include "surfaces/surface_interp.h"
#include "surfaces/surface_sections.h"
#include "surfaces/surface_session.h"

namespace {

using namespace sphere;

constexpr double ball = 0.5;        // cm: inside the sweep's bright sphere
constexpr double grid_cm = 4 * scale;  // Medium's grid step

class SurfaceCrop : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        // The ball outlined on every frame of the sweep that cuts it.
        const reslice_source sweep = sphere_sweep();
        frame_placements placements;
        placements.sx = placements.sy = scale;
        auto table = std::make_shared<object_table>();
        contour_object& o = (*table)[0];
        o.name = "Ball, left";
        o.colour = {10, 200, 30};
        for (std::size_t k = 0; k < sweep.frames.size(); ++k) {
            placements.frames.push_back(placed(sweep.frames[k].image_to_world));
            const double z = -1.0 + static_cast<double>(k) * spacing;
            if (std::fabs(z) < ball - 1e-9) {
                ellipse2d c;
                c.exists = true;
                c.cx = c.cy = 1.0;  // the frame's origin is at (-1, -1)
                c.a = c.b = std::sqrt(ball * ball - z * z);
                o.insert(static_cast<std::int32_t>(k), ellipse_outline(c, scale, scale, 180));
            }
        }
        surface_settings_t settings;
        settings.resolution = 4;
        first = surface_interp::build(o, 0, placements, settings);
        ASSERT_TRUE(first);
        res->RES_OBJECT->write(table);
        res->RES_SURFACE[0]->write(first);
    }

    std::shared_ptr<surface_interp> first;
};

// Distance from the ball's axis through the world origin across x.
double across(const vertex3d& p) { return std::hypot(p.y, p.z); }

TEST_F(SurfaceCrop, CroppedResliceKeepsOnlyTheInside)
{
    reslice_source source = sphere_sweep();
    const reslice_settings plain = plane_at({1.0, 0.0, 0.0}, {}, side, true, spacing / 2);
    const reslice_internals uncropped = built(source, plain);

    // No crop chosen, a crop of a slot without a surface, or no surfaces at
    // all: the image is the uncropped one, byte for byte.
    source.surface_sections = surface_sections_from_session();
    EXPECT_EQ(built(source, plain).image(), uncropped.image());
    reslice_settings empty_slot = plain;
    empty_slot.surface = 7;
    EXPECT_EQ(built(source, empty_slot).image(), uncropped.image());

    reslice_settings crop = plain;
    crop.surface = 0;
    const reslice_internals cropped = built(source, crop);
    long inside = 0, outside = 0;
    for (long y = 0; y < cropped.height(); ++y)
        for (long x = 0; x < cropped.width(); ++x) {
            const double r = across(cropped.reslice_to_world(x, y, 0.0));
            if (r > ball + scale + grid_cm) {
                EXPECT_EQ(cropped.pixel(x, y), 0) << x << "," << y;
                ++outside;
            } else if (r < ball - scale - grid_cm) {
                EXPECT_EQ(cropped.pixel(x, y), uncropped.pixel(x, y)) << x << "," << y;
                EXPECT_EQ(cropped.pixel(x, y), 200);
                ++inside;
            }
        }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 5000);

    // A thick reslice crops each of its planes: nothing outside survives compounding.
    reslice_settings thick = crop;
    thick.slice_half_thickness = 0.1;
    const reslice_internals slab = built(source, thick);
    for (long y = 0; y < slab.height(); ++y)
        for (long x = 0; x < slab.width(); ++x)
            if (across(slab.reslice_to_world(x, y, 0.0)) > ball + scale + grid_cm) {
                EXPECT_EQ(slab.pixel(x, y), 0) << x << "," << y;
            }

    // Once the surface is deleted, the crop has nothing to follow.
    res->RES_SURFACE[0]->write(nullptr);
    source.surface_sections = surface_sections_from_session();
    EXPECT_EQ(built(source, crop).image(), uncropped.image());
}

TEST_F(SurfaceCrop, ExportedVolumeCarriesTheOutlines)
{
    reslice_source source = sphere_sweep();
    source.surface_sections = surface_sections_from_session();
    const voxel_header_t header = voxel_header_from_session();
    ASSERT_EQ(header.objects.size(), 1u);
    voxel_export_request request;
    request.settings = plane_at({1.0, 0.0, 0.0}, {}, side, true, spacing / 2);
    request.spacing = 0.04;
    // Every other pixel first (outline points in output pixels), then one
    // pixel a voxel, so the rebuild below works on the same grid in cm.
    for (int step : {2, 1}) {
        request.step = step;
        request.path = path(wxString::Format("ball%d.ks", step));
        ASSERT_TRUE(export_voxels(source, header, request));

        // The OBJECT line ends with the name; each CONT line follows its
        // slice's IM line and lies on the ball's section within a grid step.
        std::ifstream in(static_cast<const char*>(request.path.fn_str()));
        std::string line;
        bool object_line = false;
        long cont_lines = 0, points = 0, slice_lines = 0;
        const reslice_plane plane(request.settings, scale);
        const voxel_layout_t layout = plan_voxel_export(source, request);
        while (std::getline(in, line)) {
            if (line.rfind("IM ", 0) == 0)
                ++slice_lines;
            if (line.rfind("OBJECT ", 0) == 0) {
                EXPECT_EQ(line, "OBJECT 0 1 10 200 30 1.000 Ball, left");
                object_line = true;
                EXPECT_EQ(slice_lines, 0);
            }
            if (line.rfind("CONT ", 0) != 0)
                continue;
            ++cont_lines;
            std::istringstream fields(line.substr(5));
            long object = -1, slice = -1, closed = -1;
            fields >> object >> slice >> closed;
            EXPECT_EQ(object, 0);
            EXPECT_EQ(closed, 1);
            EXPECT_EQ(slice, slice_lines - 1);
            const double z = layout.zmin + static_cast<double>(slice) * request.spacing;
            double u = 0.0, v = 0.0;
            while (fields >> u >> v) {
                const vertex3d p = plane.reslice_to_world(u * step, v * step, z);
                const double want = std::sqrt(std::max(0.0, ball * ball - p.x * p.x));
                EXPECT_NEAR(across(p), want, grid_cm) << line.substr(0, 40);
                ++points;
            }
        }
        EXPECT_TRUE(object_line);
        EXPECT_GT(cont_lines, 15);
        EXPECT_GT(points, 300);
    }

    // Opened again, the volume holds the object and its outlines; its surface
    // encloses the volume of the first within 1 %.
    const double first_volume = first->volume;
    ASSERT_TRUE(recording_io->try_read_kestrane_file(request.path));
    ASSERT_TRUE(res->RES_OBJECT->value());
    EXPECT_EQ((*res->RES_OBJECT->value())[0].name, "Ball, left");
    const surface_update_t rebuilt = update_surfaces(surface_settings_from_session(4, 0, 0), 0);
    ASSERT_EQ(rebuilt.built, std::vector<int>{0});
    EXPECT_NEAR(res->RES_SURFACE[0]->value()->volume, first_volume, 0.01 * first_volume);
}

}  // namespace
