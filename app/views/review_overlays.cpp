// What the review window draws over the frame: the outlines and landmarks of
// the current frame, the surfaces' cuts through it (in thickness where it is
// mapped), the selected region, the measurement with its length, and the
// box, rectangle or line of a left drag in progress.
#include <algorithm>
#include <cmath>
#include <vector>

#include <GL/gl.h>
#include <wx/dcmemory.h>
#include <wx/settings.h>

#include "common/dynabuf.h"
#include "common/matrix16d.h"
#include "ids.h"
#include "thickness/thickness_colours.h"
#include "reconstruction/reslice_frames.h"
#include "resources/resource_table.h"
#include "surfaces/surface_geometry.h"
#include "surfaces/surface_interp.h"
#include "thickness/thickness_session.h"
#include "review_canvas.h"

namespace {

constexpr unsigned char measure_colour[3] = {255, 255, 0};
constexpr unsigned char select_colour[3] = {0, 255, 255};
constexpr unsigned char zoom_colour[3] = {255, 255, 255};
constexpr unsigned char landmark_colour[3] = {0, 255, 0};
constexpr unsigned char fiducial_colour[3] = {255, 0, 255};
constexpr unsigned char concavity_colour[3] = {255, 64, 64};
// Surface cuts are drawn to a tenth of a pixel.
constexpr double intercept_tolerance = 0.1;
// Landmarks this close to a frame's plane are marked on it.
constexpr double landmark_reach_cm = 0.1;

void colour(const unsigned char* c)
{
    glColor3ub(c[0], c[1], c[2]);
}

// Window coordinates on pixel centres, so that lines land on whole pixels.
void vertex(double x, double y)
{
    glVertex2d(std::floor(x) + 0.5, std::floor(y) + 0.5);
}

void frame_vertex(const review_view_t& v, double u, double w)
{
    double x, y;
    v.to_window(u, w, &x, &y);
    vertex(x, y);
}

void window_box(double x0, double y0, double x1, double y1)
{
    glBegin(GL_LINE_LOOP);
    vertex(x0, y0);
    vertex(x1, y0);
    vertex(x1, y1);
    vertex(x0, y1);
    glEnd();
}

// Asked without making the session: drawing writes no resources.
const thickness_results_t* thickness_results_of(int object)
{
    const auto& held = res->RES_THICKNESS->value();
    return held ? held->results(object) : nullptr;
}

}  // namespace

void review_canvas::draw_overlays(const review_view_t& v)
{
    glLineWidth(1.0f);
    if (res->RES_SEE_DRAW->value()) {
        draw_outlines(v);
        draw_intercepts(v);
    }
    draw_outline_in_progress(v);
    if (res->RES_SEE_MARK->value())
        draw_landmarks(v);
    draw_calibration(v);

    const long sx = static_cast<long>(res->RES_RF_SELECT_VECTOR->value());
    const long sw = static_cast<long>(res->RES_RF_SELECT_VECTORS->value());
    const long sy = static_cast<long>(res->RES_RF_SELECT_SAMPLE->value());
    const long sh = static_cast<long>(res->RES_RF_SELECT_SAMPLES->value());
    if (sw > 0 && sh > 0) {
        double x0, y0, x1, y1;
        v.to_window(static_cast<double>(sx), static_cast<double>(sy), &x0, &y0);
        v.to_window(static_cast<double>(sx + sw), static_cast<double>(sy + sh), &x1, &y1);
        colour(select_colour);  // on the region's outermost pixels, rows up or down
        window_box(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) - 1, std::max(y0, y1) - 1);
    }

    const calipers_t& c = res->RES_CALIPERS->value();
    if (c.x0 != c.x1 || c.y0 != c.y1) {
        colour(measure_colour);
        glBegin(GL_LINES);
        frame_vertex(v, c.x0, c.y0);
        frame_vertex(v, c.x1, c.y1);
        glEnd();
        double x, y;
        v.to_window(c.x1, c.y1, &x, &y);
        draw_label(measurement_text(measured_length_mm(c.x0, c.y0, c.x1, c.y1, res->RES_XSCALE->value(),
                                                       res->RES_YSCALE->value())),
                   x + 6, y + 6);
    }

    if (!left_from_ || !left_to_)
        return;
    const wxPoint a = *left_from_, b = *left_to_;
    if (left_tool_ == ID_TOOL_DRAG_ZOOM || left_tool_ == ID_TOOL_SELECT) {
        colour(left_tool_ == ID_TOOL_SELECT ? select_colour : zoom_colour);
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xF0F0);
        window_box(a.x, a.y, b.x, b.y);
        glDisable(GL_LINE_STIPPLE);
    } else if (left_tool_ == ID_TOOL_MEASURE) {
        colour(measure_colour);
        glBegin(GL_LINES);
        vertex(a.x, a.y);
        vertex(b.x, b.y);
        glEnd();
    }
}

void review_canvas::draw_outlines(const review_view_t& v)
{
    const auto& objects = res->RES_OBJECT->value();
    if (!objects)
        return;
    const auto frame = static_cast<std::int32_t>(res->RES_BUF_CURRENT_FRAME->value());
    for (int i = 0; i < object_table::size; ++i) {
        const contour_object& o = (*objects)[i];
        for (const contour_set& s : o.sets) {
            if (s.frame != frame)
                continue;
            for (const contour& k : s.contours) {
                glColor3ub(o.colour.r, o.colour.g, o.colour.b);
                glBegin(k.closed ? GL_LINE_LOOP : GL_LINE_STRIP);
                for (const vertex2d& p : k.points)
                    frame_vertex(v, p.x + 0.5, p.y + 0.5);  // outline points are pixel indices
                glEnd();
                // Concavities: the edges between highlighted points, thicker.
                if (k.concavity.size() != k.points.size())
                    continue;
                glLineWidth(3.0f);
                colour(concavity_colour);
                glBegin(GL_LINES);
                for (std::size_t a = 0; a < k.points.size(); ++a) {
                    const std::size_t b = (a + 1) % k.points.size();
                    if (k.concavity[a] > concavity_highlight && k.concavity[b] > concavity_highlight) {
                        frame_vertex(v, k.points[a].x + 0.5, k.points[a].y + 0.5);
                        frame_vertex(v, k.points[b].x + 0.5, k.points[b].y + 0.5);
                    }
                }
                glEnd();
                glLineWidth(1.0f);
            }
        }
    }
}

void review_canvas::update_intercepts()
{
    intercepts_key_t key;
    key.frame = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    const double xs = res->RES_XSCALE->value(), ys = res->RES_YSCALE->value();
    matrix16d to_world;
    if (res->RES_POS_REC->value() && xs > 0 && ys > 0 &&
        frame_transform(bufp->positioncp(key.frame), calibration_from_session(), &to_world))
        key.plane = plane_of(to_world, xs, ys);
    const auto& objects = res->RES_OBJECT->value();
    key.objects = objects.get();
    for (int i = 0; i < resource_t::surface_slots; ++i) {
        key.surfaces.push_back(res->RES_SURFACE[static_cast<std::size_t>(i)]->value().get());
        key.with_results.push_back(thickness_results_of(i) != nullptr);
    }
    if (intercepts_key_ == key)
        return;
    intercepts_.clear();
    thickness_cuts_.assign(key.surfaces.size(), {});
    intercepts_key_ = key;
    if (!objects || !key.plane)
        return;
    const plane_t& plane = *key.plane;
    for (int i = 0; i < object_table::size && i < resource_t::surface_slots; ++i) {
        const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(i)]->value();
        // A frame the object is outlined on shows its own outlines.
        if (!surface || (*objects)[i].find_set(static_cast<std::int32_t>(key.frame)))
            continue;
        for (contour& c : surface->intersection_contour(plane, intercept_tolerance))
            intercepts_.push_back({i, std::move(c)});
        if (!key.with_results[static_cast<std::size_t>(i)])
            continue;
        // Numbered through the sequences one after another, as the results are.
        std::uint32_t first = 0;
        for (const surface_sequence_t& seq : surface->get_seq()) {
            for (const triangle_cut_t& cut : triangle_cuts(seq.mesh, plane)) {
                thickness_piece_t piece{{pixel_of(plane, cut.ends[0].position), pixel_of(plane, cut.ends[1].position)},
                                        cut.ends};
                for (cut_end_t& end : piece.ends)
                    for (std::uint32_t& p : end.points)
                        p += first;
                thickness_cuts_[static_cast<std::size_t>(i)].push_back(piece);
            }
            first += static_cast<std::uint32_t>(seq.mesh.points.size());
        }
    }
}

void review_canvas::draw_thickness_cut(const review_view_t& v, int object)
{
    const thickness_results_t* results = thickness_results_of(object);
    if (!results)
        return;
    const thickness_scale_t scale = thickness_scale_from_settings();
    glLineWidth(2.0f);  // wide enough for its colours to read over the image
    glBegin(GL_LINES);
    for (const thickness_piece_t& piece : thickness_cuts_[static_cast<std::size_t>(object)])
        for (std::size_t k = 0; k < 2; ++k) {
            const rgb_t c = cut_colour(*results, scale, piece.ends[k]);
            glColor3ub(c.r, c.g, c.b);
            frame_vertex(v, piece.at[k].x + 0.5, piece.at[k].y + 0.5);
        }
    glEnd();
    glLineWidth(1.0f);
}

void review_canvas::draw_intercepts(const review_view_t& v)
{
    update_intercepts();
    const auto& objects = res->RES_OBJECT->value();
    // Thickness where the surface has results: the pieces' colours mixed along them.
    const auto coloured = [this](int object) {
        const auto i = static_cast<std::size_t>(object);
        return i < thickness_cuts_.size() && !thickness_cuts_[i].empty() && thickness_results_of(object);
    };
    for (std::size_t i = 0; i < thickness_cuts_.size(); ++i)
        if (coloured(static_cast<int>(i)))
            draw_thickness_cut(v, static_cast<int>(i));
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(1, 0xCCCC);
    for (const intercept_t& cut : intercepts_) {
        if (coloured(cut.object))
            continue;
        const rgb_t c = objects ? (*objects)[cut.object].colour : rgb_t{255, 255, 255};
        glColor3ub(c.r, c.g, c.b);
        glBegin(GL_LINE_LOOP);
        for (const vertex2d& p : cut.outline.points)
            frame_vertex(v, p.x + 0.5, p.y + 0.5);
        glEnd();
    }
    glDisable(GL_LINE_STIPPLE);
    for (const intercept_t& cut : intercepts_) {
        // Labelled beside its highest point, clear of the outline.
        const auto top = std::min_element(cut.outline.points.begin(), cut.outline.points.end(),
                                          [](const vertex2d& a, const vertex2d& b) { return a.y < b.y; });
        double x, y;
        v.to_window(top->x + 0.5, top->y + 0.5, &x, &y);
        draw_label(wxString::Format("Contour %i intercept", cut.object), x + 6, y - 18);
    }
}

void review_canvas::draw_outline_in_progress(const review_view_t& v)
{
    if (const contour* stroke = draw_tool_.stroke()) {
        const auto& objects = res->RES_OBJECT->value();
        const auto object = std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1);
        const rgb_t c = objects ? (*objects)[static_cast<int>(object)].colour : rgb_t{255, 255, 255};
        glColor3ub(c.r, c.g, c.b);
        glBegin(GL_LINE_STRIP);
        for (const vertex2d& p : stroke->points)
            frame_vertex(v, p.x + 0.5, p.y + 0.5);
        glEnd();
    }
    if (const auto box = draw_tool_.group_box()) {
        colour(select_colour);
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xF0F0);
        glBegin(GL_LINE_LOOP);
        frame_vertex(v, box->first.x + 0.5, box->first.y + 0.5);
        frame_vertex(v, box->second.x + 0.5, box->first.y + 0.5);
        frame_vertex(v, box->second.x + 0.5, box->second.y + 0.5);
        frame_vertex(v, box->first.x + 0.5, box->second.y + 0.5);
        glEnd();
        glDisable(GL_LINE_STIPPLE);
    }
}

void review_canvas::draw_landmarks(const review_view_t& v)
{
    const auto& marks = res->RES_LANDMARKS->value();
    if (!marks)
        return;
    const long current = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    const auto pose = bufp->positioncp(current);
    const double xs = res->RES_XSCALE->value(), ys = res->RES_YSCALE->value();
    // World to frame: the inverse of the pose after the probe calibration.
    matrix16d to_frame;
    const bool placed = res->RES_POS_REC->value() && xs > 0 && ys > 0 &&
                        frame_transform(pose, calibration_from_session(), &to_frame);
    if (placed)
        to_frame.invert();
    auto cross = [&](double u, double w) {
        double x, y;
        v.to_window(u + 0.5, w + 0.5, &x, &y);  // landmark positions are pixel indices
        glBegin(GL_LINES);
        vertex(x - 4, y);
        vertex(x + 5, y);
        vertex(x, y - 4);
        vertex(x, y + 5);
        glEnd();
    };
    for (const landmark_t& m : marks->list) {
        colour(m.kind == LMARK_FIDUCIAL ? fiducial_colour : landmark_colour);
        if (m.kind == LMARK_2D) {
            if (m.index == current)
                cross(m.position.x, m.position.y);
            continue;
        }
        if (!placed)
            continue;
        const vertex3d p = to_frame * m.position;
        if (std::abs(p.z) <= landmark_reach_cm)
            cross(p.x / xs, p.y / ys);
    }
}

void review_canvas::draw_label(const wxString& text, double x, double y)
{
    // The text is drawn white on black off screen; its brightness becomes the
    // label's opacity over a dark backing, so it reads on any image.
    wxMemoryDC dc;
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    const wxSize extent = dc.GetTextExtent(text);
    const int w = extent.GetWidth() + 6, h = extent.GetHeight() + 2;
    wxBitmap bitmap(w, h, 24);
    dc.SelectObject(bitmap);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    dc.SetTextForeground(*wxWHITE);
    dc.DrawText(text, 3, 1);
    dc.SelectObject(wxNullBitmap);
    const wxImage shape = bitmap.ConvertToImage();
    std::vector<unsigned char> rgba(static_cast<std::size_t>(w) * h * 4);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double t = shape.GetRed(i, j) / 255.0;
            unsigned char* p = &rgba[(static_cast<std::size_t>(j) * w + i) * 4];
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<unsigned char>(measure_colour[k] * t);
            p[3] = static_cast<unsigned char>(255 * (0.6 + 0.4 * t));
        }
    // Kept inside the window: a raster position outside it draws nothing.
    const wxSize size = GetClientSize();
    const double left = std::clamp(x, 0.0, std::max(0.0, size.GetWidth() - w - 1.0));
    const double top = std::clamp(y, 0.0, std::max(0.0, size.GetHeight() - h - 1.0));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glRasterPos2d(std::floor(left) + 0.5, std::floor(top) + 0.5);
    glPixelZoom(1.0f, -1.0f);  // rows run down the window, top row first
    glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelZoom(1.0f, 1.0f);
    glDisable(GL_BLEND);
}
