// The VRML files of a surface, line for line: what other viewers read, so the
// text itself is what the tests protect.
#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "surface_support.h"
#include "surfaces/surface_files.h"

namespace {

class SurfaceVrml : public SurfaceFileTest {
protected:
    landmarks marks;
    curve_set curves;

    surface_save_t how(surface_format_t format)
    {
        marks.list = {{{0, 0, 1}, {}, "Apex", LMARK_SURFACE, 5, 0, 0}, {{2, 2, 2}, {}, "Landmark 1", LMARK_3D, 0, 0, 0}};
        curves.curves = {{5, true, {{1, 0, 0}, {0, 1, 0}, {0, 0, 0.5}}, "Rim"}, {5, false, {{0.25, 0.5, 0}}, "Line"}};
        surface_save_t h;
        h.format = format;
        h.colour = {255, 128, 0};
        h.opacity = 0.75;
        h.object = 5;
        h.marks = &marks;
        h.curves = &curves;
        return h;
    }
};

const char* const comments = "# LANDMARK \"Apex\" 0.00000 0.00000 1.00000\n"
                              "# CLOSED_LANDCURVE \"Rim\" 3\n"
                              "# 1.00000 0.00000 0.00000\n"
                              "# 0.00000 1.00000 0.00000\n"
                              "# 0.00000 0.00000 0.50000\n"
                              "# OPEN_LANDCURVE \"Line\" 1\n"
                              "# 0.25000 0.50000 0.00000\n";

const char* const points = "   0.00000 0.00000 0.00000\n"
                           "   1.00000 0.00000 0.00000\n"
                           "   0.00000 1.00000 0.00000\n"
                           "   0.00000 0.00000 1.00000\n";

const char* const normals = "   0.00000 0.00000 -1.00000\n"
                            "   1.00000 0.00000 0.00000\n"
                            "   0.00000 1.00000 0.00000\n"
                            "   0.00000 0.00000 1.00000\n";

const char* const faces = "   0, 2, 1, -1\n"
                          "   0, 1, 3, -1\n"
                          "   0, 3, 2, -1\n"
                          "   1, 2, 3, -1\n";

}  // namespace

TEST_F(SurfaceVrml, Version1Text)
{
    ASSERT_TRUE(save_surface(path("t.wrl"), tetrahedron(), how(surface_format_t::vrml1)));
    const std::string expected = std::string("#VRML V1.0 ascii\n\n") + comments +
                                 "Separator {\n"
                                 " ShapeHints {\n"
                                 "  vertexOrdering COUNTERCLOCKWISE\n"
                                 "  shapeType SOLID\n"
                                 "  faceType CONVEX\n"
                                 " }\n"
                                 " MaterialBinding {\n"
                                 "  value OVERALL\n"
                                 " }\n"
                                 " Material {\n"
                                 "  ambientColor 0.2 0.2 0.2\n"
                                 "  diffuseColor 1.000 0.502 0.000\n"
                                 "  specularColor 0.1 0.1 0.1\n"
                                 "  emissiveColor 0 0 0\n"
                                 "  shininess     0.2\n"
                                 "  transparency  0.250\n"
                                 " }\n"
                                 " Coordinate3 {\n"
                                 "  point [\n" +
                                 points +
                                 "  ]\n"
                                 " }\n"
                                 " NormalBinding {\n"
                                 "  value PER_VERTEX_INDEXED\n"
                                 " }\n"
                                 " Normal {\n"
                                 "  vector [\n" +
                                 normals +
                                 "  ]\n"
                                 " }\n"
                                 " IndexedFaceSet {\n"
                                 "  coordIndex [\n" +
                                 faces +
                                 "  ]\n"
                                 " }\n"
                                 "}\n";
    EXPECT_EQ(read_file(path("t.wrl")), expected);
}

TEST_F(SurfaceVrml, Version2Text)
{
    ASSERT_TRUE(save_surface(path("t.wrl"), tetrahedron(), how(surface_format_t::vrml2)));
    const std::string expected = std::string("#VRML V2.0 utf8\n\n") + comments +
                                 "Transform { children [ Shape {\n"
                                 " appearance Appearance { material Material {\n"
                                 "  ambientIntensity 0.2\n"
                                 "  diffuseColor 1.000 0.502 0.000\n"
                                 "  transparency 0.250\n"
                                 " } }\n"
                                 " geometry IndexedFaceSet {\n"
                                 "  coord Coordinate { point [\n" +
                                 points +
                                 "  ] }\n"
                                 "  normal Normal { vector [\n" +
                                 normals +
                                 "  ] }\n"
                                 "  coordIndex [\n" +
                                 faces +
                                 "  ]\n"
                                 " }\n"
                                 "} ] }\n";
    EXPECT_EQ(read_file(path("t.wrl")), expected);
}

// Per-point colours are written only by VRML 2.0, after the faces.
TEST_F(SurfaceVrml, Version2PointColours)
{
    surface_mesh_t mesh = tetrahedron();
    mesh.colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {51, 102, 153}};
    ASSERT_TRUE(save_surface(path("c.wrl"), mesh, how(surface_format_t::vrml2)));
    const std::string text = read_file(path("c.wrl"));
    const std::string colours = std::string(faces) +
                                "  ]\n"
                                "  colorPerVertex TRUE\n"
                                "  color Color { color [\n"
                                "   1.000 0.000 0.000\n"
                                "   0.000 1.000 0.000\n"
                                "   0.000 0.000 1.000\n"
                                "   0.200 0.400 0.600\n"
                                "  ] }\n"
                                " }\n"
                                "} ] }\n";
    ASSERT_GE(text.size(), colours.size());
    EXPECT_EQ(text.substr(text.size() - colours.size()), colours);
    ASSERT_TRUE(save_surface(path("c1.wrl"), mesh, how(surface_format_t::vrml1)));
    EXPECT_EQ(read_file(path("c1.wrl")).find("color"), std::string::npos);
}

// Transparency is 1 - opacity, kept within 0 to 1 whatever the opacity says.
TEST_F(SurfaceVrml, TransparencyFromOpacity)
{
    const std::pair<double, const char*> cases[] = {{1.0, "0.000"}, {0.0, "1.000"}, {0.1234, "0.877"},
                                                    {1.5, "0.000"}, {-0.5, "1.000"}, {std::nan(""), "0.000"}};
    for (const auto& [opacity, text] : cases) {
        surface_save_t h = how(surface_format_t::vrml1);
        h.opacity = opacity;
        ASSERT_TRUE(save_surface(path("o.wrl"), tetrahedron(), h));
        EXPECT_NE(read_file(path("o.wrl")).find(std::string("  transparency  ") + text + "\n"), std::string::npos)
            << opacity;
        h.format = surface_format_t::vrml2;
        ASSERT_TRUE(save_surface(path("o.wrl"), tetrahedron(), h));
        EXPECT_NE(read_file(path("o.wrl")).find(std::string("  transparency ") + text + "\n"), std::string::npos)
            << opacity;
    }
}
