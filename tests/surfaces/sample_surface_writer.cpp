// Writes a known surface as binary PLY for readers outside this program to
// check: a sphere of radius 2 around (1, 2, 3), 66 points and 128 triangles,
// with one landmark comment. Usage: sample_surface_writer FILE
#include <cstdio>

#include <wx/init.h>

#include "test_meshes.h"
#include "surfaces/surface_files.h"

int main(int argc, char** argv)
{
    wxInitializer wx;
    if (argc != 2 || !wx.IsOk()) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    landmarks marks;
    marks.list.push_back({{1, 2, 5}, {}, "Top", LMARK_SURFACE, 0, 0, 0});
    surface_save_t how;
    how.colour = {200, 100, 50};
    how.marks = &marks;
    return save_surface(argv[1], subdivided_sphere(2, 2.0, {1, 2, 3}), how) ? 0 : 1;
}
