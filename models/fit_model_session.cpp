#include "fit_model_session.h"

#include <cmath>

#include <wx/filename.h>
#include <wx/log.h>

#include "resources/resource_table.h"
#include "surfaces/landmark_measure.h"
#include "surfaces/landmark_session.h"
#include "surfaces/surface_interp.h"

std::shared_ptr<fit_model> fit_model_from_session()
{
    if (!res)
        return nullptr;
    if (!res->RES_FIT_MODEL->value())
        res->RES_FIT_MODEL->write(std::make_shared<fit_model>());
    return res->RES_FIT_MODEL->value();
}

wxString current_shape_model_text()
{
    const std::shared_ptr<fit_model> model = res ? res->RES_FIT_MODEL->value() : nullptr;
    return model && model->loaded() ? wxFileName(model->file_name()).GetFullName() : wxString("none");
}

void shape_model_changed()
{
    if (res)
        res->RES_NEW_SHAPE_MODEL->write();
}

ssm_load_t load_shape_model(const wxString& ply_name)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model)
        return ssm_load_t::ply_failed;
    const ssm_load_t result = model->parse_ply_and_ssm_files(ply_name);
    shape_model_changed();
    return result;
}

std::vector<vertex3d> points_from_outlines(const contour_object& object, const frame_placements& placements)
{
    std::vector<vertex3d> points;
    for (const contour_set& set : object.sets) {
        const frame_placement* where = placements.at(set.frame);
        if (!where || !where->usable)
            continue;
        for (const contour& c : set.contours)
            for (const vertex2d& p : c.points)
                points.push_back(where->image_to_world * vertex3d{p.x * placements.sx, p.y * placements.sy, 0.0});
    }
    return points;
}

std::vector<vertex3d> points_from_mesh(const surface_mesh_t& mesh)
{
    std::vector<vertex3d> points;
    points.reserve(mesh.points.size());
    for (const surface_point_t& p : mesh.points)
        points.push_back(p.position);
    return points;
}

bool points_from_object(int object)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model || object < 0 || object >= object_table::size || !res->RES_OBJECT->value()) {
        wxLogError("First map some points from one of the objects");
        return false;
    }
    std::vector<vertex3d> points;
    if (const std::shared_ptr<surface_interp>& surface = res->RES_SURFACE[static_cast<std::size_t>(object)]->value())
        for (const surface_sequence_t& s : surface->get_seq()) {
            const std::vector<vertex3d> more = points_from_mesh(s.mesh);
            points.insert(points.end(), more.begin(), more.end());
        }
    if (points.empty())
        points = points_from_outlines((*res->RES_OBJECT->value())[object], placements_from_session());
    if (points.empty()) {
        wxLogError("First map some points from one of the objects");
        return false;
    }
    model->set_target_points(std::move(points));
    shape_model_changed();
    return true;
}

namespace {

// The recording's landmarks, those on frames placed in the world through
// their frames (a 2D landmark that cannot be placed is left out).
landmarks placed_session_landmarks()
{
    landmarks marks = landmarks_from_session();
    const frame_geometry_t frames = frame_geometry_from_session();
    std::erase_if(marks.list, [&](landmark_t& m) {
        if (m.kind != LMARK_2D)
            return false;
        const std::optional<vertex3d> at = world_position(m, frames);
        if (!at)
            return true;
        m.position = *at;
        m.kind = LMARK_3D;
        return false;
    });
    return marks;
}

}  // namespace

bool fit_to_session_landmarks()
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model)
        return false;
    const bool ok = model->fit_to_landmarks(placed_session_landmarks());
    if (ok)
        shape_model_changed();
    return ok;
}

std::vector<wxString> missing_session_landmarks()
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    return model ? model->check_for_landmarks(placed_session_landmarks()) : std::vector<wxString>{};
}

bool contours_to_object(int object, int every, int accuracy)
{
    const std::shared_ptr<fit_model> model = fit_model_from_session();
    if (!model || object < 0 || object >= object_table::size || !res->RES_OBJECT->value())
        return false;
    auto table = std::make_shared<object_table>(*res->RES_OBJECT->value());
    if (!model->contours_to_object((*table)[object], placements_from_session(), every, accuracy))
        return false;
    res->RES_OBJECT->write(table);
    return true;
}

wxString search_range_label(double range_mm, double* unit_mm)
{
    int e = 0;
    if (range_mm > 0.0 && std::isfinite(range_mm))
        e = static_cast<int>(std::floor(std::log10(range_mm) + 1e-9));
    if (unit_mm)
        *unit_mm = std::pow(10.0, e);
    switch (e) {
        case -2:
            return "Search range (x0.01 mm)";
        case -1:
            return "Search range (x0.1 mm):";
        case 0:
            return "Search range (mm)";
        case 1:
            return "Search range (x10 mm)";
        case 2:
            return "Search range (x100 mm)";
        default:
            break;
    }
    return e > 0 ? wxString::Format("Search range (x10^%d mm)", e) : wxString::Format("Search range (x10^-%d mm)", -e);
}
