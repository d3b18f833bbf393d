#include "view_script_functions.h"

#include <array>
#include <cmath>
#include <memory>
#include <utility>

#include "common/dynabuf.h"
#include "common/vertex_math.h"
#include "display/code_pictures.h"
#include "display/view3d_camera.h"
#include "display/view_limits.h"
#include "reslice_turns.h"
#include "reslice_windows.h"
#include "resources/image_file.h"
#include "resources/resource_table.h"
#include "script/script_arguments.h"
#include "script/script_functions.h"

namespace {

using args_t = std::vector<wxString>;
constexpr double cm_per_mm = 0.1;

script_result_t fail(const wxString& why)
{
    return {false, why};
}

// Every argument as a number, or why not.
bool numbers(const args_t& args, std::vector<double>* out, wxString* why)
{
    out->clear();
    for (const wxString& a : args) {
        double v = 0.0;
        if (!script_number(a, &v)) {
            *why = "'" + a + "' is not a number";
            return false;
        }
        out->push_back(v);
    }
    return true;
}

// The middle of the placed frames' corners, where the 3D view looks until told otherwise.
bool scene_middle(const reslice_source& source, vertex3d* middle)
{
    vertex3d lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    bool any = false;
    for (const reslice_frame& f : source.frames) {
        const double w = static_cast<double>(f.image.width()) * source.sx;
        const double h = static_cast<double>(f.image.height()) * source.sy;
        for (const auto& [u, v] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}}) {
            const vertex3d p =
                column(f.image_to_world, 3) + u * column(f.image_to_world, 0) + v * column(f.image_to_world, 1);
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            any = true;
        }
    }
    if (any)
        *middle = 0.5 * (lo + hi);
    return any;
}

class view_functions_t : public std::enable_shared_from_this<view_functions_t> {
public:
    explicit view_functions_t(std::function<reslice_source()> frames) : frames_(std::move(frames)) {}

    void register_all(script_function_table_t& table);

private:
    struct saved_t {
        view3d_camera_t camera;
        reslice_windows_t::state_t windows;
        double outline_zoom = 1.0, review_zoom = 1.0;
    };

    // The 3D view's camera functions.
    script_result_t orient(const args_t& args);
    script_result_t locate(const args_t& args);
    script_result_t turn_3d(const args_t& args, bool twist);
    script_result_t move_3d(const args_t& args);
    // The reslice windows (0 main, 1 and 2 orthogonal).
    script_result_t turn_plane(int window, const args_t& args, bool twist, bool about_3d_axes);
    script_result_t move_plane(int window, const args_t& args, bool from_placed);
    script_result_t save_reslice(int window, const args_t& args);
    // Zooms and the review.
    script_result_t zoom(const args_t& args, double low, double high, const std::function<void(double)>& set);
    script_result_t show_frame(const args_t& args);
    script_result_t save_review(const args_t& args);

    // Window w placed on the data, or why not.
    bool placed(int window, wxString* why);
    void set_plane(int window, const reslice_settings& s);
    bool one_number(const args_t& args, double* value, wxString* why);

    std::function<reslice_source()> frames_;
    saved_t saved_;
};

bool view_functions_t::one_number(const args_t& args, double* value, wxString* why)
{
    std::vector<double> v;
    if (!numbers(args, &v, why))
        return false;
    *value = v.at(0);
    return true;
}

script_result_t view_functions_t::orient(const args_t& args)
{
    std::vector<double> v;
    wxString why;
    if (!numbers(args, &v, &why))
        return fail(why);
    if (!session_view3d_camera().orient({v[0], v[1], v[2]}, {v[3], v[4], v[5]}))
        return fail("the direction and the up direction must be two vectors that are not parallel");
    view3d_camera_changed();
    return {true, {}};
}

script_result_t view_functions_t::locate(const args_t& args)
{
    std::vector<double> v;
    wxString why;
    if (!numbers(args, &v, &why))
        return fail(why);
    session_view3d_camera().target = cm_per_mm * vertex3d{v[0], v[1], v[2]};
    view3d_camera_changed();
    return {true, {}};
}

script_result_t view_functions_t::turn_3d(const args_t& args, bool twist)
{
    double degrees = 0.0;
    wxString why;
    if (!one_number(args, &degrees, &why))
        return fail(why);
    if (twist)
        session_view3d_camera().twist(degrees);
    else
        session_view3d_camera().rotate(degrees);
    view3d_camera_changed();
    return {true, {}};
}

script_result_t view_functions_t::move_3d(const args_t& args)
{
    double mm = 0.0;
    wxString why;
    if (!one_number(args, &mm, &why))
        return fail(why);
    view3d_camera_t& camera = session_view3d_camera();
    vertex3d at;
    if (camera.target)
        at = *camera.target;
    else if (!scene_middle(frames_(), &at))
        return fail("the recording has no placed frames to look at; LOCATE_3D gives a point");
    camera.target = at + (cm_per_mm * mm) * camera.forward;
    view3d_camera_changed();
    return {true, {}};
}

bool view_functions_t::placed(int window, wxString* why)
{
    if (!bufp || bufp->frames() == 0) {
        *why = "the recording holds no frames";
        return false;
    }
    if (!session_reslice_windows().ensure_placed(window)) {
        *why = "the recording has no frames with positions to reslice";
        return false;
    }
    return true;
}

void view_functions_t::set_plane(int window, const reslice_settings& s)
{
    reslice_windows_t& windows = session_reslice_windows();
    windows.reslices[static_cast<std::size_t>(window)].set_settings(s);
    windows.changed(window);
}

script_result_t view_functions_t::turn_plane(int window, const args_t& args, bool twist, bool about_3d_axes)
{
    double degrees = 0.0;
    wxString why;
    if (!one_number(args, &degrees, &why) || !placed(window, &why))
        return fail(why);
    const reslice_internals& r = session_reslice_windows().reslices[static_cast<std::size_t>(window)];
    const view3d_camera_t& camera = session_view3d_camera();
    const vertex3d axis =
        about_3d_axes ? (twist ? camera.forward : camera.up) : (twist ? r.plane().normal() : r.plane().up_axis());
    set_plane(window, turned_plane(r.settings(), axis, degrees));
    return {true, {}};
}

script_result_t view_functions_t::move_plane(int window, const args_t& args, bool from_placed)
{
    double mm = 0.0;
    wxString why;
    if (!one_number(args, &mm, &why) || !placed(window, &why))
        return fail(why);
    reslice_windows_t& windows = session_reslice_windows();
    reslice_settings s = windows.reslices[static_cast<std::size_t>(window)].settings();
    if (from_placed) {
        // Along the plane's normal as it is now, from the centre it was placed at.
        const reslice_plane now(s, 0.01);
        s.centre = reslice_plane(windows.placed_at[static_cast<std::size_t>(window)], 0.01).centre();
        s.up = s.centre + now.up_axis();
        s.normal = now.normal();
    }
    set_plane(window, moved_plane(s, cm_per_mm * mm));
    return {true, {}};
}

script_result_t view_functions_t::save_reslice(int window, const args_t& args)
{
    wxString why;
    if (!placed(window, &why))
        return fail(why);
    const reslice_source source = frames_();
    reslice_internals& r = session_reslice_windows().reslices[static_cast<std::size_t>(window)];
    r.set_pixel_size(source.pixel_size);
    if (!r.build_reslice(source))
        return fail("the reslice could not be built");
    announce_reslice_built(window);  // the 3D view shows the new image on its plane
    const wxString path = beside_recording(args.at(0));
    if (!save_reslice_image(r, path))
        return fail("could not write " + path);
    return {true, wxString::Format("Saved %s (%ld x %ld)", path, r.width(), r.height())};
}

script_result_t view_functions_t::zoom(const args_t& args, double low, double high,
                                       const std::function<void(double)>& set)
{
    double z = 0.0;
    wxString why;
    if (!one_number(args, &z, &why))
        return fail(why);
    if (z < low || z > high)
        return fail(wxString::Format("the zoom must be a number from %g to %g", low, high));
    set(z);
    return {true, {}};
}

script_result_t view_functions_t::show_frame(const args_t& args)
{
    long frame = -1;
    const long frames = bufp ? bufp->frames() : 0;
    if (!args.at(0).ToLong(&frame) || frame < 0 || frame >= frames)
        return fail(wxString::Format("the frame must be a whole number from 0 to %ld", frames - 1));
    res->RES_BUF_CURRENT_FRAME->write(frame);
    return {true, {}};
}

script_result_t view_functions_t::save_review(const args_t& args)
{
    const long frames = bufp ? bufp->frames() : 0;
    const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    if (current < 0 || current >= frames)
        return fail("the recording holds no frames");
    const cip_t frame = bufp->imagecp(current);
    const wxString path = beside_recording(args.at(0));
    if (!save_image_file(codes_picture(frame.pixels(), frame.width(), frame.height(), false), path))
        return fail("could not write " + path);
    return {true, wxString::Format("Saved frame %ld as %s", current, path)};
}

void view_functions_t::register_all(script_function_table_t& table)
{
    // Each callable holds the functions' state, which lives as long as the last of them.
    const std::shared_ptr<view_functions_t> me = shared_from_this();
    const auto bind = [me](auto member) {
        return [me, member](const args_t& args) { return (me.get()->*member)(args); };
    };
    table.register_function("ORIENT_3D", bind(&view_functions_t::orient));
    table.register_function("LOCATE_3D", bind(&view_functions_t::locate));
    table.register_function("ROTATE_3D", [me](const args_t& a) { return me->turn_3d(a, false); });
    table.register_function("TWIST_3D", [me](const args_t& a) { return me->turn_3d(a, true); });
    table.register_function("MOVE_3D", bind(&view_functions_t::move_3d));

    table.register_function("ROTATE_RESLICE", [me](const args_t& a) { return me->turn_plane(0, a, false, false); });
    table.register_function("TWIST_RESLICE", [me](const args_t& a) { return me->turn_plane(0, a, true, false); });
    table.register_function("ROTATE_RESLICE_3D", [me](const args_t& a) { return me->turn_plane(0, a, false, true); });
    table.register_function("TWIST_RESLICE_3D", [me](const args_t& a) { return me->turn_plane(0, a, true, true); });
    const std::array<const char*, 3> views = {"RESLICE", "ORTHO_LEFT", "ORTHO_RIGHT"};
    for (int w = 0; w < 3; ++w) {
        const wxString view = views[static_cast<std::size_t>(w)];
        table.register_function("MOVE_" + view, [me, w](const args_t& a) { return me->move_plane(w, a, false); });
        table.register_function("OFFSET_" + view, [me, w](const args_t& a) { return me->move_plane(w, a, true); });
        table.register_function("SAVE_" + view, [me, w](const args_t& a) { return me->save_reslice(w, a); });
        table.register_function("ZOOM_" + view, [me, w](const args_t& a) {
            return me->zoom(a, min_reslice_zoom, max_reslice_zoom, [w](double z) {
                reslice_windows_t& windows = session_reslice_windows();
                windows.zoom[static_cast<std::size_t>(w)] = z;
                windows.changed(w);
            });
        });
    }
    table.register_function("ZOOM_3D", [me](const args_t& a) {
        return me->zoom(a, min_view3d_zoom, max_view3d_zoom, [](double z) { res->RES_OUTLINE_ZOOM->write(z); });
    });
    table.register_function("ZOOM_REVIEW", [me](const args_t& a) {
        return me->zoom(a, min_review_zoom, max_review_zoom, [](double z) { res->RES_REVIEW_ZOOM->write(z); });
    });
    table.register_function("OFFSET_REVIEW", bind(&view_functions_t::show_frame));
    table.register_function("SAVE_REVIEW", bind(&view_functions_t::save_review));

    // Each file of a run sees the views as the run found them; new data places its planes afresh.
    table.add_state("views", {[me] {
                                  me->saved_ = {session_view3d_camera(), session_reslice_windows().state(),
                                                res->RES_OUTLINE_ZOOM->value(), res->RES_REVIEW_ZOOM->value()};
                              },
                              [me](bool new_data) {
                                  session_view3d_camera() = me->saved_.camera;
                                  reslice_windows_t& windows = session_reslice_windows();
                                  windows.restore(me->saved_.windows);
                                  if (new_data) {
                                      session_view3d_camera().target.reset();
                                      windows.placed = {};
                                  }
                                  res->RES_OUTLINE_ZOOM->write(me->saved_.outline_zoom);
                                  res->RES_REVIEW_ZOOM->write(me->saved_.review_zoom);
                                  view3d_camera_changed();
                              }});
}

}  // namespace

void register_view_functions(script_function_table_t& table, std::function<reslice_source()> frames)
{
    std::make_shared<view_functions_t>(std::move(frames))->register_all(table);
}
