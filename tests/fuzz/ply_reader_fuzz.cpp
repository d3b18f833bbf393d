// libFuzzer harness: any bytes given to the PLY reader are refused or give a
// surface whose triangles index its points, whose points are finite and
// whose colours, if any, belong one to each point.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "surfaces/ply_reader.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool finite(const vertex3d& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    ply_surface_t out;
    if (!read_ply({data, size}, 3, out)) {
        check(out.mesh.points.empty() && out.mesh.triangles.empty() && out.marks.list.empty());
        return 0;
    }
    const surface_mesh_t& m = out.mesh;
    for (const surface_point_t& p : m.points)
        check(finite(p.position) && finite(p.normal));
    for (const surface_triangle_t& t : m.triangles)
        for (std::uint32_t i : t.points)
            check(i < m.points.size());
    check(m.colours.empty() || m.colours.size() == m.points.size());
    for (const landmark_t& l : out.marks.list)
        check(finite(l.position) && l.index == 3 && l.kind == LMARK_SURFACE);
    for (const curve_t& c : out.curves.curves)
        for (const vertex3d& p : c.points)
            check(finite(p));
    return 0;
}
