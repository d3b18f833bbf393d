// What the review window shows and takes while calibrating: the region of
// interest and its clicks, the stripes' edge points and the fitted floor
// line, the ends of the scale lines and their clicks, and the stylus streak
// with its tip.
#include <cmath>

#include <GL/gl.h>

#include "calibration/calib_internals.h"
#include "ids.h"
#include "main_frame.h"
#include "pages/probe_calib_page.h"
#include "resources/resource_table.h"
#include "review_canvas.h"

namespace {

constexpr unsigned char region_colour[3] = {0, 160, 255};
constexpr unsigned char stripe_colour[3] = {255, 255, 0};
constexpr unsigned char accepted_colour[3] = {0, 255, 0};
constexpr unsigned char rejected_colour[3] = {255, 64, 64};
constexpr unsigned char scale_colour[3] = {255, 128, 0};
constexpr unsigned char stylus_colour[3] = {255, 0, 255};

bool on_page(int id)
{
    return res->RES_CURRENT_TASK_PAGE->value() == MainFrame::task_page_index(id);
}

// A frame pixel's centre (column, buffer row) in window coordinates.
void pixel_vertex(const review_view_t& v, double column, double row)
{
    double x, y;
    v.to_window(column + 0.5, row + 0.5, &x, &y);
    glVertex2d(std::floor(x) + 0.5, std::floor(y) + 0.5);
}

void cross(const review_view_t& v, double column, double row, double size)
{
    double x, y;
    v.to_window(column + 0.5, row + 0.5, &x, &y);
    glBegin(GL_LINES);
    glVertex2d(x - size, y);
    glVertex2d(x + size, y);
    glVertex2d(x, y - size);
    glVertex2d(x, y + size);
    glEnd();
}

}  // namespace

bool review_canvas::calibration_click(const wxPoint& p, bool right_button)
{
    const bool calibrating = on_page(ID_TASK_CALIBRATE) || on_page(ID_TASK_POINT_CAL);
    calib_internals* calib = res->RES_CALIB_ACTIVE->value().get();
    const cip_t frame = shown_frame();
    if (!calibrating || !calib || frame.empty())
        return false;
    double u, w;
    window_to_frame(p, &u, &w);
    const long column = long(std::floor(u)), row = long(std::floor(w));
    if (calib->defining_roi()) {
        // The region is kept in canvas rows, counted up from the bottom.
        calib->click_roi(column, frame.height() - 1 - row, right_button);
        Refresh(false);
        return true;
    }
    const long line = res->RES_CALIB_DEFINING_SCALELINE->value();
    if (on_page(ID_TASK_CALIBRATE) && (line == 1 || line == 2)) {
        res->RES_CALIB_SCALE_POINTS->write(scale_point_pos_t{std::clamp(u, 0.0, double(frame.width())),
                                                             std::clamp(w, 0.0, double(frame.height())),
                                                             right_button ? 1 : 0});
        Refresh(false);
        return true;
    }
    return false;
}

void review_canvas::draw_calibration(const review_view_t& v)
{
    calib_internals* calib = res->RES_CALIB_ACTIVE->value().get();
    const bool plane = on_page(ID_TASK_CALIBRATE), point = on_page(ID_TASK_POINT_CAL);
    if (!calib || (!plane && !point))
        return;
    const long h = long(v.frame_h);
    const auto& region = calib->roi_vertices();
    if (!region.empty()) {
        glColor3ubv(region_colour);
        glBegin(calib->defining_roi() ? GL_LINE_STRIP : GL_LINE_LOOP);
        for (const auto& [x, y] : region)
            pixel_vertex(v, double(x), double(h - 1 - y));
        glEnd();
    }
    if (plane && showing_live()) {
        const detected_line_t& line = calib->latest_line();
        glColor3ubv(stripe_colour);
        for (std::size_t i = 0; i < line.stripe_columns.size() && i < line.stripe_rows.size(); ++i)
            if (line.stripe_rows[i] >= 0)
                cross(v, double(line.stripe_columns[i]), double(h - 1 - line.stripe_rows[i]), 3);
        if (line.found) {
            glColor3ubv(line.accepted ? accepted_colour : rejected_colour);
            glBegin(GL_LINES);
            pixel_vertex(v, double(line.x1), double(line.y1));
            pixel_vertex(v, double(line.x2), double(line.y2));
            glEnd();
        }
    }
    if (plane && main_win && main_win->probe_calib()) {
        const auto& e = main_win->probe_calib()->scale_ends();
        glColor3ubv(scale_colour);
        for (int l = 0; l < 2; ++l) {
            const double* end = &e[std::size_t(4 * l)];
            for (int k = 0; k < 2; ++k)
                if (end[2 * k] >= 0)
                    cross(v, end[2 * k] - 0.5, end[2 * k + 1] - 0.5, 5);
            if (end[0] >= 0 && end[2] >= 0) {
                glBegin(GL_LINES);
                pixel_vertex(v, end[0] - 0.5, end[1] - 0.5);
                pixel_vertex(v, end[2] - 0.5, end[3] - 0.5);
                glEnd();
            }
        }
    }
    if (point && showing_live()) {
        if (const auto& tip = calib->latest_tip()) {
            glColor3ubv(stylus_colour);
            glBegin(GL_LINES);
            pixel_vertex(v, tip->line_from.x, tip->line_from.y);
            pixel_vertex(v, tip->line_to.x, tip->line_to.y);
            glEnd();
            cross(v, tip->tip.x, tip->tip.y, 6);
        }
    }
}
