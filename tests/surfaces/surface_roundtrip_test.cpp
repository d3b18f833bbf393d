// A surface saved as PLY reads back as the same mesh: the same triangles,
// the points and normals to float precision, the colours, and the landmarks
// and curves that travel in the comments.
#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "surface_support.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"

namespace {

void expect_same_mesh(const surface_mesh_t& saved, const ply_surface_t& read)
{
    ASSERT_EQ(read.mesh.points.size(), saved.points.size());
    ASSERT_TRUE(read.has_normals);
    for (std::size_t i = 0; i < saved.points.size(); ++i) {
        const surface_point_t &a = saved.points[i], &b = read.mesh.points[i];
        // The file holds floats: each value must come back as exactly its float.
        EXPECT_EQ(b.position.x, static_cast<float>(a.position.x)) << i;
        EXPECT_EQ(b.position.y, static_cast<float>(a.position.y)) << i;
        EXPECT_EQ(b.position.z, static_cast<float>(a.position.z)) << i;
        EXPECT_EQ(b.normal.x, static_cast<float>(a.normal.x)) << i;
        EXPECT_EQ(b.normal.y, static_cast<float>(a.normal.y)) << i;
        EXPECT_EQ(b.normal.z, static_cast<float>(a.normal.z)) << i;
    }
    ASSERT_EQ(read.mesh.triangles.size(), saved.triangles.size());
    for (std::size_t i = 0; i < saved.triangles.size(); ++i)
        EXPECT_EQ(read.mesh.triangles[i].points, saved.triangles[i].points) << i;
}

surface_save_t ply_of(rgb_t colour)
{
    surface_save_t how;
    how.format = surface_format_t::ply;
    how.colour = colour;
    return how;
}

}  // namespace

using SurfacePlyRoundTrip = SurfaceFileTest;

// The exact triangles and float-exact points and normals of a small and a large mesh.
TEST_F(SurfacePlyRoundTrip, MeshesComeBackExactly)
{
    for (const surface_mesh_t& mesh : {tetrahedron(), subdivided_sphere(4, 2.7, {1.5, -3.25, 10.1})}) {
        ASSERT_TRUE(save_surface(path("s.ply"), mesh, ply_of({10, 20, 30})));
        ply_surface_t read;
        ASSERT_TRUE(read_ply_file(path("s.ply"), 0, read));
        expect_same_mesh(mesh, read);
        // Without colours of its own every point carries the object's colour.
        ASSERT_EQ(read.mesh.colours.size(), mesh.points.size());
        for (const rgb_t& c : read.mesh.colours)
            EXPECT_EQ(c, (rgb_t{10, 20, 30}));
    }
    EXPECT_EQ(file_count(), 1u);
}

// The size follows from the layout: a header, 27 bytes per point, 13 per triangle.
TEST_F(SurfacePlyRoundTrip, BinaryLayoutIsLittleEndianFloatsAndUcharUintLists)
{
    const surface_mesh_t mesh = tetrahedron();
    ASSERT_TRUE(save_surface(path("t.ply"), mesh, ply_of({1, 2, 3})));
    const std::string bytes = read_file(path("t.ply"));
    const std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex 4\n"
                               "property float x\nproperty float y\nproperty float z\n"
                               "property float nx\nproperty float ny\nproperty float nz\n"
                               "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                               "element face 4\nproperty list uchar uint vertex_indices\nend_header\n";
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    ASSERT_EQ(bytes.size(), header.size() + 4 * 27 + 4 * 13);
    // Point 1 is (1, 0, 0): 1.0f is 00 00 80 3f in little-endian order.
    EXPECT_EQ(bytes.substr(header.size() + 27, 4), std::string("\x00\x00\x80\x3f", 4));
    // The last face: count 3, then 1, 2, 3 as 32-bit little-endian.
    EXPECT_EQ(bytes.substr(bytes.size() - 13),
              std::string("\x03\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00", 13));
}

// Per-point colours (the recorded data compounded onto the surface) are kept.
TEST_F(SurfacePlyRoundTrip, PointColoursComeBack)
{
    surface_mesh_t mesh = subdivided_sphere(1, 1.0, {});
    for (std::size_t i = 0; i < mesh.points.size(); ++i)
        mesh.colours.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                                static_cast<std::uint8_t>(i * 31)});
    ASSERT_TRUE(save_surface(path("c.ply"), mesh, ply_of({0, 0, 0})));
    ply_surface_t read;
    ASSERT_TRUE(read_ply_file(path("c.ply"), 0, read));
    EXPECT_EQ(read.mesh.colours, mesh.colours);
}

// Landmarks on this object's surface and every curve survive, names with
// blanks and quotes included; other landmarks are not the surface's.
TEST_F(SurfacePlyRoundTrip, LandmarksAndCurvesTravelInComments)
{
    landmarks marks;
    marks.list.push_back({{0.5, 0.25, -1.125}, {}, "Apex", LMARK_SURFACE, 3, 0, 0});
    marks.list.push_back({{9, 9, 9}, {}, "Landmark 1", LMARK_3D, 3, 0, 0});
    marks.list.push_back({{8, 8, 8}, {}, "Surface 1", LMARK_SURFACE, 4, 0, 0});
    marks.list.push_back({{-2.5, 1e-5, 123.45678}, {}, "the \"inner\" tip", LMARK_SURFACE, 3, 0, 0});
    curve_set curves;
    curves.curves.push_back({3, true, {{1, 0, 0}, {0, 1, 0}, {0, 0, 0.5}}, "Rim"});
    curves.curves.push_back({3, false, {{0.125, 0.25, 0.375}, {-1, -2, -3}}, "Ridge \"a\""});
    curves.curves.push_back({3, false, {}, "Empty"});

    surface_save_t how = ply_of({1, 1, 1});
    how.object = 3;
    how.marks = &marks;
    how.curves = &curves;
    ASSERT_TRUE(save_surface(path("m.ply"), tetrahedron(), how));
    ply_surface_t read;
    ASSERT_TRUE(read_ply_file(path("m.ply"), 7, read));
    expect_same_mesh(tetrahedron(), read);

    ASSERT_EQ(read.marks.list.size(), 2u);
    EXPECT_EQ(read.marks.list[0].name, "Apex");
    EXPECT_EQ(read.marks.list[0].position, (vertex3d{0.5, 0.25, -1.125}));
    EXPECT_EQ(read.marks.list[1].name, "the \"inner\" tip");
    EXPECT_NEAR(read.marks.list[1].position.x, -2.5, 5e-6);
    EXPECT_NEAR(read.marks.list[1].position.y, 1e-5, 5e-6);
    EXPECT_NEAR(read.marks.list[1].position.z, 123.45678, 5e-6);
    for (const landmark_t& m : read.marks.list) {
        EXPECT_EQ(m.kind, LMARK_SURFACE);
        EXPECT_EQ(m.index, 7);  // the reader's object, not the writer's
    }
    ASSERT_EQ(read.curves.curves.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read.curves.curves[i].name, curves.curves[i].name);
        EXPECT_EQ(read.curves.curves[i].closed, curves.curves[i].closed);
        EXPECT_EQ(read.curves.curves[i].points, curves.curves[i].points);
        EXPECT_EQ(read.curves.curves[i].object, 7);
    }
}

// A newline in a name would end the comment and put the rest of the name
// into the header as a keyword; control characters are saved as blanks.
TEST_F(SurfacePlyRoundTrip, ControlCharactersInNamesCannotBreakTheHeader)
{
    landmarks marks;
    marks.list.push_back({{1, 2, 3}, {}, "two\nend_header\nlines", LMARK_SURFACE, 0, 0, 0});
    curve_set curves;
    curves.curves.push_back({0, true, {{1, 1, 1}}, "tab\there"});
    surface_save_t how = ply_of({});
    how.marks = &marks;
    how.curves = &curves;
    log_capture log;
    ASSERT_TRUE(save_surface(path("n.ply"), tetrahedron(), how));
    EXPECT_TRUE(log.contains("control characters", wxLOG_Warning));
    ply_surface_t read;
    ASSERT_TRUE(read_ply_file(path("n.ply"), 0, read));
    expect_same_mesh(tetrahedron(), read);
    ASSERT_EQ(read.marks.list.size(), 1u);
    EXPECT_EQ(read.marks.list[0].name, "two end_header lines");
    ASSERT_EQ(read.curves.curves.size(), 1u);
    EXPECT_EQ(read.curves.curves[0].name, "tab here");
}

// A mesh whose triangle points past its points would write a file no reader
// accepts; it is refused before anything is written.
TEST_F(SurfacePlyRoundTrip, UnusableMeshesAreRefused)
{
    surface_mesh_t bad_index = tetrahedron();
    bad_index.triangles[2].points[1] = 4;
    surface_mesh_t bad_point = tetrahedron();
    bad_point.points[1].position.y = std::nan("");
    log_capture log;
    EXPECT_FALSE(save_surface(path("b.ply"), bad_index, ply_of({})));
    EXPECT_TRUE(log.contains("triangle 2 refers to point 4 of 4", wxLOG_Error));
    surface_save_t vrml;
    vrml.format = surface_format_t::vrml1;
    EXPECT_FALSE(save_surface(path("b.wrl"), bad_point, vrml));
    EXPECT_TRUE(log.contains("point 1 is not a finite position", wxLOG_Error));
    EXPECT_EQ(file_count(), 0u);
}
