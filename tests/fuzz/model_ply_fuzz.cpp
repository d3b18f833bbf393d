// libFuzzer harness: any bytes as a shape model's PLY surface, loaded as the
// model page loads it (the reader, then the FIT_MODEL_LM landmarks, then a
// model of matching size): refused, or a model whose triangles and
// landmarks index its vertices and whose warped surface is finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "models/fit_model.h"
#include "surfaces/ply_reader.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    ply_surface_t ply;
    ply_failure_t failure = ply_failure_t::none;
    if (!read_ply({data, size}, 0, ply, &failure)) {
        check(failure == ply_failure_t::header || failure == ply_failure_t::body);
        return 0;
    }
    check(failure == ply_failure_t::none);
    std::vector<ssm_landmark_t> marks;
    if (!read_fit_model_landmarks(ply.comments, ply.mesh.points.size(), &marks)) {
        check(marks.empty());
        return 0;
    }
    for (const ssm_landmark_t& m : marks)
        check(m.vertex < ply.mesh.points.size() && !m.name.empty());
    const std::size_t n = ply.mesh.points.size();
    if (n == 0 || n > 100000)
        return 0;
    // Two modes: one moving every vertex along x, one with eigenvalue 0 (never used).
    ssm_t model;
    model.variables = static_cast<std::int32_t>(3 * n);
    model.modes = 2;
    for (const surface_point_t& p : ply.mesh.points)
        for (double c : {p.position.x, p.position.y, p.position.z})
            model.mean.push_back(static_cast<float>(c));
    model.eigenvalues = {1.0f, 0.0f};
    for (std::size_t i = 0; i < 3 * n; ++i) {
        model.basis.push_back(i % 3 == 0 ? 1.0f / static_cast<float>(std::sqrt(double(n))) : 0.0f);
        model.basis.push_back(0.0f);
    }
    fit_model f;
    if (!f.set_model(ply.mesh, model, marks)) {
        check(!f.loaded());
        return 0;
    }
    check(f.warped().points.size() == n);
    for (const surface_triangle_t& t : f.warped().triangles)
        for (std::uint32_t i : t.points)
            check(i < n);
    for (const surface_point_t& p : f.warped().points)
        check(std::isfinite(p.normal.x + p.normal.y + p.normal.z));
    return 0;
}
