#include "reslice_canvas.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <GL/gl.h>
#include <wx/dcclient.h>

#include "common/dynabuf.h"
#include "display/globcmap.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_info.h"
#include "reconstruction/reslice_turns.h"
#include "reconstruction/reslice_windows.h"
#include "reconstruction/reslice_landmarks.h"
#include "reconstruction/reslice_sweeps.h"
#include "resources/resource_table.h"
#include "surfaces/surface_sections.h"

namespace {

}  // namespace

reslice_canvas::reslice_canvas(wxWindow* parent) : wxGLCanvas(parent, ks_gl_attributes(), wxID_ANY)
{
    SetMinSize(wxSize(20, 20));
    Bind(wxEVT_PAINT, &reslice_canvas::OnPaint, this);
    for (auto type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP, wxEVT_MIDDLE_DOWN,
                      wxEVT_MIDDLE_UP, wxEVT_MOTION, wxEVT_MOUSEWHEEL})
        Bind(type, &reslice_canvas::OnMouse, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        Refresh(false);
        e.Skip();
    });
    changed_ = std::make_unique<pmf_functor<reslice_canvas>>(this, &reslice_canvas::DataChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_BUF_FRAMES, res->RES_XTRANS, res->RES_YTRANS, res->RES_ZTRANS, res->RES_AZIMUTH,
             res->RES_ELEVATION, res->RES_ROLL, res->RES_XSCALE, res->RES_YSCALE, res->RES_BACKGROUND,
             res->RES_CMAP_CHANGED, res->RES_MASKED_DATA, res->RES_SWEEPS, res->RES_USE_PARTITIONING,
             res->RES_SWEEP_ADJUSTMENT, res->RES_USE_SINGLE_SWEEP, res->RES_SWEEP_DISP_NUMBER, res->RES_LANDMARKS})
        r->add_proc(changed_.get());
}

reslice_canvas::~reslice_canvas()
{
    close_reslice_window(reslice_, window_);
}

void reslice_canvas::show(reslice_internals* reslice, const reslice_overlays* overlays)
{
    overlays_ = reslice ? overlays : nullptr;
    if (reslice != reslice_) {
        // Open the new one first: a reslice moving between views stays open.
        if (reslice)
            open_reslice_window(*reslice);
        close_reslice_window(reslice_, window_);
        reslice_ = reslice;
        window_ = reslice ? reslice->window() : 0;
        dragging_ = false;
    }
    invalidate();
}

double reslice_canvas::zoom_of_window() const
{
    const double zoom = session_reslice_windows().zoom[static_cast<std::size_t>(window_)];
    return std::isfinite(zoom) ? std::clamp(zoom, min_reslice_zoom, max_reslice_zoom) : 1.0;
}

void reslice_canvas::invalidate()
{
    dirty_ = true;
    Refresh(false);
}

void reslice_canvas::DataChanged()
{
    if (res->RES_BACKGROUND->changed() || res->RES_CMAP_CHANGED->changed() || res->RES_LANDMARKS->changed())
        Refresh(false);
    else
        invalidate();
}

void reslice_canvas::rebuild_if_needed()
{
    if (!reslice_ || !dirty_)
        return;
    dirty_ = false;
    reslice_source source = source_with_surfaces_from_session();
    // Coarser pixels while dragging keep the plane under the hand; full detail when it stops.
    int divisor = 1;
    if (dragging_ && res->RES_DYNAMIC_UPDATE->value() && colourmap) {
        int rx = 1, ry = 1;
        colourmap->get_reslice_resolutions(rx, ry);
        divisor = std::max({1, rx, ry});  // square pixels: the coarser of the two
    }
    const reslice_internals* built = reslice_;
    if (divisor > 1) {
        reslice_settings q = reslice_->settings();
        q.width = std::max<std::int64_t>(1, q.width / divisor);
        q.height = std::max<std::int64_t>(1, q.height / divisor);
        preview_ = reslice_internals(reslice_->window());
        preview_.set_settings(q);
        preview_.set_pixel_size(source.pixel_size * divisor);
        preview_.build_reslice(source);
        built = &preview_;
    } else {
        reslice_->set_pixel_size(source.pixel_size);
        if (reslice_->build_reslice(source))
            announce_reslice_built(reslice_->window());  // the 3D view draws the image too
    }
    ++builds_;
    built_divisor_ = divisor;
    built_sweeps_.sweeps = source.sweeps;
    built_sweeps_.sweep_view = source.sweep_view;
    upload(*built);
}

void reslice_canvas::upload(const reslice_internals& built)
{
    tex_w_ = built.width();
    tex_h_ = built.height();
    built_plane_ = built.plane();
    built_settings_ = built.settings();
    rgb_ = codes_to_rgb(built.image().data(), tex_w_, tex_h_);
}

void reslice_canvas::draw()
{
    const wxSize size = begin_drawing(this);
    markers_drawn_ = 0;
    if (!reslice_ || tex_w_ <= 0 || rgb_.empty())
        return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, size.GetWidth(), size.GetHeight(), 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    if (!texture_)
        glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(tex_w_), static_cast<GLsizei>(tex_h_), 0, GL_RGB,
                 GL_UNSIGNED_BYTE, rgb_.data());
    // The reslice's y axis points up (towards the up point): image row 0 is at the bottom.
    const double fit =
        std::min(size.GetWidth() / double(tex_w_), size.GetHeight() / double(tex_h_)) * zoom_of_window();
    const double w = tex_w_ * fit, h = tex_h_ * fit;
    const double x0 = 0.5 * (size.GetWidth() - w), y0 = 0.5 * (size.GetHeight() - h);
    x0_ = x0;
    y0_ = y0;
    fit_ = fit;
    drawn_h_ = h;
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 1);
    glVertex2d(x0, y0);
    glTexCoord2d(1, 1);
    glVertex2d(x0 + w, y0);
    glTexCoord2d(1, 0);
    glVertex2d(x0 + w, y0 + h);
    glTexCoord2d(0, 0);
    glVertex2d(x0, y0 + h);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    if (overlays_)
        draw_overlays();
}

wxPoint reslice_canvas::reslice_to_window(double x, double y) const
{
    // Pixel (i, j) is sampled at reslice (i, j) and drawn as the texel around it; row 0 is at the bottom.
    return {static_cast<int>(std::floor(x0_ + (x + 0.5) * fit_)),
            static_cast<int>(std::floor(y0_ + drawn_h_ - (y + 0.5) * fit_))};
}

void reslice_canvas::draw_overlays()
{
    const auto vertex = [this](double x, double y) {
        glVertex2d(x0_ + (x + 0.5) * fit_, y0_ + drawn_h_ - (y + 0.5) * fit_);
    };
    glLineWidth(1.0f);
    if (overlays_->sweeps && built_sweeps_.sweeps.size() >= 2) {
        static const float colours[][3] = {
            {1.0f, 0.6f, 0.0f}, {0.2f, 0.8f, 1.0f}, {0.9f, 0.3f, 0.9f}, {0.4f, 1.0f, 0.4f}};
        const std::vector<std::vector<vertex2d>> cuts = partition_sections(built_plane_, 0.0, built_sweeps_);
        for (std::size_t k = 0; k < cuts.size(); ++k) {
            if (cuts[k].size() < 2)
                continue;
            glColor3fv(colours[k % std::size(colours)]);
            glBegin(GL_LINE_LOOP);
            for (const vertex2d& p : cuts[k])
                vertex(p.x, p.y);
            glEnd();
        }
    }
    if (overlays_->landmarks) {
        const std::shared_ptr<landmarks>& marks = res->RES_LANDMARKS->value();
        if (!marks)
            return;
        const double arm = 5.0;  // window pixels
        glBegin(GL_LINES);
        for (const reslice_landmark& m : landmarks_in_reslice(built_plane_, built_settings_, marks->list)) {
            if (m.fiducial)
                glColor3f(1.0f, 0.2f, 0.2f);
            else
                glColor3f(1.0f, 1.0f, 0.0f);
            // On a window pixel's centre, so that the lines light whole pixels.
            const wxPoint c = reslice_to_window(m.at.x, m.at.y);
            const double cx = c.x + 0.5, cy = c.y + 0.5;
            glVertex2d(cx - arm, cy);
            glVertex2d(cx + arm, cy);
            glVertex2d(cx, cy - arm);
            glVertex2d(cx, cy + arm);
            ++markers_drawn_;
        }
        glEnd();
        glColor3f(1.0f, 1.0f, 1.0f);
    }
}

void reslice_canvas::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    rebuild_if_needed();
    draw();
    glFlush();
    SwapBuffers();
}

wxImage reslice_canvas::grab()
{
    dirty_ = reslice_ != nullptr;
    dragging_ = false;
    rebuild_if_needed();
    draw();
    const wxSize size = GetClientSize();
    return read_back(size.GetWidth(), size.GetHeight());
}

void reslice_canvas::OnMouse(wxMouseEvent& event)
{
    if (!reslice_)
        return;
    if (event.GetEventType() == wxEVT_MOUSEWHEEL) {
        double& zoom = session_reslice_windows().zoom[static_cast<std::size_t>(window_)];
        zoom = std::clamp(zoom * (event.GetWheelRotation() > 0 ? 1.25 : 0.8), min_reslice_zoom, max_reslice_zoom);
        Refresh(false);
        return;
    }
    if (event.ButtonDown()) {
        drag_from_ = event.GetPosition();
        dragging_ = true;
        // How coarse the previews are, for the reslice windows open now.
        if (colourmap && res->RES_DYNAMIC_UPDATE->value())
            colourmap->set_dynamic_resolutions();
        return;
    }
    if (event.ButtonUp()) {
        dragging_ = false;
        invalidate();  // full detail once the hand stops
        return;
    }
    if (!event.Dragging())
        return;
    const wxPoint d = event.GetPosition() - drag_from_;
    drag_from_ = event.GetPosition();
    reslice_settings s = reslice_->settings();
    const reslice_plane& p = reslice_->plane();
    if (event.LeftIsDown()) {
        // Tilt about the in-plane axes through the centre, half a degree per pixel.
        s = turned_plane(turned_plane(s, p.up_axis(), 0.5 * d.x), p.x_axis(), 0.5 * d.y);
    } else {
        // Push along the normal, one reslice pixel per mouse pixel.
        s = moved_plane(s, -d.y * p.pixel_size());
    }
    reslice_->set_settings(s);
    reslice_settings_changed(*reslice_);
    invalidate();
}
