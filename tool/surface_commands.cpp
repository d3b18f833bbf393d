#include "surface_commands.h"

#include <cstdio>

#include <wx/filename.h>

#include "common/interaction.h"
#include "resources/recording_data.h"
#include "resources/recording_file.h"
#include "reconstruction/reslice_frames.h"
#include "surfaces/mesh_measure.h"
#include "surfaces/surface_colour.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_interp.h"
#include "surfaces/surface_session.h"
#include "tool_session.h"

namespace {


int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool surface FILE.ks OUT.ply|OUT.wrl|OUT.stl|OUT.obj [--resolution R] [--strength N] [--object K] "
                 "[--vrml2] [--compound-depth N [--compounding max|min|avg]]\n"
                 "  --resolution  uber-low, super-low, very-low, low, medium (default), high or very-high\n"
                 "  --strength    smoothing strength (0, the default, leaves the surface unsmoothed)\n"
                 "  --object      only this object (0 to 199); otherwise every object with outlines\n"
                 "  --vrml2       VRML 2.0 rather than VRML 1.0 for a .wrl name\n"
                 "  --compound-depth N  colour each surface with the recorded data within N pixels along its\n"
                 "                normals (grey levels; --compounding max, the default, min or avg)\n"
                 "One file per object: OUT.ply becomes OUT0.ply, OUT3.ply, ... by object number.\n"
                 "PLY and VRML are in centimetres; STL and OBJ in millimetres, for other programs.\n");
    return 2;
}

}  // namespace

bool surface_resolution_option(const wxString& name, int* selection)
{
    static const char* const options[] = {"uber-low", "super-low", "very-low", "low", "medium", "high", "very-high"};
    for (int r = 0; r < 7; ++r)
        if (name == options[r]) {
            *selection = r;
            return true;
        }
    return false;
}

int run_surface(const std::vector<wxString>& args)
{
    if (args.size() < 2)
        return usage();
    int resolution = 4;  // Medium
    long strength = 0, only = -1;
    bool vrml2 = false;
    long compound_depth = -1;
    surface_colouring_t how;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        bool ok = true;
        if (args[i] == "--vrml2") {
            vrml2 = true;
            continue;
        }
        if (args[i] == "--resolution" && has_value) {
            ok = surface_resolution_option(args[i + 1], &resolution);
        } else if (args[i] == "--strength" && has_value) {
            ok = args[i + 1].ToLong(&strength) && strength >= 0 && strength <= 100;
        } else if (args[i] == "--compound-depth" && has_value) {
            ok = args[i + 1].ToLong(&compound_depth) && compound_depth >= 0 && compound_depth <= 50;
        } else if (args[i] == "--compounding" && has_value) {
            const wxString t = args[i + 1];
            ok = t == "max" || t == "min" || t == "avg";
            how.type = t == "min" ? reslice_compounding_t::minimum
                                  : t == "avg" ? reslice_compounding_t::average : reslice_compounding_t::maximum;
        } else if (args[i] == "--object" && has_value) {
            ok = args[i + 1].ToLong(&only) && only >= 0 && only < object_table::size;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool surface: bad option '%s'.\n", args[i].utf8_str().data());
            return usage();
        }
        ++i;
    }
    const wxFileName out(args[1]);
    const std::optional<surface_format_t> format = surface_format_for(args[1], vrml2);
    if (!format) {
        std::fprintf(stderr, "kestrane-tool surface: the output must end in .ply, .wrl, .stl or .obj.\n");
        return 2;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const surface_update_t done =
        update_surfaces(surface_settings_from_session(surface_resolution_step(resolution), 0, int(strength)), int(only));
    const std::shared_ptr<object_table>& objects = res->RES_OBJECT->value();
    for (int i : done.failed)
        std::fprintf(stderr, "kestrane-tool surface: no surface for object %d (%s).\n", i,
                     (*objects)[i].name.utf8_str().data());
    const reslice_source frames = compound_depth >= 0 ? source_from_session() : reslice_source{};
    const landmarks* marks = res->RES_LANDMARKS->value().get();
    const curve_set* curves = res->RES_CURVE->value().get();
    int built = 0, failed = static_cast<int>(done.failed.size());
    for (int i : done.built) {
        const contour_object& o = (*objects)[i];
        std::shared_ptr<surface_interp> surface = res->RES_SURFACE[static_cast<std::size_t>(i)]->value();
        if (compound_depth >= 0) {
            how.depth_pixels = static_cast<int>(compound_depth);
            if (!surface->colour_with_data(frames, how, nullptr))
                std::fprintf(stderr, "kestrane-tool surface: no recorded data along the surface of object %d.\n", i);
        }
        std::vector<const surface_mesh_t*> meshes;
        for (const surface_sequence_t& s : surface->get_seq())
            meshes.push_back(&s.mesh);
        const surface_mesh_t mesh = merged_mesh(meshes);
        surface_save_t how;
        how.format = *format;
        how.colour = o.colour;
        how.opacity = o.opacity;
        how.object = i;
        how.marks = marks;
        how.curves = curves;
        wxFileName target(out);
        target.SetName(out.GetName() + wxString::Format("%d", i));
        if (!save_surface(target.GetFullPath(), mesh, how)) {
            ++failed;
            continue;
        }
        ++built;
        std::printf("%d\t%s\t%.3f ml\t%.1f sq mm\tcentre (%.1f, %.1f, %.1f) mm\t%zu points\t%zu triangles\t%s\n", i,
                    o.name.utf8_str().data(), surface->volume, 100.0 * surface_area(mesh), 10.0 * surface->centre.x,
                    10.0 * surface->centre.y, 10.0 * surface->centre.z, mesh.points.size(), mesh.triangles.size(),
                    target.GetFullPath().utf8_str().data());
    }
    if (built == 0 && failed == 0)
        std::printf("No object has outlines.\n");
    return failed > 0 ? 1 : 0;
}
