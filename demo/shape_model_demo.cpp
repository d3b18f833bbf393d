#include "shape_model_demo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include <wx/filename.h>
#include <wx/log.h>

#include "demo/demo_recording.h"
#include "resources/safe_file.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_geometry.h"

namespace {

vertex3d normalise(const vertex3d& v)
{
    return mul(v, 1.0 / length(v));
}

// The blob's radius along unit direction u: an ellipsoid with two bumps, so
// that no turn or mirror maps it onto itself.
vertex3d blob_point(const vertex3d& u)
{
    const double a = 2.0, b = 1.4, c = 1.0;
    const double inv = 1.0 / std::sqrt(u.x * u.x / (a * a) + u.y * u.y / (b * b) + u.z * u.z / (c * c));
    const vertex3d bump1 = normalise({1.0, 1.0, 1.0}), bump2 = normalise({-1.0, 0.2, -0.5});
    const double d1 = 1.0 - dot(u, bump1), d2 = 1.0 - dot(u, bump2);
    const double r = inv * (1.0 + 0.25 * std::exp(-d1 / 0.08) + 0.12 * std::exp(-d2 / 0.05));
    return mul(u, r);
}

void compute_normals(surface_mesh_t& mesh)
{
    for (surface_point_t& p : mesh.points)
        p.normal = {};
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d& a = mesh.points[t.points[0]].position;
        const vertex3d n = cross(sub(mesh.points[t.points[1]].position, a), sub(mesh.points[t.points[2]].position, a));
        for (std::uint32_t i : t.points)
            mesh.points[i].normal = add(mesh.points[i].normal, n);
    }
    for (surface_point_t& p : mesh.points)
        if (length(p.normal) > 0.0)
            p.normal = normalise(p.normal);
}

// Rings of latitude between two poles; triangles anticlockwise seen from outside.
surface_mesh_t blob_mesh(int vertices, std::vector<vertex3d>* directions)
{
    const int rings = std::max(2, static_cast<int>(std::lround(std::sqrt((vertices - 2) / 2.0))));
    const int around = std::max(3, static_cast<int>(std::lround(double(vertices - 2) / rings)));
    surface_mesh_t mesh;
    const auto put = [&](const vertex3d& u) {
        directions->push_back(u);
        surface_point_t p;
        p.position = blob_point(u);
        mesh.points.push_back(p);
    };
    put({0, 0, 1});
    for (int i = 1; i <= rings; ++i) {
        const double theta = std::numbers::pi * i / (rings + 1);
        for (int j = 0; j < around; ++j) {
            // Alternate rings turned half a step: fewer slivers.
            const double phi = 2.0 * std::numbers::pi * (j + 0.5 * (i % 2)) / around;
            put({std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)});
        }
    }
    put({0, 0, -1});
    const auto at = [&](int ring, int j) { return static_cast<std::uint32_t>(1 + (ring - 1) * around + (j % around)); };
    const std::uint32_t south = static_cast<std::uint32_t>(mesh.points.size() - 1);
    for (int j = 0; j < around; ++j)
        mesh.triangles.push_back({{0, at(1, j), at(1, j + 1)}, 2});
    for (int i = 1; i < rings; ++i)
        for (int j = 0; j < around; ++j) {
            // Odd rings sit half a step ahead of the even ring below them.
            if (i % 2) {
                mesh.triangles.push_back({{at(i, j), at(i + 1, j), at(i + 1, j + 1)}, 2});
                mesh.triangles.push_back({{at(i, j), at(i + 1, j + 1), at(i, j + 1)}, 2});
            } else {
                mesh.triangles.push_back({{at(i, j), at(i + 1, j), at(i, j + 1)}, 2});
                mesh.triangles.push_back({{at(i, j + 1), at(i + 1, j), at(i + 1, j + 1)}, 2});
            }
        }
    for (int j = 0; j < around; ++j)
        mesh.triangles.push_back({{south, at(rings, j + 1), at(rings, j)}, 2});
    // Whichever way the rings wound, the triangles must face out: a positive volume.
    double volume = 0.0;
    for (const surface_triangle_t& t : mesh.triangles)
        volume += dot(mesh.points[t.points[0]].position,
                      cross(mesh.points[t.points[1]].position, mesh.points[t.points[2]].position));
    if (volume < 0.0)
        for (surface_triangle_t& t : mesh.triangles)
            std::swap(t.points[1], t.points[2]);
    compute_normals(mesh);
    return mesh;
}

double monomial(const vertex3d& u, int a, int b, int c)
{
    return std::pow(u.x, a) * std::pow(u.y, b) * std::pow(u.z, c);
}

void remove_along(std::vector<double>& v, const std::vector<double>& unit)
{
    double d = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i)
        d += v[i] * unit[i];
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] -= d * unit[i];
}

bool make_unit(std::vector<double>& v)
{
    double n = 0.0;
    for (double x : v)
        n += x * x;
    n = std::sqrt(n);
    if (!(n > 1e-6))
        return false;
    for (double& x : v)
        x /= n;
    return true;
}

}  // namespace

shape_model_demo_t make_shape_model_demo(int vertices, int modes)
{
    modes = std::clamp(modes, 2, 31);
    shape_model_demo_t demo;
    std::vector<vertex3d> dirs;
    demo.mesh = blob_mesh(std::max(vertices, 8), &dirs);
    const std::size_t n = demo.mesh.points.size(), v = 3 * n;
    vertex3d centre;
    for (const surface_point_t& p : demo.mesh.points)
        centre = add(centre, p.position);
    centre = mul(centre, 1.0 / static_cast<double>(n));

    // Modes move the surface along its normals only (sliding along it changes
    // no shape), and no mode may mimic what moving, turning or scaling do to
    // the surface along the normals: those fields come first in the basis
    // below and the modes are made orthogonal to them.
    std::vector<std::vector<double>> basis;
    for (int g = 0; g < 7; ++g) {
        std::vector<double> field(n);
        for (std::size_t i = 0; i < n; ++i) {
            const vertex3d r = sub(demo.mesh.points[i].position, centre);
            vertex3d d;
            if (g < 3)
                d = {g == 0 ? 1.0 : 0.0, g == 1 ? 1.0 : 0.0, g == 2 ? 1.0 : 0.0};
            else if (g < 6)
                d = cross({g == 3 ? 1.0 : 0.0, g == 4 ? 1.0 : 0.0, g == 5 ? 1.0 : 0.0}, r);
            else
                d = r;
            field[i] = dot(d, demo.mesh.points[i].normal);
        }
        for (const std::vector<double>& b : basis)
            remove_along(field, b);
        if (make_unit(field))
            basis.push_back(std::move(field));
    }
    const std::size_t similarity = basis.size();
    // Bulges by monomials of the direction, of growing degree.
    std::vector<std::array<int, 3>> powers;
    for (int degree = 2; degree <= 4; ++degree)
        for (int a = degree; a >= 0; --a)
            for (int b = degree - a; b >= 0; --b)
                powers.push_back({a, b, degree - a - b});
    for (const std::array<int, 3>& p : powers) {
        if (basis.size() - similarity == static_cast<std::size_t>(modes))
            break;
        std::vector<double> field(n);
        for (std::size_t i = 0; i < n; ++i)
            field[i] = monomial(dirs[i], p[0], p[1], p[2]);
        for (int pass = 0; pass < 2; ++pass)  // twice, for orthogonality to rounding
            for (const std::vector<double>& b : basis)
                remove_along(field, b);
        // What is left of a field that is nearly a combination of those before
        // it (RMS under 0.001 per vertex) would be rounding, not a mode.
        double left = 0.0;
        for (double x : field)
            left += x * x;
        if (left > 1e-6 * static_cast<double>(n) && make_unit(field))
            basis.push_back(std::move(field));
    }
    const std::size_t m = basis.size() - similarity;
    ssm_t& model = demo.model;
    model.variables = static_cast<std::int32_t>(v);
    model.modes = static_cast<std::int32_t>(m);
    model.mean.resize(v);
    for (std::size_t i = 0; i < n; ++i) {
        const vertex3d& p = demo.mesh.points[i].position;
        model.mean[3 * i] = static_cast<float>(p.x);
        model.mean[3 * i + 1] = static_cast<float>(p.y);
        model.mean[3 * i + 2] = static_cast<float>(p.z);
        demo.mesh.points[i].position = {model.mean[3 * i], model.mean[3 * i + 1], model.mean[3 * i + 2]};
    }
    model.eigenvalues.resize(m);
    model.basis.resize(v * m);
    for (std::size_t k = 0; k < m; ++k) {
        // One standard deviation moves a vertex by 1.2 mm RMS in the first mode, less in later ones.
        const double spread = 0.12 / (1.0 + 0.5 * static_cast<double>(k)) * std::sqrt(static_cast<double>(n));
        model.eigenvalues[k] = static_cast<float>(spread * spread);
        for (std::size_t i = 0; i < n; ++i) {
            const double amount = basis[similarity + k][i];
            const vertex3d& normal = demo.mesh.points[i].normal;
            model.basis[(3 * i) * m + k] = static_cast<float>(amount * normal.x);
            model.basis[(3 * i + 1) * m + k] = static_cast<float>(amount * normal.y);
            model.basis[(3 * i + 2) * m + k] = static_cast<float>(amount * normal.z);
        }
    }
    // The extremes along the axes, named.
    const char* names[6] = {"Front tip", "Back tip", "Left side", "Right side", "Top", "Bottom"};
    for (int axis = 0; axis < 6; ++axis) {
        std::size_t best = 0;
        double best_value = -1e300;
        for (std::size_t i = 0; i < n; ++i) {
            const vertex3d& p = demo.mesh.points[i].position;
            const double value = (axis % 2 ? -1.0 : 1.0) * (axis < 2 ? p.x : axis < 4 ? p.y : p.z);
            if (value > best_value)
                best_value = value, best = i;
        }
        demo.marks.push_back({names[axis], static_cast<std::uint32_t>(best)});
    }
    return demo;
}

shape_instance_t make_shape_instance(const shape_model_demo_t& demo, const shape_instance_options_t& how)
{
    shape_instance_t out;
    const ssm_t& model = demo.model;
    const std::size_t n = demo.mesh.points.size(), m = static_cast<std::size_t>(model.modes);
    out.weights.assign(m, 0.0);
    for (std::size_t k = 0; k < m && k < how.weights_sd.size(); ++k)
        out.weights[k] = how.weights_sd[k] * std::sqrt(static_cast<double>(model.eigenvalues[k]));
    out.scale = how.scale;
    out.translation = how.translation;
    out.rotation = rotation_from_vector(mul(normalise(how.axis), how.angle_degrees * std::numbers::pi / 180.0));
    double mirror_x = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        mirror_x += model.mean[3 * i];
    mirror_x /= static_cast<double>(n);

    out.truth = demo.mesh;
    for (std::size_t i = 0; i < n; ++i) {
        double c[3];
        for (std::size_t a = 0; a < 3; ++a) {
            c[a] = model.mean[3 * i + a];
            for (std::size_t k = 0; k < m; ++k)
                c[a] += out.weights[k] * model.component(3 * i + a, k);
        }
        if (how.mirrored)
            c[0] = 2.0 * mirror_x - c[0];
        out.truth.points[i].position = add(mul(rotate(out.rotation, {c[0], c[1], c[2]}), how.scale), how.translation);
    }
    if (how.mirrored)
        for (surface_triangle_t& t : out.truth.triangles)
            std::swap(t.points[1], t.points[2]);
    compute_normals(out.truth);

    // Seen from one side: the share `coverage` of the vertices farthest along a direction.
    const vertex3d look = rotate(out.rotation, normalise({0.3, -0.5, 0.8}));
    std::vector<double> along(n);
    for (std::size_t i = 0; i < n; ++i)
        along[i] = dot(out.truth.points[i].position, look);
    std::vector<double> sorted = along;
    std::sort(sorted.begin(), sorted.end());
    const double keep = std::clamp(how.coverage, 0.0, 1.0);
    const std::size_t cut = std::min(n - 1, static_cast<std::size_t>((1.0 - keep) * static_cast<double>(n)));
    const double threshold = keep >= 1.0 ? -1e300 : sorted[cut];
    std::mt19937 random(how.seed);
    std::normal_distribution<double> noise(0.0, how.noise > 0.0 ? how.noise : 1.0);
    const auto jitter = [&](const vertex3d& p) {
        return how.noise > 0.0 ? vertex3d{p.x + noise(random), p.y + noise(random), p.z + noise(random)} : p;
    };
    std::vector<std::int64_t> index(n, -1);
    for (std::size_t i = 0; i < n; ++i)
        if (along[i] >= threshold) {
            index[i] = static_cast<std::int64_t>(out.mesh.points.size());
            surface_point_t p = out.truth.points[i];
            p.position = jitter(p.position);
            out.mesh.points.push_back(p);
        }
    for (const surface_triangle_t& t : out.truth.triangles)
        if (index[t.points[0]] >= 0 && index[t.points[1]] >= 0 && index[t.points[2]] >= 0)
            out.mesh.triangles.push_back(
                {{static_cast<std::uint32_t>(index[t.points[0]]), static_cast<std::uint32_t>(index[t.points[1]]),
                  static_cast<std::uint32_t>(index[t.points[2]])},
                 2});
    // Gross outliers: seen points pushed 3 to 8 mm out along their normals.
    const std::size_t seen = out.mesh.points.size();
    const std::size_t extra = static_cast<std::size_t>(std::lround(how.outliers * static_cast<double>(seen)));
    std::uniform_int_distribution<std::size_t> pick(0, seen - 1);
    std::uniform_real_distribution<double> push(0.3, 0.8);
    for (std::size_t k = 0; k < extra && seen > 0; ++k) {
        surface_point_t p = out.mesh.points[pick(random)];
        p.position = add(p.position, mul(p.normal, push(random)));
        out.mesh.points.push_back(p);
    }
    for (const ssm_landmark_t& l : demo.marks) {
        landmark_t mark;
        mark.name = l.name;
        mark.kind = LMARK_SURFACE;
        mark.index = 0;
        mark.position = jitter(out.truth.points[l.vertex].position);
        mark.normal = out.truth.points[l.vertex].normal;
        out.marks.list.push_back(mark);
    }
    return out;
}

bool write_shape_model_demo(const wxString& dir, const shape_model_demo_t& demo, const shape_instance_options_t& how)
{
    if (!make_demo_folder(dir))
        return false;
    const wxString model_ply = wxFileName(dir, shape_model_demo_name).GetFullPath();
    wxFileName ssm(model_ply);
    ssm.SetExt("ssm");
    std::vector<std::string> comments;
    for (const ssm_landmark_t& l : demo.marks)
        comments.push_back(fit_model_landmark_comment(l));
    surface_save_t model_how;
    model_how.colour = {230, 204, 166};
    model_how.extra_comments = &comments;
    if (!save_surface(model_ply, demo.mesh, model_how) || !write_ssm_file(ssm.GetFullPath(), demo.model))
        return false;
    const shape_instance_t instance = make_shape_instance(demo, how);
    surface_save_t instance_how;
    instance_how.colour = {200, 120, 120};
    instance_how.marks = &instance.marks;
    if (!save_surface(wxFileName(dir, shape_instance_demo_name).GetFullPath(), instance.mesh, instance_how))
        return false;
    std::string text = "# The instance: world = scale * rotation * (mirrored) shape + translation, cm\n";
    char line[256];
    const rotation_t& r = instance.rotation;
    std::snprintf(line, sizeof line, "rotation %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f\n", r[0], r[1], r[2], r[3],
                  r[4], r[5], r[6], r[7], r[8]);
    text += line;
    std::snprintf(line, sizeof line, "angle %.6f\nscale %.9f\ntranslation %.9f %.9f %.9f\nmirrored %d\n",
                  rotation_angle_degrees(r), instance.scale, instance.translation.x, instance.translation.y,
                  instance.translation.z, how.mirrored ? 1 : 0);
    text += line;
    text += "weights";
    for (double w : instance.weights) {
        std::snprintf(line, sizeof line, " %.9f", w);
        text += line;
    }
    text += "\n";
    safe_file_t truth(wxFileName(dir, shape_truth_demo_name).GetFullPath());
    if (!truth.write(text.data(), text.size()) || !truth.finish() || !truth.commit()) {
        wxLogError("Could not write %s: %s", truth.target(), truth.error_text());
        return false;
    }
    return true;
}
