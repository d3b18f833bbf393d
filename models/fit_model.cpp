#include "fit_model.h"

#include <algorithm>
#include <cmath>

#include <wx/filename.h>
#include <wx/log.h>

#include "calibration/minpack_drivers.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_geometry.h"

wxString ssm_load_failure_text(ssm_load_t result)
{
    switch (result) {
        case ssm_load_t::ply_failed:
            return "Could not parse ply file\nShape model cleared";
        case ssm_load_t::ssm_failed:
            return "Could not parse ssm file\nShape model cleared";
        case ssm_load_t::ok:
            break;
    }
    return {};
}

ssm_load_t fit_model::parse_ply_and_ssm_files(const wxString& name)
{
    clear();
    const wxFileName file(name);
    if (file.GetExt().Lower() != "ply") {
        wxLogError("Surface file suffix is not .ply");
        return ssm_load_t::ply_failed;
    }
    ply_surface_t ply;
    ply_failure_t failure = ply_failure_t::none;
    if (!read_ply_file(name, 0, ply, &failure)) {
        wxLogError(failure == ply_failure_t::open     ? "Could not open ply file"
                   : failure == ply_failure_t::header ? "Could not parse ply header"
                                                      : "Could not parse body of ply file");
        return ssm_load_t::ply_failed;
    }
    if (ply.mesh.triangles.empty()) {
        wxLogError("Could not parse body of ply file");
        wxLogError("The shape model surface %s has no faces.", name);
        return ssm_load_t::ply_failed;
    }
    std::vector<ssm_landmark_t> marks;
    if (!read_fit_model_landmarks(ply.comments, ply.mesh.points.size(), &marks)) {
        wxLogError("Could not parse ply header");
        return ssm_load_t::ply_failed;
    }
    wxFileName ssm_name(file);
    ssm_name.SetExt("ssm");
    ssm_t model;
    if (!read_ssm_file(ssm_name.GetFullPath(), ply.mesh.points.size(), &model))
        return ssm_load_t::ssm_failed;
    if (!set_model(ply.mesh, model, std::move(marks), name))
        return ssm_load_t::ssm_failed;
    return ssm_load_t::ok;
}

bool fit_model::set_model(const surface_mesh_t& mesh, const ssm_t& model, std::vector<ssm_landmark_t> marks,
                          const wxString& name)
{
    clear();
    const std::size_t n = mesh.points.size();
    const std::size_t v = static_cast<std::size_t>(std::max(model.variables, 0));
    const std::size_t m = static_cast<std::size_t>(std::max(model.modes, 0));
    if (n == 0 || v != 3 * n || m < 2 || m > v || model.mean.size() != v || model.eigenvalues.size() != m ||
        model.basis.size() != v * m) {
        wxLogError("The shape model does not match its surface of %zu vertices.", n);
        return false;
    }
    for (const surface_triangle_t& t : mesh.triangles)
        for (std::uint32_t p : t.points)
            if (p >= n) {
                wxLogError("A triangle of the shape model refers to vertex %u of %zu.", p, n);
                return false;
            }
    for (const ssm_landmark_t& l : marks)
        if (l.vertex >= n) {
            wxLogError("The shape model landmark %s names vertex %u of %zu.", l.name, l.vertex, n);
            return false;
        }
    mean_.assign(model.mean.begin(), model.mean.end());
    eigenvalues_.assign(model.eigenvalues.begin(), model.eigenvalues.end());
    basis_.assign(model.basis.begin(), model.basis.end());
    for (std::size_t k = 0; k < m; ++k)
        if (!(eigenvalues_[k] > 0.0))
            wxLogWarning("Shape model mode %zu has the eigenvalue %g and will not be used.", k + 1, eigenvalues_[k]);
    triangles_ = mesh.triangles;
    landmarks_ = std::move(marks);
    name_ = name;
    ring_start_.assign(n + 1, 0);
    for (const ssm_triangle_t& t : triangles_)
        for (std::uint32_t p : t.points)
            ++ring_start_[p + 1];
    for (std::size_t i = 0; i < n; ++i)
        ring_start_[i + 1] += ring_start_[i];
    ring_.resize(ring_start_[n]);
    std::vector<std::uint32_t> fill(ring_start_.begin(), ring_start_.end() - 1);
    for (std::size_t t = 0; t < triangles_.size(); ++t)
        for (std::uint32_t p : triangles_[t].points)
            ring_[fill[p]++] = static_cast<std::uint32_t>(t);
    double cx = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        cx += mean_[3 * i];
    mirror_x_ = cx / static_cast<double>(n);
    reset_model();
    return true;
}

void fit_model::clear()
{
    const ssm_settings_t kept = settings;  // the page's controls outlive the model
    *this = fit_model{};
    settings = kept;
}

std::vector<int> fit_model::modes_in_use() const
{
    std::vector<int> used;
    if (!(settings.flexibility > 0.0) || !std::isfinite(settings.flexibility))
        return used;
    const int k = std::clamp(settings.modes, 0, mode_count());
    for (int m = 0; m < k; ++m)
        if (eigenvalues_[static_cast<std::size_t>(m)] > 0.0)
            used.push_back(m);
    return used;
}

bool fit_model::set_scaled_registration_matrix(const matrix16d& rigid, double scale)
{
    const rotation_t r = rotation_of(rigid);
    for (double v : rigid.m)
        if (!std::isfinite(v))
            return false;
    // Orthonormal with determinant +1: a mirror is the reflection flag's business.
    const rotation_t rt = multiply(r, {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]});
    const rotation_t one = identity_rotation();
    for (int i = 0; i < 9; ++i)
        if (std::fabs(rt[static_cast<std::size_t>(i)] - one[static_cast<std::size_t>(i)]) > 1e-6)
            return false;
    const double det =
        r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) + r[2] * (r[3] * r[7] - r[4] * r[6]);
    if (det < 0.0 || !(scale > 0.0) || !std::isfinite(scale))
        return false;
    rotation_ = r;
    translation_ = {rigid[12], rigid[13], rigid[14]};
    scale_ = scale;
    update_warped();
    return true;
}

void fit_model::reflect_registration_matrix()
{
    reflected_ = !reflected_;
    update_warped();
}

bool fit_model::set_weights(const std::vector<double>& weights)
{
    if (weights.size() != eigenvalues_.size())
        return false;
    for (double w : weights)
        if (!std::isfinite(w))
            return false;
    weights_ = weights;
    update_warped();
    return true;
}

void fit_model::reset_model()
{
    rotation_ = identity_rotation();
    translation_ = {};
    scale_ = 1.0;
    reflected_ = false;
    weights_.assign(eigenvalues_.size(), 0.0);
    update_warped();
}

void fit_model::reset_nonrigid()
{
    weights_.assign(eigenvalues_.size(), 0.0);
    update_warped();
}

void fit_model::restore(const state_t& s)
{
    rotation_ = s.rotation;
    translation_ = s.translation;
    scale_ = s.scale;
    reflected_ = s.reflected;
    weights_ = s.weights;
    update_warped();
}

void fit_model::set_target_points(std::vector<vertex3d> points)
{
    std::erase_if(points, [](const vertex3d& p) { return !std::isfinite(p.x + p.y + p.z); });
    targets_ = std::move(points);
    matches_.clear();
}

vertex3d fit_model::shape_vertex(std::size_t i) const
{
    const std::size_t modes = eigenvalues_.size();
    double c[3];
    for (std::size_t a = 0; a < 3; ++a) {
        const std::size_t var = 3 * i + a;
        double v = mean_[var];
        const double* row = basis_.data() + var * modes;
        for (std::size_t m = 0; m < modes; ++m)
            if (weights_[m] != 0.0)
                v += weights_[m] * row[m];
        c[a] = v;
    }
    if (reflected_)
        c[0] = 2.0 * mirror_x_ - c[0];
    return {c[0], c[1], c[2]};
}

vertex3d fit_model::place(const vertex3d& v) const
{
    const vertex3d r = rotate(rotation_, v);
    return {scale_ * r.x + translation_.x, scale_ * r.y + translation_.y, scale_ * r.z + translation_.z};
}

void fit_model::update_warped()
{
    const std::size_t n = vertex_count();
    warped_.points.assign(n, {});
    warped_.colours.clear();
    warped_.triangles = triangles_;
    if (reflected_)
        for (surface_triangle_t& t : warped_.triangles)
            std::swap(t.points[1], t.points[2]);
    for (std::size_t i = 0; i < n; ++i) {
        warped_.points[i].position = place(shape_vertex(i));
        warped_.points[i].kind = SURF_POINT_FIXED;
    }
    for (const surface_triangle_t& t : warped_.triangles) {
        const vertex3d& a = warped_.points[t.points[0]].position;
        const vertex3d& b = warped_.points[t.points[1]].position;
        const vertex3d& c = warped_.points[t.points[2]].position;
        const vertex3d normal = cross(sub(b, a), sub(c, a));  // area-weighted
        for (std::uint32_t p : t.points)
            warped_.points[p].normal = add(warped_.points[p].normal, normal);
    }
    for (surface_point_t& p : warped_.points) {
        const double l = length(p.normal);
        p.normal = l > 0.0 ? mul(p.normal, 1.0 / l) : vertex3d{};
    }
}

bool fit_model::initialize_from_points()
{
    if (!loaded() || targets_.empty())
        return false;
    const auto centre_and_radius = [](const auto& points, auto at, vertex3d* c, double* r) {
        *c = {};
        for (const auto& p : points)
            *c = add(*c, at(p));
        *c = mul(*c, 1.0 / static_cast<double>(points.size()));
        double sum = 0.0;
        for (const auto& p : points) {
            const vertex3d d = sub(at(p), *c);
            sum += dot(d, d);
        }
        *r = std::sqrt(sum / static_cast<double>(points.size()));
    };
    vertex3d model_centre, target_centre;
    double model_radius = 0.0, target_radius = 0.0;
    centre_and_radius(
        warped_.points, [](const surface_point_t& p) { return p.position; }, &model_centre, &model_radius);
    centre_and_radius(
        targets_, [](const vertex3d& p) { return p; }, &target_centre, &target_radius);
    if (!(model_radius > 0.0) || !(target_radius > 0.0))
        return false;
    const double grow = target_radius / model_radius;
    // Scaling about the model's centre, then moving that centre onto the targets'.
    scale_ *= grow;
    translation_ = add(sub(mul(translation_, grow), mul(model_centre, grow)), target_centre);
    update_warped();
    return true;
}

std::vector<wxString> fit_model::check_for_landmarks(const landmarks& marks) const
{
    std::vector<wxString> missing;
    for (const ssm_landmark_t& l : landmarks_) {
        const bool found = std::any_of(marks.list.begin(), marks.list.end(),
                                       [&](const landmark_t& m) { return m.name == l.name && m.kind != LMARK_2D; });
        if (!found)
            missing.push_back(l.name);
    }
    if (!missing.empty()) {
        wxString text = "First place a landmark on:\n";
        for (const wxString& name : missing)
            text += name + "\n";
        wxLogError("%s", text);
    }
    return missing;
}

bool fit_model::fit_to_landmarks(const landmarks& marks)
{
    if (!loaded()) {
        wxLogError("First load a shape model\n");
        return false;
    }
    std::vector<vertex3d> model, target;
    for (const ssm_landmark_t& l : landmarks_)
        for (const landmark_t& m : marks.list)
            if (m.name == l.name && m.kind != LMARK_2D && std::isfinite(m.position.x + m.position.y + m.position.z)) {
                model.push_back(shape_vertex(l.vertex));
                target.push_back(m.position);
                break;
            }
    if (model.size() < 3) {
        check_for_landmarks(marks);
        wxLogError("A landmark registration needs at least three of the model's landmarks; %zu were found.",
                   model.size());
        return false;
    }
    rotation_t r;
    double s = 1.0;
    vertex3d t;
    if (!spans_plane(model) || !spans_plane(target) || !best_similarity(model, target, &r, &s, &t)) {
        wxLogError("The matched landmarks lie in a line (or on one point): they cannot fix the model's rotation.");
        return false;
    }
    // ssm_error_fit_sim_lm: the closed form is the least-squares optimum in
    // exact arithmetic; the solver polishes it and stands guard over its sanity.
    const std::size_t count = model.size();
    const auto place_with = [&](const double* x, const vertex3d& v, rotation_t* rr, double* ss, vertex3d* tt) {
        *rr = multiply(rotation_from_vector({x[0], x[1], x[2]}), r);
        *ss = s * std::exp(x[6]);
        *tt = add(t, {x[3], x[4], x[5]});
        const vertex3d q = rotate(*rr, v);
        return add(mul(q, *ss), *tt);
    };
    const lmdif_function ssm_error_fit_sim_lm = [&](int, int, const double* x, double* f, int) {
        rotation_t rr;
        double ss;
        vertex3d tt;
        for (std::size_t k = 0; k < count; ++k) {
            const vertex3d p = place_with(x, model[k], &rr, &ss, &tt);
            f[3 * k] = p.x - target[k].x;
            f[3 * k + 1] = p.y - target[k].y;
            f[3 * k + 2] = p.z - target[k].z;
        }
        return 0;
    };
    std::vector<double> x(7, 0.0), f(3 * count);
    const int info = ks_lmdif(ssm_error_fit_sim_lm, static_cast<int>(3 * count), 7, x, f, 1e-10);
    rotation_t rr = r;
    double ss = s;
    vertex3d tt = t;
    if (info >= 1 && info <= 5)
        place_with(x.data(), {}, &rr, &ss, &tt);
    if (!(ss > 0.0) || !std::isfinite(ss + tt.x + tt.y + tt.z)) {
        wxLogError("The landmark registration did not give a usable transform; the registration is unchanged.");
        return false;
    }
    rotation_ = rr;
    scale_ = ss;
    translation_ = tt;
    update_warped();
    return true;
}

bool fit_model::contours_to_object(contour_object& object, const frame_placements& placements, int every,
                                   int accuracy) const
{
    if (!loaded()) {
        wxLogError("First load a shape model\n");
        return false;
    }
    if (every < 1 || accuracy < 1) {
        wxLogError("Contours need \"Every\" of at least 1 frame and an accuracy of at least 1 (0.1 pixels).");
        return false;
    }
    if (!placements.scales_usable())
        return false;
    contour_object result = object;
    for (std::size_t f = 0; f < placements.frames.size(); f += static_cast<std::size_t>(every)) {
        const frame_placement& where = placements.frames[f];
        if (!where.usable)
            continue;
        const std::int32_t frame = static_cast<std::int32_t>(f);
        if (contour_set* old = result.find_set(frame))
            old->contours.clear(), old->area = -1.0;
        for (contour& c : cut_mesh(warped_, plane_of(where.image_to_world, placements.sx, placements.sy))) {
            if (!c.closed || c.points.size() < 3)
                continue;
            c.simplify(accuracy / 10.0);
            for (vertex2d& p : c.points)
                p = {to_file_grid(p.x), to_file_grid(p.y)};
            if (c.points.size() >= 3)
                result.insert(frame, std::move(c));
        }
    }
    result.remove_empty_sets();
    object = std::move(result);
    return true;
}

bool fit_model::save_surface(const wxString& path, bool vrml2) const
{
    const std::optional<surface_format_t> format = surface_format_for(path, vrml2);
    if (!loaded() || !format ||
        (*format != surface_format_t::ply && *format != surface_format_t::vrml1 &&
         *format != surface_format_t::vrml2)) {
        wxLogError("Error opening surface file for writing\n");
        return false;
    }
    // The fitted landmarks go with the surface, where the 3D view and the
    // landmark pages find them, and so do the model's own landmark comments.
    landmarks marks;
    std::vector<std::string> extra;
    for (const ssm_landmark_t& l : landmarks_) {
        landmark_t m;
        m.name = l.name;
        m.kind = LMARK_SURFACE;
        m.position = warped_.points[l.vertex].position;
        m.normal = warped_.points[l.vertex].normal;
        marks.list.push_back(m);
        extra.push_back(fit_model_landmark_comment(l));
    }
    surface_save_t how;
    how.format = *format;
    how.colour = {230, 204, 166};
    how.marks = &marks;
    how.extra_comments = &extra;
    if (!::save_surface(path, warped_, how)) {
        wxLogError("Error opening surface file for writing\n");
        return false;
    }
    return true;
}
