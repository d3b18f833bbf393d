// The 3D window: the recorded frames placed in space by their poses and the
// probe calibration, the current frame as a textured plane, the outlines of
// the others, and the reslices shown in the lower windows on their planes
// (RES_RESLICE_OPACITY). Left drag turns the scene like a trackball, the wheel zooms.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <wx/glcanvas.h>

#include "common/counted_array_ptr.h"
#include "common/functor.h"
#include "common/matrix16d.h"
#include "display/view_limits.h"
#include "gl_support.h"
#include "reconstruction/reslice_internals.h"

class surface_interp;
struct mesh_hit_t;

class view3d_canvas : public wxGLCanvas {
public:
    static constexpr double wheel_zoom_step = 1.1;  // of the scene's size, a wheel notch
    // The picked point's mark, in pixels across: a white dot in a black ring.
    static constexpr float picked_dot_size = 7.0f, picked_ring_size = 11.0f;

    explicit view3d_canvas(wxWindow* parent);
    ~view3d_canvas() override;

    wxImage grab();
    // Reslice planes to outline in the scene.
    void set_planes(std::vector<const reslice_internals*> planes);
    // Image plane to world of frame i (pose times calibration, scaled to cm); false without a pose.
    static bool frame_to_world(long i, matrix16d* out);
    static bool pose_to_world(const counted_array_ptr<float>& pose, matrix16d* out);
    // Shows a live frame at its pose in place of the current recorded frame;
    // an empty frame (or one without a pose) goes back to the recorded frames.
    void show_live(const cip_t& frame, const counted_array_ptr<float>& pose);
    bool showing_live() const { return !live_.empty(); }
    // Where a world point appears in the window (the inverse of pick_segment).
    wxPoint project(const vertex3d& world) const;
    // The line of sight through window point p, from the near to the far clipping plane, in world cm.
    std::pair<vertex3d, vertex3d> pick_segment(const wxPoint& p) const;
    // The Mark tool's click: a landmark on the nearest surface under p.
    // False, with nothing added, when no surface lies there.
    bool mark_surface(const wxPoint& p);
    // With Shift: a point of the curve in progress on the surface under p.
    bool add_curve_point(const wxPoint& p);
    // With Ctrl: the curve operation dialog for the curve under p.
    bool pick_curve(const wxPoint& p);
    // A click on a surface with any tool but Mark goes here (the Thickness
    // visual page picks a point with it): the object and where it was hit.
    std::function<bool(int object, const mesh_hit_t& hit)> on_surface_click;
    // A click at p as the mouse makes one: on the surface under p, to on_surface_click.
    bool click_surface(const wxPoint& p);
    // Where to mark the point the Thickness visual page picked (world cm); nothing for none.
    std::function<std::optional<vertex3d>()> picked_point;

private:
    void View3dChanged();
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent&);
    void draw();
    void draw_outlines();  // objects' outlines at their frames' poses
    void draw_surfaces();  // built surfaces in their objects' colours and opacity
    void draw_shape_model();
    void draw_landmarks();  // every landmark that has a place in space, as a small cross
    void draw_curves();     // curves on surfaces, and the patch a curve split off
    void draw_picked();     // the picked point, over everything
    // The object whose surface the line of sight through p meets first; -1 for none.
    int surface_under(const wxPoint& p, mesh_hit_t* hit) const;
    void show_status(const wxString& text);
    void fit_scene();
    vertex3d looked_at() const;  // the camera's target, else the middle of the scene
    void orient_from_turns(double yaw, double pitch);
    bool add_to_bounds(const cip_t& frame, const matrix16d& m, double lo[3], double hi[3]) const;
    void draw_reslice(std::size_t slot, const reslice_internals& reslice, double opacity);

    // One reslice image as a texture; stale until uploaded after its last build.
    struct plane_texture {
        unsigned id = 0;
        long width = 0, height = 0;
        bool stale = true;
    };

    std::unique_ptr<pmf_functor<view3d_canvas>> changed_;
    frame_texture texture_;
    std::vector<const reslice_internals*> planes_;
    std::vector<plane_texture> plane_textures_;
    bool upload_ = true;
    cip_t live_;
    counted_array_ptr<float> live_pose_;
    bool live_fitted_ = false;  // the scene was fitted to the live frame, there being no recorded ones
    double centre_[3] = {0, 0, 0};
    double radius_ = 10.0;
    // Camera distance in scene radii; RES_OUTLINE_ZOOM is default_distance over it.
    static constexpr double default_distance = view3d_default_distance, min_distance = view3d_min_distance,
                            max_distance = view3d_max_distance;
    double distance_ = default_distance;  // the turns are the session's camera (scripts set it too)
    // Each object's surface as a GL display list, and the build it was made
    // from (weak: a new build at a freed one's address is still new), and
    // its colours' version (thickness results recolour a surface in place).
    struct surface_list {
        unsigned id = 0;
        std::weak_ptr<const surface_interp> surface;
        unsigned colour_version = 0;
    };
    std::array<surface_list, 201> surface_lists_{};
    wxPoint drag_from_, press_at_;
    bool dragged_ = false;  // the left button moved since it went down: a turn, not a click
};
