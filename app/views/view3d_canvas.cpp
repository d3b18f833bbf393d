#include "view3d_canvas.h"

#include <algorithm>
#include <cmath>

#include <GL/gl.h>
#include <GL/glu.h>
#include <wx/dcclient.h>
#include <wx/frame.h>

#include "app/ids.h"
#include "common/dynabuf.h"
#include "common/vertex_math.h"
#include "display/view3d_camera.h"
#include "models/fit_model.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "surfaces/curve_session.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_measure.h"
#include "surfaces/landmark_session.h"
#include "surfaces/mesh_hit.h"
#include "surfaces/surface_curves.h"
#include "surfaces/surface_interp.h"
#include "surfaces/wrl_object.h"

namespace {
constexpr double field_of_view_degrees = 35.0;
constexpr double pi = 3.14159265358979323846;

// World to screen axes (x right, y up, z towards the viewer), and back.
vertex3d turn(const vertex3d& v, const view3d_camera_t& camera)
{
    return {dot(camera.right(), v), dot(camera.up, v), dot(camera.back(), v)};
}

vertex3d unturn(const vertex3d& v, const view3d_camera_t& camera)
{
    return v.x * camera.right() + v.y * camera.up + v.z * camera.back();
}

// The edge of a frame in its own image plane (pixel units).
void outline_frame(const cip_t& frame)
{
    glBegin(GL_LINE_LOOP);
    glVertex2d(0, 0);
    glVertex2d(double(frame.width()), 0);
    glVertex2d(double(frame.width()), double(frame.height()));
    glVertex2d(0, double(frame.height()));
    glEnd();
}
}  // namespace

view3d_canvas::view3d_canvas(wxWindow* parent) : wxGLCanvas(parent, ks_gl_attributes(), wxID_ANY)
{
    SetMinSize(wxSize(40, 40));
    Bind(wxEVT_PAINT, &view3d_canvas::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &view3d_canvas::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &view3d_canvas::OnMouse, this);
    Bind(wxEVT_MOTION, &view3d_canvas::OnMouse, this);
    Bind(wxEVT_MOUSEWHEEL, &view3d_canvas::OnMouse, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        Refresh(false);
        e.Skip();
    });
    changed_ = std::make_unique<pmf_functor<view3d_canvas>>(this, &view3d_canvas::View3dChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_BUF_CURRENT_FRAME, res->RES_BUF_FRAMES, res->RES_BACKGROUND, res->RES_DISPLAY_FRAME,
             res->RES_XTRANS, res->RES_YTRANS, res->RES_ZTRANS, res->RES_AZIMUTH, res->RES_ELEVATION, res->RES_ROLL,
             res->RES_XSCALE, res->RES_YSCALE, res->RES_CMAP_CHANGED, res->RES_BSCAN_OPACITY,
             res->RES_RESLICE_OPACITY, res->RES_REDISPLAY_RESLICE0, res->RES_REDISPLAY_RESLICE1,
             res->RES_REDISPLAY_RESLICE2, res->RES_REDISPLAY_RESLICE3, res->RES_REDISPLAY_RESLICE4,
             res->RES_OBJECT, res->CURRENT_OBJECT, res->RES_SEE_DRAW, res->RES_OUTLINE_ALL, res->RES_OUTLINE_CLEAR,
             res->RES_OUTLINE_ZOOM, res->RES_OUTLINE_VIEW_ANGLE, res->RES_LANDMARKS, res->RES_SEE_MARK,
             res->RES_CURVE, res->RES_WRL_OBJECT, res->RES_DICOM_WIN_CENTRE, res->RES_DICOM_WIN_WIDTH,
             res->RES_DICOM_HUM, res->RES_DICOM_HUB, res->RES_DICOM_FILTER, res->RES_DICOM_REDRAW,
             res->RES_REDISPLAY_THICKNESS, res->RES_THICKNESS_DISP_MAP, res->RES_THICKNESS_DISP_COL,
             res->RES_THICKNESS_SCALE_MM, res->RES_THICKNESS_SCALE_HU, res->RES_THICKNESS_SCALE_HUMM,
             res->RES_THICKNESS_ZERO_HU, res->RES_NEW_SHAPE_MODEL})
        r->add_proc(changed_.get());
    for (auto* slot : res->RES_SURFACE)
        slot->add_proc(changed_.get());
    fit_scene();
    set_view3d_camera_listener([this] { Refresh(false); });
}

view3d_canvas::~view3d_canvas()
{
    set_view3d_camera_listener(nullptr);
}

vertex3d view3d_canvas::looked_at() const
{
    const std::optional<vertex3d>& target = session_view3d_camera().target;
    return target ? *target : vertex3d{centre_[0], centre_[1], centre_[2]};
}

void view3d_canvas::orient_from_turns(double yaw, double pitch)
{
    const view3d_camera_t turned = view3d_camera_t::from_turns(yaw, pitch);
    session_view3d_camera().orient(turned.forward, turned.up);
}

bool view3d_canvas::frame_to_world(long i, matrix16d* out)
{
    return pose_to_world(bufp->positioncp(i), out);
}

bool view3d_canvas::pose_to_world(const counted_array_ptr<float>& pose, matrix16d* out)
{
    if (pose.size() < 6 || !res->RES_POS_REC->value())
        return false;
    matrix16d mpose, mcal, scale;
    mpose.forward(pose.get());
    mcal.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                 res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
    scale.identity();
    scale[0] = res->RES_XSCALE->value();
    scale[5] = res->RES_YSCALE->value();
    *out = mpose * mcal * scale;
    return true;
}

bool view3d_canvas::add_to_bounds(const cip_t& frame, const matrix16d& m, double lo[3], double hi[3]) const
{
    if (frame.empty())
        return false;
    for (const vertex3d& c : {vertex3d{0, 0, 0}, vertex3d{double(frame.width()), 0, 0},
                              vertex3d{0, double(frame.height()), 0},
                              vertex3d{double(frame.width()), double(frame.height()), 0}}) {
        const vertex3d w = m * c;
        const double p[3] = {w.x, w.y, w.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    return true;
}

void view3d_canvas::fit_scene()
{
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    bool any = false;
    for (long i = 0; i < bufp->frames(); ++i) {
        matrix16d m;
        if (frame_to_world(i, &m))
            any = add_to_bounds(bufp->imagecp(i), m, lo, hi) || any;
    }
    // With nothing recorded the live frame places the scene, so it is seen at all.
    live_fitted_ = false;
    if (!any && !live_.empty()) {
        matrix16d m;
        if (pose_to_world(live_pose_, &m))
            any = live_fitted_ = add_to_bounds(live_, m, lo, hi);
    }
    if (!any) {
        centre_[0] = centre_[1] = centre_[2] = 0;
        radius_ = 10;
        return;
    }
    for (int k = 0; k < 3; ++k)
        centre_[k] = 0.5 * (lo[k] + hi[k]);
    radius_ = std::max(0.1, 0.5 * std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                                            (hi[2] - lo[2]) * (hi[2] - lo[2])));
}

void view3d_canvas::show_live(const cip_t& frame, const counted_array_ptr<float>& pose)
{
    if (frame.empty() && live_.empty())
        return;
    const bool was_live = !live_.empty();
    live_ = frame;
    live_pose_ = pose;
    upload_ = true;
    // Fitted when live starts and, with nothing recorded, until a frame had a
    // pose; fitted back to the recorded frames when live ends.
    const bool refit = live_.empty() ? live_fitted_ : (!was_live || (!live_fitted_ && bufp->frames() == 0));
    if (refit)
        fit_scene();
    Refresh(false);
}

void view3d_canvas::View3dChanged()
{
    if (res->RES_OUTLINE_ZOOM->changed())
        distance_ = std::clamp(default_distance / res->RES_OUTLINE_ZOOM->value(), min_distance, max_distance);
    // The preset directions; 0 leaves the view where the mouse put it.
    if (res->RES_OUTLINE_VIEW_ANGLE->changed())
        switch (res->RES_OUTLINE_VIEW_ANGLE->value()) {
        case 1: orient_from_turns(-90.0, -90.0); break;  // from the side, along x
        case 2: orient_from_turns(0.0, -90.0); break;    // from the front, along y
        case 3: orient_from_turns(0.0, 0.0); break;      // from above, along z
        default: break;
        }
    if (res->RES_BUF_FRAMES->changed())
        session_view3d_camera().target.reset();  // new data: look at its middle
    if (res->RES_BUF_FRAMES->changed() || res->RES_XTRANS->changed() || res->RES_YTRANS->changed() ||
        res->RES_ZTRANS->changed())
        fit_scene();
    // DICOM frames are windowed again in place: same pixels, new values.
    upload_ = upload_ || res->RES_CMAP_CHANGED->changed() || res->RES_BUF_FRAMES->changed() ||
              res->RES_DICOM_WIN_CENTRE->changed() || res->RES_DICOM_WIN_WIDTH->changed() ||
              res->RES_DICOM_HUM->changed() || res->RES_DICOM_HUB->changed() || res->RES_DICOM_FILTER->changed() ||
              res->RES_DICOM_REDRAW->changed();
    if (res->RES_CMAP_CHANGED->changed() || res->RES_REDISPLAY_RESLICE0->changed() ||
        res->RES_REDISPLAY_RESLICE1->changed() || res->RES_REDISPLAY_RESLICE2->changed() ||
        res->RES_REDISPLAY_RESLICE3->changed() || res->RES_REDISPLAY_RESLICE4->changed())
        for (plane_texture& t : plane_textures_)
            t.stale = true;
    Refresh(false);
}

void view3d_canvas::draw()
{
    const wxSize size = begin_drawing(this);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(field_of_view_degrees, size.GetHeight() > 0 ? double(size.GetWidth()) / size.GetHeight() : 1.0, radius_ * 0.05,
                   radius_ * 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslated(0, 0, -distance_ * radius_);
    const view3d_camera_t& camera = session_view3d_camera();
    const vertex3d r = camera.right(), u = camera.up, b = camera.back();
    const double turns[16] = {r.x, u.x, b.x, 0, r.y, u.y, b.y, 0, r.z, u.z, b.z, 0, 0, 0, 0, 1};
    glMultMatrixd(turns);
    const vertex3d at = looked_at();
    glTranslated(-at.x, -at.y, -at.z);
    glEnable(GL_DEPTH_TEST);

    const long frames = bufp->frames();
    const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    const long display = static_cast<long>(res->RES_DISPLAY_FRAME->value());
    // Outlines of the frames: all of them, or about thirty spread over the sweep.
    const long step = display == 2 ? 1 : std::max(1L, frames / 30);
    glColor3f(0.9f, 0.8f, 0.3f);
    // "Outlines only" leaves the frames' edges out, so the objects stand clear.
    for (long i = 0; i < frames && !(res->RES_SEE_DRAW->value() && res->RES_OUTLINE_CLEAR->value()); i += step) {
        matrix16d m;
        const cip_t frame = bufp->imagecp(i);
        if ((i == current && live_.empty()) || frame.empty() || !frame_to_world(i, &m))
            continue;
        glPushMatrix();
        glMultMatrixd(m.m);
        outline_frame(frame);
        glPopMatrix();
    }
    matrix16d m;
    const bool live = !live_.empty();
    const cip_t frame = live ? live_ : bufp->imagecp(current);
    if ((live ? pose_to_world(live_pose_, &m) : frame_to_world(current, &m)) && texture_.bind(frame, upload_)) {
        upload_ = false;
        glPushMatrix();
        glMultMatrixd(m.m);
        glEnable(GL_TEXTURE_2D);
        glColor3f(1, 1, 1);
        glBegin(GL_QUADS);
        glTexCoord2d(0, 0);
        glVertex2d(0, 0);
        glTexCoord2d(1, 0);
        glVertex2d(double(frame.width()), 0);
        glTexCoord2d(1, 1);
        glVertex2d(double(frame.width()), double(frame.height()));
        glTexCoord2d(0, 1);
        glVertex2d(0, double(frame.height()));
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glColor3f(1.0f, 0.3f, 0.3f);
        outline_frame(frame);
        glPopMatrix();
    }
    if (res->RES_SEE_DRAW->value()) {
        draw_outlines();
        draw_surfaces();
    }
    if (res->RES_SEE_MARK->value())
        draw_landmarks();
    if (res->RES_SEE_DRAW->value())
        draw_curves();
    draw_shape_model();
    // The reslice planes, as the rectangles their views show.
    glColor3f(0.3f, 0.9f, 1.0f);
    for (const reslice_internals* r : planes_) {
        const double w = static_cast<double>(r->width()), h = static_cast<double>(r->height());
        glBegin(GL_LINE_LOOP);
        for (const auto& [x, y] : {std::pair{0.0, 0.0}, std::pair{w, 0.0}, std::pair{w, h}, std::pair{0.0, h}}) {
            const vertex3d p = r->reslice_to_world(x, y, 0.0);
            glVertex3d(p.x, p.y, p.z);
        }
        glEnd();
    }
    const double opacity = std::clamp(res->RES_RESLICE_OPACITY->value(), 0L, 100L) / 100.0;
    if (opacity > 0.0)
        for (std::size_t i = 0; i < planes_.size(); ++i)
            draw_reslice(i, *planes_[i], opacity);
    draw_picked();
}

void view3d_canvas::draw_picked()
{
    const std::optional<vertex3d> at = picked_point ? picked_point() : std::nullopt;
    if (!at)
        return;
    // White in a black ring, reading on any colour; drawn over the surface it
    // lies on, which would otherwise hide half of it.
    glDisable(GL_DEPTH_TEST);
    for (const auto& [size, grey] : {std::pair{picked_ring_size, 0}, std::pair{picked_dot_size, 255}}) {
        glPointSize(size);
        glColor3ub(GLubyte(grey), GLubyte(grey), GLubyte(grey));
        glBegin(GL_POINTS);
        glVertex3d(at->x, at->y, at->z);
        glEnd();
    }
    glPointSize(1.0f);
    glEnable(GL_DEPTH_TEST);
}

void view3d_canvas::draw_outlines()
{
    const auto& objects = res->RES_OBJECT->value();
    if (!objects)
        return;
    // The current object alone, or every object with RES_OUTLINE_ALL.
    const int current = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    const bool all = res->RES_OUTLINE_ALL->value();
    glLineWidth(2.0f);
    for (int i = all ? 0 : current; i < (all ? object_table::size : current + 1); ++i) {
        const contour_object& o = (*objects)[i];
        glColor3ub(o.colour.r, o.colour.g, o.colour.b);
        for (const contour_set& s : o.sets) {
            matrix16d m;
            if (s.contours.empty() || !frame_to_world(s.frame, &m))
                continue;
            glPushMatrix();
            glMultMatrixd(m.m);
            for (const contour& k : s.contours) {
                glBegin(k.closed ? GL_LINE_LOOP : GL_LINE_STRIP);
                for (const vertex2d& p : k.points)
                    glVertex2d(p.x + 0.5, p.y + 0.5);  // outline points are pixel centres
                glEnd();
            }
            glPopMatrix();
        }
    }
    glLineWidth(1.0f);
}

void view3d_canvas::draw_surfaces()
{
    const auto& objects = res->RES_OBJECT->value();
    if (!objects)
        return;
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    for (int i = 0; i < object_table::size; ++i) {
        const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(i)]->value();
        if (!surface)
            continue;
        surface_list& list = surface_lists_[static_cast<std::size_t>(i)];
        // A mesh goes to GL once per build: a display list, made again only
        // for a new surface or new colours.
        if (list.surface.lock() != surface || list.colour_version != surface->colour_version()) {
            if (!list.id)
                list.id = glGenLists(1);
            list.surface = surface;
            list.colour_version = surface->colour_version();
            glNewList(list.id, GL_COMPILE);
            glBegin(GL_TRIANGLES);
            for (const surface_sequence_t& seq : surface->get_seq()) {
                const bool coloured = seq.mesh.coloured();
                for (const surface_triangle_t& t : seq.mesh.triangles)
                    for (std::uint32_t k : t.points) {
                        const surface_point_t& p = seq.mesh.points[k];
                        if (coloured)
                            glColor3ub(seq.mesh.colours[k].r, seq.mesh.colours[k].g, seq.mesh.colours[k].b);
                        glNormal3d(p.normal.x, p.normal.y, p.normal.z);
                        glVertex3d(p.position.x, p.position.y, p.position.z);
                    }
            }
            glEnd();
            glEndList();
        }
        const contour_object& o = (*objects)[i];
        const double opacity = std::clamp(o.opacity, 0.0, 1.0);
        if (opacity < 1.0) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        glColor4ub(o.colour.r, o.colour.g, o.colour.b, static_cast<GLubyte>(255.0 * opacity));
        glPolygonMode(GL_FRONT_AND_BACK, o.solid ? GL_FILL : GL_LINE);
        glCallList(list.id);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_BLEND);
    }
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_NORMALIZE);
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
}

// The fitted shape model as a green wire mesh over the data, so the fit can
// be judged against the outlines and surfaces it was fitted to.
void view3d_canvas::draw_shape_model()
{
    const std::shared_ptr<fit_model>& model = res->RES_FIT_MODEL->value();
    if (!model || !model->loaded())
        return;
    const surface_mesh_t& mesh = model->warped();
    glColor3ub(60, 220, 90);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_TRIANGLES);
    for (const surface_triangle_t& t : mesh.triangles)
        for (std::uint32_t k : t.points)
            if (k < mesh.points.size())
                glVertex3d(mesh.points[k].position.x, mesh.points[k].position.y, mesh.points[k].position.z);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void view3d_canvas::draw_curves()
{
    glLineWidth(2.0f);
    if (const auto& curves = res->RES_CURVE->value())
        for (const curve_t& c : curves->curves) {
            glColor3ub(255, 40, 40);
            glBegin(c.closed ? GL_LINE_LOOP : GL_LINE_STRIP);
            for (const vertex3d& p : c.points)
                glVertex3d(p.x, p.y, p.z);
            glEnd();
            glPointSize(5.0f);
            glBegin(GL_POINTS);
            for (const vertex3d& p : c.points)
                glVertex3d(p.x, p.y, p.z);
            glEnd();
        }
    glLineWidth(1.0f);
    // The patch a curve split off, as a yellow mesh over its surface.
    if (const auto& patch = res->RES_WRL_OBJECT->value()) {
        glColor3ub(255, 220, 0);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glBegin(GL_TRIANGLES);
        for (const surface_triangle_t& t : patch->mesh.triangles)
            for (std::uint32_t k : t.points)
                if (k < patch->mesh.points.size())
                    glVertex3d(patch->mesh.points[k].position.x, patch->mesh.points[k].position.y,
                               patch->mesh.points[k].position.z);
        glEnd();
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
}

void view3d_canvas::draw_landmarks()
{
    const auto& marks = res->RES_LANDMARKS->value();
    if (!marks)
        return;
    const frame_geometry_t frames = frame_geometry_from_session();
    const double arm = 0.02 * radius_;
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    for (const landmark_t& m : marks->list) {
        const std::optional<vertex3d> at = world_position(m, frames);
        if (!at)
            continue;
        if (m.kind == LMARK_FIDUCIAL)
            glColor3ub(255, 0, 255);
        else if (m.kind == LMARK_SURFACE)
            glColor3ub(255, 255, 0);
        else
            glColor3ub(0, 255, 0);
        for (const vertex3d& axis : {vertex3d{arm, 0, 0}, vertex3d{0, arm, 0}, vertex3d{0, 0, arm}}) {
            glVertex3d(at->x - axis.x, at->y - axis.y, at->z - axis.z);
            glVertex3d(at->x + axis.x, at->y + axis.y, at->z + axis.z);
        }
    }
    glEnd();
    glLineWidth(1.0f);
}

wxPoint view3d_canvas::project(const vertex3d& world) const
{
    const wxSize size = GetClientSize();
    const double w = std::max(1, size.GetWidth()), h = std::max(1, size.GetHeight());
    const double half = std::tan(field_of_view_degrees * pi / 360.0);
    vertex3d v = turn(world - looked_at(), session_view3d_camera());
    v.z -= distance_ * radius_;
    const double x = v.x / -v.z / (half * w / h), y = v.y / -v.z / half;
    return {static_cast<int>(std::lround((x + 1.0) / 2.0 * w - 0.5)), static_cast<int>(std::lround((1.0 - y) / 2.0 * h - 0.5))};
}

std::pair<vertex3d, vertex3d> view3d_canvas::pick_segment(const wxPoint& p) const
{
    const wxSize size = GetClientSize();
    const double w = std::max(1, size.GetWidth()), h = std::max(1, size.GetHeight());
    // The eye's ray through the pixel's centre, as the projection in draw() sees it.
    const double half = std::tan(field_of_view_degrees * pi / 360.0);
    const vertex3d eye_dir{(2.0 * (p.x + 0.5) / w - 1.0) * half * (w / h), (1.0 - 2.0 * (p.y + 0.5) / h) * half, -1.0};
    const view3d_camera_t& camera = session_view3d_camera();
    const vertex3d eye = looked_at() + unturn({0.0, 0.0, distance_ * radius_}, camera);
    const vertex3d dir = unturn(eye_dir, camera);
    return {eye + (radius_ * 0.05) * dir, eye + (radius_ * 20.0) * dir};
}

int view3d_canvas::surface_under(const wxPoint& p, mesh_hit_t* best) const
{
    const auto [near_point, far_point] = pick_segment(p);
    int object = -1;
    for (int i = 0; i < object_table::size; ++i) {
        const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(i)]->value();
        mesh_hit_t hit;
        if (surface && surface->surface_intersection(near_point, far_point, &hit) && (object < 0 || hit.t < best->t)) {
            *best = hit;
            object = i;
        }
    }
    return object;
}

void view3d_canvas::show_status(const wxString& text)
{
    if (auto* frame = wxDynamicCast(wxGetTopLevelParent(this), wxFrame); frame && frame->GetStatusBar())
        frame->SetStatusText(text, 0);
}

bool view3d_canvas::add_curve_point(const wxPoint& p)
{
    mesh_hit_t hit;
    const int object = surface_under(p, &hit);
    if (object < 0)
        return false;
    // Back within a few hundredths of the scene of the first point closes the curve.
    const std::size_t i = add_session_curve_point(object, hit.point, 0.03 * radius_);
    const curve_t& c = res->RES_CURVE->value()->curves[i];
    show_status(c.closed ? wxString::Format("%s closed.", c.name)
                         : wxString::Format("Point %zu of %s placed.", c.points.size(), c.name));
    return true;
}

bool view3d_canvas::click_surface(const wxPoint& p)
{
    if (!on_surface_click)
        return false;
    mesh_hit_t hit;
    const int object = surface_under(p, &hit);
    if (object < 0 || !on_surface_click(object, hit))
        return false;
    Refresh(false);  // the point picked is marked
    return true;
}

bool view3d_canvas::pick_curve(const wxPoint& p)
{
    const auto& curves = res->RES_CURVE->value();
    if (!curves)
        return false;
    const auto [near_point, far_point] = pick_segment(p);
    const std::optional<std::size_t> i = curve_near_segment(*curves, -1, near_point, far_point, 0.02 * radius_);
    return i && curve_operation(*i);
}

bool view3d_canvas::mark_surface(const wxPoint& p)
{
    mesh_hit_t best;
    const int object = surface_under(p, &best);
    // The part a curve split off lies on its surface: a click on it is about the part.
    if (const auto& patch = res->RES_WRL_OBJECT->value()) {
        const auto [near_point, far_point] = pick_segment(p);
        mesh_hit_t on_patch;
        if (segment_hit(patch->mesh, near_point, far_point, &on_patch) && (object < 0 || on_patch.t <= best.t + 1e-6))
            return patch_operation(static_cast<int>(res->CURRENT_OBJECT->value()));
    }
    if (object < 0)
        return false;
    landmarks marks = landmarks_from_session();
    const landmark_index added = add_on_surface(&marks, best.point, best.normal, object);
    const wxString name = marks.list[added].name;
    landmarks_to_session(std::move(marks));
    show_status(wxString::Format("Placed %s.", name));
    return true;
}

void view3d_canvas::draw_reslice(std::size_t slot, const reslice_internals& reslice, double opacity)
{
    const long w = reslice.width(), h = reslice.height();
    // A plane moved since its last build would show the old image in the wrong place.
    if (!reslice.up_to_date() || w <= 0 || h <= 0 || reslice.image().size() != static_cast<std::size_t>(w * h))
        return;
    if (plane_textures_.size() <= slot)
        plane_textures_.resize(slot + 1);
    plane_texture& t = plane_textures_[slot];
    if (!t.id)
        glGenTextures(1, &t.id);
    glBindTexture(GL_TEXTURE_2D, t.id);
    if (t.stale || t.width != w || t.height != h) {
        // Alpha 0 where the reslice has no data, so only the data cover the scene.
        const std::vector<std::uint8_t> rgb = codes_to_rgb(reslice.image().data(), w, h);
        std::vector<std::uint8_t> rgba(reslice.image().size() * 4);
        for (std::size_t p = 0; p < reslice.image().size(); ++p) {
            std::copy_n(rgb.data() + 3 * p, 3, rgba.data() + 4 * p);
            rgba[4 * p + 3] = reslice.image()[p] ? 255 : 0;
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, rgba.data());
        t.width = w;
        t.height = h;
        t.stale = false;
    }
    // The texel alpha times the opacity; a see-through plane leaves the depth
    // buffer alone so that what lies behind it still shows.
    const bool see_through = opacity < 1.0;
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (see_through)
        glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glColor4d(1.0, 1.0, 1.0, opacity);
    glBegin(GL_QUADS);
    // Image row 0 lies along the reslice's y = 0 edge.
    for (const auto& [u, v] : {std::pair{0.0, 0.0}, std::pair{1.0, 0.0}, std::pair{1.0, 1.0}, std::pair{0.0, 1.0}}) {
        const vertex3d p = reslice.reslice_to_world(u * double(w), v * double(h), 0.0);
        glTexCoord2d(u, v);
        glVertex3d(p.x, p.y, p.z);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glColor4d(1.0, 1.0, 1.0, 1.0);
}

void view3d_canvas::set_planes(std::vector<const reslice_internals*> planes)
{
    planes_ = std::move(planes);
    for (plane_texture& t : plane_textures_)
        t.stale = true;
    Refresh(false);
}

void view3d_canvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    draw();
    glFlush();
    SwapBuffers();
}

wxImage view3d_canvas::grab()
{
    draw();
    const wxSize size = GetClientSize();
    return read_back(size.GetWidth(), size.GetHeight());
}

void view3d_canvas::OnMouse(wxMouseEvent& event)
{
    if (event.GetEventType() == wxEVT_MOUSEWHEEL) {
        // About a tenth closer or further a notch; smooth wheels send parts of notches.
        const int delta = event.GetWheelDelta() > 0 ? event.GetWheelDelta() : 120;
        const double notches = static_cast<double>(event.GetWheelRotation()) / delta;
        const double distance = std::clamp(distance_ * std::pow(wheel_zoom_step, -notches), min_distance, max_distance);
        res->RES_OUTLINE_ZOOM->write(default_distance / distance);  // the zoom is kept with the view's settings
        return;
    }
    if (event.LeftUp()) {
        // A click with the Mark tool, not a turn: a landmark on the surface
        // there; with Shift a point of a curve; with Ctrl on a curve, what to do with it.
        if (!dragged_ && res->RES_TOOL->value().tool == ID_TOOL_MARK) {
            if (event.ControlDown())
                pick_curve(event.GetPosition());
            else if (event.ShiftDown())
                add_curve_point(event.GetPosition());
            else
                mark_surface(event.GetPosition());
        } else if (!dragged_) {
            click_surface(event.GetPosition());
        }
        return;
    }
    if (event.LeftDown()) {
        drag_from_ = press_at_ = event.GetPosition();
        dragged_ = false;
        if (res->RES_OUTLINE_VIEW_ANGLE->value() != 0)
            res->RES_OUTLINE_VIEW_ANGLE->write(0);  // turned by hand: no longer a preset direction
        return;
    }
    if (event.Dragging() && event.LeftIsDown()) {
        dragged_ = dragged_ || std::abs(event.GetPosition().x - press_at_.x) + std::abs(event.GetPosition().y - press_at_.y) > 3;
        // Half a degree a pixel: the scene follows the hand.
        view3d_camera_t& camera = session_view3d_camera();
        camera.rotate(-0.5 * (event.GetPosition().x - drag_from_.x));
        camera.tilt(-0.5 * (event.GetPosition().y - drag_from_.y));
        drag_from_ = event.GetPosition();
        Refresh(false);
    }
}
