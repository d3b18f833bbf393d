// libFuzzer harness: any bytes as the .ssm file of a fixed tetrahedron are
// refused with the model left empty, or give a model whose sizes agree with
// the file; such a model, fitted for two iterations, keeps a finite
// registration with a scale above 0.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "models/fit_model.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

surface_mesh_t tetrahedron()
{
    surface_mesh_t m;
    for (const vertex3d& p : {vertex3d{0, 0, 0}, vertex3d{1, 0, 0}, vertex3d{0, 1, 0}, vertex3d{0, 0, 1}}) {
        surface_point_t s;
        s.position = p;
        m.points.push_back(s);
    }
    m.triangles = {{{0, 2, 1}, 2}, {{0, 1, 3}, 2}, {{0, 3, 2}, 2}, {{1, 2, 3}, 2}};
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    static const surface_mesh_t mesh = tetrahedron();
    ssm_t model;
    if (!read_ssm({data, size}, mesh.points.size(), &model)) {
        check(model.mean.empty() && model.eigenvalues.empty() && model.basis.empty());
        return 0;
    }
    check(model.variables == 12 && model.modes >= 2 && model.modes <= 12);
    check(size == ssm_file_size(model.variables, model.modes));
    check(model.basis.size() == 12u * static_cast<std::size_t>(model.modes));
    fit_model f;
    check(f.set_model(mesh, model, {{"Apex", 3}}));
    f.settings.modes = 3;
    f.settings.iterations = 2;
    std::vector<vertex3d> targets;
    for (const surface_point_t& p : mesh.points)
        for (int k = 0; k < 4; ++k)
            targets.push_back({p.position.x + 0.01 * k, p.position.y, p.position.z - 0.02 * k});
    f.set_target_points(targets);
    f.register_model();
    check(std::isfinite(f.scale()) && f.scale() > 0.0);
    for (double v : f.rotation())
        check(std::isfinite(v));
    for (double w : f.weights())
        check(std::isfinite(w));
    for (const surface_point_t& p : f.warped().points)
        check(std::isfinite(p.position.x + p.position.y + p.position.z));
    return 0;
}
