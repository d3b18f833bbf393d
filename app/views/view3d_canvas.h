// The 3D window: the recorded frames placed in space by their poses and the
// probe calibration, the current frame as a textured plane, the outlines of
// the others, and the reslices shown in the lower windows on their planes
// (RES_RESLICE_OPACITY). Left drag turns the scene like a trackball, the wheel zooms.
#pragma once

#include <memory>
#include <vector>

#include <wx/glcanvas.h>

#include "common/functor.h"
#include "common/matrix16d.h"
#include "gl_support.h"
#include "reconstruction/reslice_internals.h"

class view3d_canvas : public wxGLCanvas {
public:
    static constexpr double wheel_zoom_step = 1.1;  // of the scene's size, a wheel notch

    explicit view3d_canvas(wxWindow* parent);
    ~view3d_canvas() override;

    wxImage grab();
    // Reslice planes to outline in the scene.
    void set_planes(std::vector<const reslice_internals*> planes);
    // Image plane to world of frame i (pose times calibration, scaled to cm); false without a pose.
    static bool frame_to_world(long i, matrix16d* out);

private:
    void View3dChanged();
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent&);
    void draw();
    void fit_scene();
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
    double centre_[3] = {0, 0, 0};
    double radius_ = 10.0;
    double yaw_ = 120.0, pitch_ = -60.0, distance_ = 3.0;
    wxPoint drag_from_;
};
