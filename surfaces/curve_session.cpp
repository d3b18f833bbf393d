#include "curve_session.h"

#include <limits>
#include <memory>

#include "common/interaction.h"
#include "common/vertex_math.h"
#include "resources/resource_table.h"
#include "surfaces/mesh_measure.h"
#include "surfaces/surface_curves.h"
#include "surfaces/surface_interp.h"
#include "surfaces/wrl_object.h"

namespace {

curve_set session_curves() { return res->RES_CURVE->value() ? *res->RES_CURVE->value() : curve_set{}; }

// The resource compares pointers: an edit is a new set.
void write_curves(curve_set curves) { res->RES_CURVE->write(std::make_shared<curve_set>(std::move(curves))); }

bool rename_curve(curve_set curves, std::size_t i)
{
    curve_t& c = curves.curves[i];
    const auto name = interaction().ask_text("Surface curve name", "Name the currently selected surface curve:",
                                             c.name, text_kind_t::line);
    if (!name || *name == c.name)
        return false;
    wxString why;
    if (!check_curve_name(curves, c.object, *name, i, &why)) {
        interaction().inform("Surface curve name", why);
        return false;
    }
    c.name = *name;
    write_curves(std::move(curves));
    return true;
}

bool split_along(const curve_t& curve)
{
    if (curve.object < 0 || curve.object >= resource_t::surface_slots)
        return false;
    const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(curve.object)]->value();
    if (!surface || curve.points.empty())
        return false;
    // The sequence the curve lies on: the one nearest its first point.
    const surface_mesh_t* mesh = nullptr;
    std::size_t sequence = 0;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < surface->get_seq().size(); ++k)
        for (const surface_point_t& p : surface->get_seq()[k].mesh.points)
            if (const double d = length(p.position - curve.points.front()); d < nearest) {
                nearest = d;
                mesh = &surface->get_seq()[k].mesh;
                sequence = k;
            }
    const std::optional<mesh_split_t> split = mesh ? split_mesh(*mesh, curve) : std::nullopt;
    if (!split) {
        interaction().inform("Surface curve operation", split_failed_text);
        return false;
    }
    auto patch = std::make_shared<wrl_object>();
    patch->mesh = split->second;
    patch->rest = split->first;
    patch->from_object = curve.object;
    patch->from_sequence = sequence;
    patch->name = curve.name;
    res->RES_WRL_OBJECT->write(patch);
    return true;
}

}  // namespace

std::size_t add_session_curve_point(int object, const vertex3d& p, double close_distance)
{
    curve_set curves = session_curves();
    const std::size_t i = add_curve_point(curves, object, p, close_distance);
    write_curves(std::move(curves));
    return i;
}

bool curve_operation(std::size_t i)
{
    curve_set curves = session_curves();
    if (i >= curves.curves.size())
        return false;
    const auto choice = interaction().ask_choice(
        "Surface curve operation", "What do you want to do with this curve?",
        {"Re-name this curve", "Erase this curve", "Split the surface using this curve"});
    if (!choice)
        return false;
    switch (*choice) {
    case 0: return rename_curve(std::move(curves), i);
    case 1:
        curves.curves.erase(curves.curves.begin() + static_cast<std::ptrdiff_t>(i));
        write_curves(std::move(curves));
        return true;
    case 2: return split_along(curves.curves[i]);
    default: return false;
    }
}

bool patch_operation(int current_object)
{
    const std::shared_ptr<wrl_object> patch = res->RES_WRL_OBJECT->value();  // held: the resource is cleared below
    const auto& objects = res->RES_OBJECT->value();
    if (!patch || !objects || current_object < 0 || current_object >= object_table::size ||
        patch->from_object < 0 || patch->from_object >= object_table::size)
        return false;
    if (current_object == patch->from_object) {
        interaction().inform("Surface re-assignment operation",
                             "This part belongs to " + (*objects)[current_object].name +
                                 " already: choose the object to give it to first.");
        return false;
    }
    const auto choice =
        interaction().ask_choice("Surface re-assignment operation", "What do you want to do with this surface?",
                                 {wxString::Format("Re-assign this surface to %s", (*objects)[current_object].name)});
    if (!choice || *choice != 0)
        return false;
    surface_mesh_t part = patch->mesh, rest = patch->rest;
    close_holes(part);
    close_holes(rest);
    // The object it came from keeps its other sequences too.
    if (const auto& source = res->RES_SURFACE[static_cast<std::size_t>(patch->from_object)]->value()) {
        std::vector<const surface_mesh_t*> whole{&rest};
        for (std::size_t k = 0; k < source->get_seq().size(); ++k)
            if (k != patch->from_sequence)
                whole.push_back(&source->get_seq()[k].mesh);
        if (whole.size() > 1)
            rest = merged_mesh(whole);
    }
    std::shared_ptr<surface_interp> taken = surface_interp::from_mesh(std::move(part), current_object);
    std::shared_ptr<surface_interp> kept = surface_interp::from_mesh(std::move(rest), patch->from_object);
    if (!taken || !kept) {
        interaction().inform("Surface re-assignment operation", "The parts of the surface enclose no volume.");
        return false;
    }
    const int from = patch->from_object;
    res->RES_WRL_OBJECT->write(nullptr);
    res->RES_SURFACE[static_cast<std::size_t>(from)]->write(kept);
    res->RES_SURFACE[static_cast<std::size_t>(current_object)]->write(taken);
    return true;
}

void reattach_session_curves(const std::vector<int>& objects)
{
    if (!res->RES_CURVE->value())
        return;
    curve_set curves = session_curves();
    bool moved = false;
    for (int object : objects) {
        if (object < 0 || object >= resource_t::surface_slots)
            continue;
        const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(object)]->value();
        if (!surface ||
            std::none_of(curves.curves.begin(), curves.curves.end(), [&](const curve_t& c) { return c.object == object; }))
            continue;
        reattach_curves(curves, object, *surface);
        moved = true;
    }
    if (moved)
        write_curves(std::move(curves));
}
