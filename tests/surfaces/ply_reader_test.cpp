// PLY files from elsewhere: the encodings and layouts other programs write
// are read, and every kind of damaged or hostile file is refused with a
// logged reason, never read past its end or trusted for a count.
#include <bit>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "surface_support.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"

namespace {

bool read(const std::string& bytes, ply_surface_t& out)
{
    return read_ply({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 0, out);
}

// The error logged for `bytes`, which must be refused.
std::string refusal(const std::string& bytes)
{
    log_capture log;
    ply_surface_t out;
    out.mesh.points.resize(1);
    if (read(bytes, out))
        return "(read without complaint)";
    if (!out.mesh.points.empty() || log.count(wxLOG_Error) == 0)
        return "(refused without a message or with data left)";
    return log.records().front().text.ToStdString();
}

template <typename T>
void put(std::string& out, T v, bool big_endian)
{
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof v);
    if (big_endian)
        std::reverse(b, b + sizeof b);
    out.append(b, sizeof b);
}

const std::string square_header_ascii = "ply\r\n"
                                        "format ascii 1.0\r\n"
                                        "comment made by hand\r\n"
                                        "obj_info nothing to see\r\n"
                                        "element vertex 4\r\n"
                                        "property double x\r\n"
                                        "property double y\r\n"
                                        "property double z\r\n"
                                        "element face 1\r\n"
                                        "property list int int vertex_index\r\n"
                                        "end_header\r\n";

}  // namespace

using PlyReading = SurfaceFileTest;

// ASCII with CRLF lines, doubles, int counts and a quadrilateral split in two.
TEST_F(PlyReading, AsciiQuadrilateral)
{
    ply_surface_t out;
    ASSERT_TRUE(read(square_header_ascii + "0 0 0\r\n2.5 0 0\r\n2.5 -1e-3 1\r\n0 0 1\r\n4 0 1 2 3\r\n", out));
    ASSERT_EQ(out.mesh.points.size(), 4u);
    EXPECT_EQ(out.mesh.points[2].position, (vertex3d{2.5, -1e-3, 1}));
    EXPECT_FALSE(out.has_normals);
    EXPECT_TRUE(out.mesh.colours.empty());
    ASSERT_EQ(out.mesh.triangles.size(), 2u);
    EXPECT_EQ(out.mesh.triangles[0].points, (std::array<std::uint32_t, 3>{0, 1, 2}));
    EXPECT_EQ(out.mesh.triangles[1].points, (std::array<std::uint32_t, 3>{0, 2, 3}));
    EXPECT_EQ(out.comments, std::vector<std::string>{"made by hand"});
}

// Big-endian binary, with properties and elements we do not use in between.
TEST_F(PlyReading, BigEndianWithExtraProperties)
{
    std::string f = "ply\nformat binary_big_endian 1.0\n"
                    "element vertex 3\nproperty short label\nproperty float x\nproperty float y\n"
                    "property float z\nproperty list uchar float extra\nproperty float red\n"
                    "property float green\nproperty float blue\n"
                    "element edge 1\nproperty int a\nproperty int b\n"
                    "element face 1\nproperty uchar flags\nproperty list ushort uint vertex_indices\nend_header\n";
    const float xyz[3][3] = {{1.5f, -2, 3}, {4, 5, 6.25f}, {-7, 8, 9}};
    for (int i = 0; i < 3; ++i) {
        put<std::int16_t>(f, static_cast<std::int16_t>(i - 1), true);
        for (float v : xyz[i])
            put(f, v, true);
        put<std::uint8_t>(f, 2, true);
        put(f, 0.5f, true);
        put(f, 0.25f, true);
        for (float c : {1.0f, 0.5f, 2.0f})  // colours in 0..1, and one out of range
            put(f, c, true);
    }
    put<std::int32_t>(f, 0, true);
    put<std::int32_t>(f, 1, true);
    put<std::uint8_t>(f, 9, true);
    put<std::uint16_t>(f, 3, true);
    for (std::uint32_t i : {2u, 1u, 0u})
        put(f, i, true);
    ply_surface_t out;
    ASSERT_TRUE(read(f, out));
    ASSERT_EQ(out.mesh.points.size(), 3u);
    EXPECT_EQ(out.mesh.points[0].position, (vertex3d{1.5, -2, 3}));
    EXPECT_EQ(out.mesh.points[1].position, (vertex3d{4, 5, 6.25}));
    EXPECT_EQ(out.mesh.points[2].position, (vertex3d{-7, 8, 9}));
    ASSERT_EQ(out.mesh.colours.size(), 3u);
    EXPECT_EQ(out.mesh.colours[0], (rgb_t{255, 128, 255}));
    ASSERT_EQ(out.mesh.triangles.size(), 1u);
    EXPECT_EQ(out.mesh.triangles[0].points, (std::array<std::uint32_t, 3>{2, 1, 0}));
}

// Every cut of a valid file, in the header or in the data, is refused.
TEST_F(PlyReading, TruncatedFiles)
{
    ASSERT_TRUE(save_surface(path("t.ply"), tetrahedron(), {}));
    const std::string whole = read_file(path("t.ply"));
    ply_surface_t out;
    ASSERT_TRUE(read(whole, out));
    const std::size_t data = whole.find("end_header\n") + 11;
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const std::string why = refusal(whole.substr(0, n));
        // Short data fails the count check before reading, longer data a list
        // length check or the read that runs out.
        if (n >= data)
            EXPECT_TRUE(why.find("ends or holds an unreadable value") != std::string::npos ||
                        why.find("more than the") != std::string::npos ||
                        why.find("which the data cannot hold") != std::string::npos)
                << n << ": " << why;
        else
            EXPECT_NE(why.find("ends inside its header"), std::string::npos) << n << ": " << why;
    }
    EXPECT_NE(refusal(square_header_ascii + "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2").find("ends or holds"),
              std::string::npos);
}

// Counts that the data cannot hold are refused before anything is reserved for them.
TEST_F(PlyReading, CountsLargerThanTheData)
{
    ASSERT_TRUE(save_surface(path("t.ply"), tetrahedron(), {}));
    const std::string whole = read_file(path("t.ply"));
    const auto with = [&whole](const std::string& from, const std::string& to) {
        std::string s = whole;
        const auto at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    EXPECT_NE(refusal(with("element vertex 4", "element vertex 4000000000")).find("claims 4000000000 entries"),
              std::string::npos);
    // 6 vertices take more bytes than the whole data section.
    EXPECT_NE(refusal(with("element vertex 4", "element vertex 6")).find("claims 6 entries"), std::string::npos);
    EXPECT_NE(refusal(with("element face 4", "element face 18446744073709551615")).find("claims"), std::string::npos);
    EXPECT_NE(refusal(with("element face 4", "element face 18446744073709551616")).find("needs a name and a count"),
              std::string::npos);
    EXPECT_NE(refusal(with("element face 4", "element face -1")).find("needs a name and a count"), std::string::npos);
    // An element without properties would otherwise be looped over for nothing.
    EXPECT_NE(refusal(with("element face 4", "element nothing 4000000000\nelement face 4")).find("no properties"),
              std::string::npos);
    // The same in ASCII, where each entry takes at least one character.
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement vertex 99999999\nproperty float x\nproperty float y\n"
                      "property float z\nend_header\n0 0 0\n")
                  .find("claims 99999999 entries"),
              std::string::npos);
}

// Faces must name existing vertices and have at least three of them.
TEST_F(PlyReading, BadFaceLists)
{
    ASSERT_TRUE(save_surface(path("t.ply"), tetrahedron(), {}));
    const std::string whole = read_file(path("t.ply"));
    const std::size_t last_face = whole.size() - 13;
    std::string s = whole;
    s[last_face + 9] = 4;  // the third index of the last face, one past the last vertex
    EXPECT_NE(refusal(s).find("face 3 refers to vertex 4, but the file has 4 vertices"), std::string::npos);
    s = whole;
    s[last_face + 12] = '\x80';  // 2^31 + 3
    EXPECT_NE(refusal(s).find("refers to vertex 2147483651"), std::string::npos);
    s = whole;
    s[last_face] = 2;
    EXPECT_NE(refusal(s).find("face 3 has 2 vertices"), std::string::npos);
    s[last_face] = 0;
    EXPECT_NE(refusal(s).find("face 3 has 0 vertices"), std::string::npos);
    s[last_face] = '\xff';
    EXPECT_NE(refusal(s).find("claims 255 items"), std::string::npos);

    const std::string ascii = square_header_ascii + "0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
    EXPECT_NE(refusal(ascii + "-1 0 1 2").find("claims -1 items"), std::string::npos);
    EXPECT_NE(refusal(ascii + "2147483647 0 1 2").find("claims 2147483647 items"), std::string::npos);
    EXPECT_NE(refusal(ascii + "3 0 1 -1").find("refers to vertex -1"), std::string::npos);
    EXPECT_NE(refusal(ascii + "3 0 1 1.5").find("unreadable value"), std::string::npos);
    EXPECT_NE(refusal(ascii + "3.0 0 1 2").find("unreadable value"), std::string::npos);
}

// Values that are not numbers, or not finite, are not points.
TEST_F(PlyReading, BadValues)
{
    const std::string ascii = square_header_ascii;
    EXPECT_NE(refusal(ascii + "0 0 0\n1 zero 0\n1 1 0\n0 1 0\n3 0 1 2").find("unreadable value at line 2"),
              std::string::npos);
    EXPECT_NE(refusal(ascii + "0 0 0\n1 nan 0\n1 1 0\n0 1 0\n3 0 1 2").find("vertex 1 has a coordinate"),
              std::string::npos);
    EXPECT_NE(refusal(ascii + "0 0 0\n1 1e999 0\n1 1 0\n0 1 0\n3 0 1 2").find("unreadable value"), std::string::npos);
    EXPECT_NE(refusal(ascii + std::string("0 0 0\n1 0\0 0\n1 1 0\n0 1 0\n3 0 1 2", 32)).find("unreadable value"),
              std::string::npos);
    // A uchar that does not fit in a byte.
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                      "property float z\nproperty uchar red\nend_header\n0 0 0 256\n")
                  .find("unreadable value"),
              std::string::npos);
    std::string binary = "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\n"
                         "property float y\nproperty float z\nend_header\n";
    for (float v : {0.0f, std::numeric_limits<float>::infinity(), 0.0f})
        put(binary, v, false);
    EXPECT_NE(refusal(binary).find("vertex 0 has a coordinate"), std::string::npos);
}

// Headers that are not PLY, or not a PLY we can use.
TEST_F(PlyReading, BadHeaders)
{
    const std::string body = "element vertex 0\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    ply_surface_t out;
    ASSERT_TRUE(read("ply\nformat ascii 1.0\n" + body, out));  // an empty surface is still a file
    EXPECT_NE(refusal("").find("ends inside its header"), std::string::npos);
    EXPECT_NE(refusal("PLY\nformat ascii 1.0\n" + body).find("does not begin with the line \"ply\""),
              std::string::npos);
    EXPECT_NE(refusal("solid cube\n").find("does not begin"), std::string::npos);
    for (const char* format : {"format binary_middle_endian 1.0", "format ascii 2.0", "format ascii",
                               "format ascii 1.0 extra"})
        EXPECT_NE(refusal("ply\n" + std::string(format) + "\n" + body).find("unknown format"), std::string::npos)
            << format;
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nformat ascii 1.0\n" + body).find("unknown format"), std::string::npos);
    EXPECT_NE(refusal("ply\n" + body).find("names no format"), std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nproperty float x\n" + body).find("unusable property"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement vertex 0\nproperty float128 x\nend_header\n")
                  .find("unusable property"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement face 0\nproperty list float int vertex_indices\nend_header\n")
                  .find("unusable property"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nend_header\n").find("no x, y and z"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int vertex_indices\nend_header\n")
                  .find("no vertex element"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\n" + body.substr(0, body.size() - 11) +
                      "element face 0\nproperty list uchar float vertex_indices\nend_header\n")
                  .find("no list of integer vertex indices"),
              std::string::npos);
    EXPECT_NE(refusal("ply\nformat ascii 1.0\nelemental vertex 0\n" + body).find("unknown keyword \"elemental\""),
              std::string::npos);
}

// A header that never ends is refused once it passes the limit, not read to the end.
TEST_F(PlyReading, HugeHeader)
{
    std::string f = "ply\nformat ascii 1.0\n";
    while (f.size() <= ply_header_limit)
        f += "comment " + std::string(100, 'x') + "\n";
    f += "element vertex 0\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    EXPECT_NE(refusal(f).find("header is longer than 65536 bytes"), std::string::npos);
    EXPECT_NE(refusal("ply\n" + std::string(ply_header_limit + 10, 'x')).find("longer than"), std::string::npos);
}

// Our landmark and curve comments must be whole; other comments are left alone.
TEST_F(PlyReading, LandmarkAndCurveComments)
{
    const auto with_comments = [](const std::string& comments) {
        return "ply\nformat ascii 1.0\n" + comments +
               "element vertex 0\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    };
    ply_surface_t out;
    ASSERT_TRUE(read(with_comments("comment LANDMARKS are below\ncomment OPEN_LANDCURVES too\n"
                                   "comment LANDMARK \"\" 1 2 3\n"
                                   "comment OPEN_LANDCURVE \"c\" 1\ncomment 4 5 6\n"),
                     out));
    ASSERT_EQ(out.marks.list.size(), 1u);
    EXPECT_EQ(out.marks.list[0].name, "");
    ASSERT_EQ(out.curves.curves.size(), 1u);
    EXPECT_EQ(out.curves.curves[0].points, (std::vector<vertex3d>{{4, 5, 6}}));

    for (const char* bad : {"comment LANDMARK \"a\tb\" 1 2 3\n", "comment LANDMARK \"a\" 1 2\n",
                            "comment LANDMARK \"a\" 1 2 3 4\n", "comment LANDMARK a 1 2 3\n",
                            "comment LANDMARK \"a 1 2 3\n", "comment LANDMARK \"a\" 1 nan 3\n",
                            "comment LANDMARK \"\xff\" 1 2 3\n", "comment CLOSED_LANDCURVE \"c\" -1\n",
                            "comment CLOSED_LANDCURVE \"c\" 2\ncomment 1 2 3\ncomment 1 2\n"})
        EXPECT_NE(refusal(with_comments(bad)).find("comment"), std::string::npos) << bad;
    EXPECT_NE(refusal(with_comments("comment OPEN_LANDCURVE \"c\" 3\ncomment 1 2 3\n")).find("claims 3 points"),
              std::string::npos);
    EXPECT_NE(refusal(with_comments("comment OPEN_LANDCURVE \"c\" 99999999999999999999\n")).find("Malformed"),
              std::string::npos);
}
