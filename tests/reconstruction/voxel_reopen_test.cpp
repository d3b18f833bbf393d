// An exported volume opened again as a recording: its frame poses must put
// the voxels where the reslice took them, and reslicing it must give back
// the original frames.
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "reconstruction/voxel_export.h"
#include "resources/core_session.h"
#include "support/session_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "synthetic_sweep.h"

namespace {

using namespace sphere;

reslice_settings across_frames()
{
    return plane_at({1.0, 0.0, 0.0}, {}, side, false, spacing / 2);
}

class VoxelReopen : public SessionTest {
protected:
    // Exports the sweep across its frames and reads the volume back.
    reslice_source export_and_reopen(int step, double d)
    {
        voxel_export_request r;
        r.settings = across_frames();
        r.step = step;
        r.spacing = d;
        r.path = dir + "/vol.ks";
        EXPECT_TRUE(export_voxels(sphere_sweep(), voxel_header_t{}, r));
        EXPECT_TRUE(recording_io->try_read_kestrane_file(r.path));
        return source_from_session();
    }
};

// Catches slice poses that misplace the first-pixel corner, the axes or the voxel size.
TEST_F(VoxelReopen, FramePosesPutVoxelsWhereTheResliceTookThem)
{
    const reslice_source volume = export_and_reopen(2, 0.1);
    ASSERT_EQ(volume.frames.size(), 21u);  // floor(2 / 0.1) + 1
    EXPECT_DOUBLE_EQ(volume.sx, 2 * scale);
    const reslice_plane plane(across_frames(), scale);
    for (std::size_t i = 0; i < volume.frames.size(); ++i) {
        const double z = -1.0 + 0.1 * static_cast<double>(i);
        for (const auto& [u, v] : {std::pair<long, long>{0, 0}, {49, 0}, {0, 49}, {17, 33}}) {
            const vertex3d got = volume.frames[i].image_to_world * vertex3d{u * volume.sx, v * volume.sy, 0.0};
            const vertex3d want = plane.reslice_to_world(2.0 * u, 2.0 * v, z);
            EXPECT_NEAR(length(got - want), 0.0, 1e-4) << "slice " << i << " voxel " << u << "," << v;
        }
    }
}

// Catches volumes that do not reproduce the data: a cut through an original
// frame plane must match that frame up to interpolation at the sphere's edge.
TEST_F(VoxelReopen, ReslicingTheVolumeGivesBackAnOriginalFrame)
{
    const reslice_source volume = export_and_reopen(1, scale);
    ASSERT_EQ(volume.frames.size(), 101u);
    const int frame = 24;  // z = 0.2
    const vertex3d centre{0.0, 0.0, -1.0 + frame * spacing};
    const reslice_internals r = built(volume, plane_at({0.0, 0.0, 1.0}, centre, side, false, scale / 2));
    // Reslice pixel (x, y) lies on pixel (x, y) of the original frame.
    const cip_t original = sphere_sweep().frames[frame].image;
    long compared = 0, differing = 0;
    // The outermost pixels lie on the volume's edge, which the reslice leaves out.
    for (long y = 1; y < side - 1; ++y)
        for (long x = 1; x < side - 1; ++x) {
            ++compared;
            if (std::abs(int(r.pixel(x, y)) - int(original.pixels()[y * side + x])) > 8)
                ++differing;
        }
    EXPECT_LT(double(differing) / double(compared), 0.01);  // allowed: 1 % at the sphere's outline
}

}  // namespace
