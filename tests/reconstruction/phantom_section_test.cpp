// A reslice of the demo sweep, read from the frame buffer and resources of a
// live session, against the exact section of the demo phantom's ellipsoid.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>
#include <wx/filename.h>

#include "common/dynabuf.h"
#include "demo/bscan.h"
#include "demo/demo_recording.h"
#include "demo/scene.h"
#include "resources/core_session.h"
#include "resources/resource_table.h"
#include "synthetic_sweep.h"

namespace {

constexpr int frame_count = 150;  // 0.04 cm apart over the 6 cm sweep
constexpr std::uint8_t organ = 200, tissue = 60;

class PhantomSection : public ::testing::Test {
protected:
    std::unique_ptr<core_session_t> session;
    demo_scene scene;

    void SetUp() override
    {
        session = std::make_unique<core_session_t>(wxFileName::GetTempDir(), "", false);
        session->finish_start_up();
        scene = make_demo_scene(frame_count, 160, 120);
        use_demo_probe(scene.probe);
        // Two classes only, so a reslice pixel's class is unambiguous.
        for (std::size_t i = 0; i < scene.trajectory.size(); ++i) {
            const cip_t labels = render_labels(scene, i);
            cip_t img = cip_t::make_8bit(labels.width(), labels.height());
            for (std::size_t p = 0; p < img.pixel_count(); ++p)
                img.pixels()[p] = labels.pixels()[p] == ellipsoid_label(0) ? organ : tissue;
            bufp->append(img, scene.trajectory[i].pose, scene.trajectory[i].time);
        }
        // A frame the tracker lost must be left out.
        bufp->append(cip_t::make_8bit(160, 120), counted_array_ptr<float>{}, scene.trajectory.back().time + 1);
    }
    void TearDown() override { session.reset(); }

    // Plane coordinates (cm) to world for section(): columns e, u, n and the pixel origin.
    static matrix16d plane_matrix(const reslice_plane& p)
    {
        matrix16d m;
        const vertex3d o = p.reslice_to_world(0.0, 0.0, 0.0);
        const vertex3d axes[4] = {p.x_axis(), p.up_axis(), p.normal(), o};
        for (int c = 0; c < 4; ++c) {
            m[4 * c] = axes[c].x;
            m[4 * c + 1] = axes[c].y;
            m[4 * c + 2] = axes[c].z;
        }
        return m;
    }
};

// Catches a wrong pose-times-calibration chain or resource read: the reslice
// along the sweep through the organ's centre must show its analytic section.
TEST_F(PhantomSection, ResliceAlongTheSweepMatchesTheEllipsoidSection)
{
    const reslice_source src = source_from_session();
    ASSERT_EQ(src.frames.size(), static_cast<std::size_t>(frame_count));
    const ellipsoid_shape& e = scene.body.ellipsoids.at(0);
    const matrix16d mid = image_to_world(scene.trajectory[frame_count / 2].pose.get(), scene.probe);
    for (const bool linear : {false, true}) {
        // Across the image's lateral axis, up its depth axis; 4.8 cm at 0.04 cm a pixel.
        const reslice_internals r = built(src, plane_at({mid[0], mid[1], mid[2]}, e.centre, 120, linear,
                                                        linear ? 0.08 : 0.04, {mid[4], mid[5], mid[6]}));
        const double px = r.plane().pixel_size();
        const ellipse2d truth = section(e, plane_matrix(r.plane()));
        ASSERT_TRUE(truth.exists);
        long compared = 0, wrong = 0, organ_pixels = 0;
        const double margin = 0.1;  // cm: the boundary is only known to about two frame spacings
        for (long y = 0; y < r.height(); ++y)
            for (long x = 0; x < r.width(); ++x) {
                const int v = r.pixel(x, y);
                if (v == 0)
                    continue;
                const double cx = x * px, cy = y * px;
                const bool in = truth.contains(cx, cy);
                if (in != truth.contains(cx + margin, cy) || in != truth.contains(cx - margin, cy) ||
                    in != truth.contains(cx, cy + margin) || in != truth.contains(cx, cy - margin))
                    continue;
                const vertex3d w = r.reslice_to_world(x, y, 0.0);
                bool vessel = false;
                for (const tube_shape& t : scene.body.tubes)
                    vessel = vessel || inside(t, w);
                if (vessel)
                    continue;  // drawn over the organ where they meet
                ++compared;
                organ_pixels += in;
                wrong += (v > (organ + tissue) / 2) != in;
            }
        ASSERT_GT(organ_pixels, 300) << "linear " << linear;
        EXPECT_LT(double(wrong) / compared, 0.01) << "linear " << linear;  // allowed: 1 % misclassified
    }
}

}  // namespace
