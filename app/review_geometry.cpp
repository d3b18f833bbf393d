#include "review_geometry.h"

#include <algorithm>
#include <cmath>

#include "ids.h"

namespace {

double fit_scale(double window_w, double window_h, const review_view_t& view)
{
    const double w = std::max(1.0, view.frame_w + std::max(0.0, view.beside_w)), h = std::max(1.0, view.frame_h);
    const double aspect = view.aspect > 0.0 ? view.aspect : 1.0;
    return std::max(1e-9, std::min(window_w / w, window_h / (h * aspect)));
}

}  // namespace

double review_view_t::scale_x() const
{
    return fit_scale(window_w, window_h, *this) * zoom;
}

void review_view_t::to_window(double u, double v, double* x, double* y) const
{
    *x = 0.5 * window_w + (u - centre_u) * scale_x();
    *y = 0.5 * window_h + (invert ? centre_v - v : v - centre_v) * scale_y();
}

void review_view_t::to_frame(double x, double y, double* u, double* v) const
{
    *u = centre_u + (x - 0.5 * window_w) / scale_x();
    const double dv = (y - 0.5 * window_h) / scale_y();
    *v = invert ? centre_v - dv : centre_v + dv;
}

void review_view_t::centre_frame()
{
    centre_u = 0.5 * (frame_w + std::max(0.0, beside_w));
    centre_v = 0.5 * frame_h;
}

double review_view_t::beside_start(double frame_w)
{
    return frame_w + std::max(1.0, std::round(frame_w / 32.0));
}

std::optional<review_view_t> zoomed_to_box(const review_view_t& view, double x0, double y0, double x1, double y1)
{
    const double bw = std::abs(x1 - x0), bh = std::abs(y1 - y0);
    if (bw < min_zoom_box || bh < min_zoom_box)
        return std::nullopt;
    review_view_t zoomed = view;
    view.to_frame(0.5 * (x0 + x1), 0.5 * (y0 + y1), &zoomed.centre_u, &zoomed.centre_v);
    // The box's tighter side fills the window; pixels keep their proportions.
    zoomed.zoom = std::clamp(view.zoom * std::min(view.window_w / bw, view.window_h / bh), min_review_zoom,
                             max_review_zoom);
    return zoomed;
}

double zoom_keeping_scale(const review_view_t& view, double window_w, double window_h)
{
    return std::clamp(view.scale_x() / fit_scale(window_w, window_h, view), min_review_zoom, max_review_zoom);
}

double measured_length_mm(double u0, double v0, double u1, double v1, double xscale_cm, double yscale_cm)
{
    return 10.0 * std::hypot((u1 - u0) * xscale_cm, (v1 - v0) * yscale_cm);
}

wxString measurement_text(double length_mm)
{
    return wxString::Format("%.2f mm", length_mm);
}

pixel_region_t selected_region(double u0, double v0, double u1, double v1, long frame_w, long frame_h)
{
    const auto span = [](double a, double b, long size, long* first, long* count) {
        const double from = std::max(0.0, std::floor(std::min(a, b)));
        const double to = std::min(static_cast<double>(size - 1), std::floor(std::max(a, b)));
        *first = static_cast<long>(from);
        *count = to >= from ? static_cast<long>(to - from) + 1 : 0;
    };
    pixel_region_t region;
    span(u0, u1, frame_w, &region.x, &region.width);
    span(v0, v1, frame_h, &region.y, &region.height);
    if (region.empty())
        return {};
    return region;
}

wxString tool_note(int tool_id)
{
    switch (tool_id) {
    case ID_TOOL_DRAG: return "Drag: a right or middle drag pans the review window; a left drag turns the 3D window.";
    case ID_TOOL_SELECT: return "Select: drag a rectangle on the frame to choose the region for processing.";
    case ID_TOOL_MEASURE: return "Measure: drag a line on the frame to measure its length.";
    case ID_TOOL_DRAG_ZOOM: return "Drag zoom: drag a box to zoom to it; a click shows the whole frame.";
    case ID_TOOL_MARK:
        return "Mark: click to place a landmark where the frame lies in space (on the frame itself with \"Snap "
               "mouse clicks to frames\").";
    case ID_TOOL_DRAW:
        return "Draw: outline the current object on this frame; click an outline to split or merge, shift-drag to "
               "select outlines.";
    case ID_TOOL_ERASE: return "Erase: erasing arrives with the segmentation tools; nothing is erased yet.";
    default: return {};
    }
}
