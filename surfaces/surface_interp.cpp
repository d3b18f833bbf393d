// Building a surface: outline planes in sequences, their distance maps, the
// grid of node lines through the sequence, and the triangulated zero level.
#include "surface_interp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include <wx/log.h>

#include "common/interaction.h"
#include "segmentation/overlap.h"
#include "surfaces/distance_map.h"
#include "surfaces/distance_peaks.h"
#include "surfaces/landmark_list.h"
#include "surfaces/mesh_measure.h"
#include "surfaces/outline_problems.h"
#include "surfaces/mesh_hit.h"
#include "surfaces/surface_colour.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_progress.h"
#include "surfaces/surface_geometry.h"
#include "surfaces/surface_smooth.h"
#include "surfaces/tetra_mesher.h"

namespace {

// Grid boxes are held to 16-bit coordinates in grid steps, and a layer of
// nodes to what two layers and their edge tables can reasonably take.
constexpr double max_box_steps = 16000.0;
constexpr std::int64_t max_layer_nodes = std::int64_t(1) << 24;
constexpr std::int64_t max_layers = 1 << 16;
constexpr int max_layers_per_pair = 1024;

// One outline plane prepared for interpolation.
struct image_slice_t {
    long frame = -1;
    long sweep = 0;
    plane_t plane;
    distance_map_t map;  // empty when the outlines enclose nothing
    std::vector<peak_t> peaks;
    // The map's pixels inside the outlines lie within these bounds (frame
    // pixels); none when x0 > x1.
    std::int32_t inside_x0 = 1, inside_x1 = 0, inside_y0 = 1, inside_y1 = 0;
    // How fast a read of the map can change, in chamfer units per pixel, and
    // how far it can jump where a read leaves the box: see map_slope().
    double slope = 0.0, jump = 0.0;
};

// Bounds on how a read of the map changes as the position moves: bilinear
// reads change by at most the hypotenuse of the steepest steps between
// neighbours along each axis, and reads beyond the box lose 12 per pixel
// more. Where the box's edge is positive, stepping out of it drops the read
// to zero at once: that is the jump.
void map_slope(image_slice_t* slice)
{
    const map_steps_t steps = steepest_steps(slice->map);
    slice->slope = std::sqrt(double(steps.across) * steps.across + double(steps.down) * steps.down) + 12.0;
    slice->jump = double(std::max(steps.edge, 0));
}

// Where the map is positive: beyond this the plane is outside its outlines.
void find_inside(image_slice_t* slice)
{
    const distance_map_t& m = slice->map;
    for (std::int32_t r = 0; r < m.height; ++r) {
        // The first and last positive pixels of the row, each found from its end.
        const std::int16_t* row = m.values.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(m.width);
        std::int32_t first = 0, last = m.width - 1;
        while (first < m.width && row[first] <= 0)
            ++first;
        if (first == m.width)
            continue;
        while (row[last] <= 0)
            --last;
        if (slice->inside_x0 > slice->inside_x1) {
            slice->inside_x0 = m.x0 + first, slice->inside_x1 = m.x0 + last;
            slice->inside_y0 = m.y0 + r;
        }
        slice->inside_x0 = std::min(slice->inside_x0, m.x0 + first);
        slice->inside_x1 = std::max(slice->inside_x1, m.x0 + last);
        slice->inside_y1 = m.y0 + r;
    }
}

// Where the grid nodes of a sequence lie on each of its planes.
struct grid_t {
    double u0 = 0.0, v0 = 0.0, step = 1.0;
    std::size_t nu = 0, nv = 0;
    std::vector<fibre_map_t> fibres;  // one per plane
    std::vector<fibre_pixels_t> pixels;  // the same, in each plane's pixels
    std::vector<int> layers;          // per pair of planes
};

void report_problem(const char* text, const contour_set& set, const vertex2d& at, landmarks* problems)
{
    wxLogWarning(wxString::Format(text, int(set.frame), int(std::lround(at.x)), int(std::lround(at.y))) +
                 "\nThis will result in a slightly lower quality surface");
    if (problems != nullptr)
        add_on_frame(problems, at, set.frame);
}

// Crossings that repair left: the surface is built regardless, marked there.
void mark_remaining_crossings(const contour_set& set, landmarks* problems)
{
    vertex2d at;
    for (const contour& c : set.contours)
        if (first_self_crossing(c, &at))
            report_problem("Contours self-intersecting, landmark created for frame %i at (%i,%i), not able to correct.",
                           set, at, problems);
    for (std::size_t a = 0; a < set.contours.size(); ++a)
        for (std::size_t b = a + 1; b < set.contours.size(); ++b)
            if (first_crossing(set.contours[a], set.contours[b], &at))
                report_problem("Contours overlapping, landmark created for frame %i at (%i,%i), not able to correct.",
                               set, at, problems);
}

// The outlines of one frame made fit for scan conversion: simple, no repeated
// copies, no overlap. The object's own outlines are not changed.
bool prepare_slice(const contour_set& original, const frame_placement& where, const frame_placements& placements,
                   int step, landmarks* problems, image_slice_t* slice)
{
    contour_set set = original;
    const std::size_t before = set.contours.size();
    const int changed = set.make_simple(0.0, false);
    if (set.contours.size() < before)
        wxLogMessage("Contours on frame %i changed to remove multiple copies", int(set.frame));
    else if (changed > 0)
        wxLogMessage("Contour on frame %i changed to remove self-intersections", int(set.frame));
    if (set.contours.size() > 1 && make_non_overlapping(set, 0, set.contours.size() - 1) > 0)
        wxLogMessage("Contours on frame %i changed to remove overlap", int(set.frame));
    mark_remaining_crossings(set, problems);
    slice->frame = set.frame;
    slice->sweep = where.sweep;
    slice->plane = plane_of(where.image_to_world, placements.sx, placements.sy);
    if (std::unique_ptr<region_labels> labels = set.region(3 * step, false))
        slice->map = chamfer_code(std::move(*labels));
    slice->peaks = extract_peaks(slice->map);
    find_inside(slice);
    map_slope(slice);
    return true;
}

// A position read from a file may hold anything: its numbers must be finite
// and its image axes must span a plane.
bool placed_soundly(const matrix16d& m)
{
    for (double v : m.m)
        if (!std::isfinite(v))
            return false;
    const plane_t p = plane_of(m, 1.0, 1.0);
    return length(cross(p.ex, p.ey)) > 1e-12;
}

// Consecutive outlined frames of one sweep, in frame order. Frames without a
// usable position are left out, and so is a frame whose plane is the plane
// of the one before: nothing can be interpolated across no distance.
// Empty, with `*cancelled` set, when the user cancels.
std::vector<std::vector<image_slice_t>> collect_sequences(const contour_object& object,
                                                          const frame_placements& placements, int step,
                                                          landmarks* problems, surface_progress_t& progress,
                                                          bool* cancelled)
{
    std::vector<std::vector<image_slice_t>> sequences;
    for (const contour_set& set : object.sets) {
        if (set.contours.empty())
            continue;
        const frame_placement* where = placements.at(set.frame);
        if (where == nullptr || !where->usable || !placed_soundly(where->image_to_world)) {
            wxLogWarning("Frame %i has no usable position: its outlines are left out of the surface.",
                         int(set.frame));
            continue;
        }
        if (!progress.still_working(0, 0)) {
            *cancelled = true;
            return {};
        }
        image_slice_t slice;
        prepare_slice(set, *where, placements, step, problems, &slice);
        if (sequences.empty() || sequences.back().back().sweep != slice.sweep)
            sequences.emplace_back();
        else if (coincident(sequences.back().back().plane, slice.plane)) {
            wxLogWarning("Outlines on frames %i and %i lie on the same plane: frame %i is left out of the surface.",
                         int(sequences.back().back().frame), int(slice.frame), int(slice.frame));
            continue;
        }
        sequences.back().push_back(std::move(slice));
    }
    return sequences;
}

// Lays the node lines of a sequence from its first plane through all others
// and fits the grid around every plane's distance map.
bool plan_grid(const std::vector<image_slice_t>& slices, double step, double pixel, grid_t* grid)
{
    grid->step = step;
    grid->fibres.assign(1, first_fibres(slices.front().plane));
    for (std::size_t k = 0; k + 1 < slices.size(); ++k) {
        fibre_map_t next;
        if (!carry_fibres(grid->fibres.back(), slices[k].plane, slices[k + 1].plane, &next)) {
            wxLogWarning("Outline planes of frames %i and %i are too steep to one another to interpolate.",
                         int(slices[k].frame), int(slices[k + 1].frame));
            return false;
        }
        grid->fibres.push_back(next);
    }
    grid->pixels.clear();
    for (std::size_t k = 0; k < slices.size(); ++k)
        grid->pixels.push_back(fibre_pixels(grid->fibres[k], slices[k].plane));
    double umin = HUGE_VAL, vmin = HUGE_VAL, umax = -HUGE_VAL, vmax = -HUGE_VAL;
    for (std::size_t k = 0; k < slices.size(); ++k) {
        const distance_map_t& m = slices[k].map;
        if (m.empty())
            continue;
        const double xs[2] = {double(m.x0), double(m.x0 + m.width - 1)};
        const double ys[2] = {double(m.y0), double(m.y0 + m.height - 1)};
        for (double x : xs)
            for (double y : ys) {
                vertex2d uv;
                if (!grid_position(grid->fibres[k], slices[k].plane, {x, y}, &uv)) {
                    wxLogWarning("Outline plane of frame %i cannot be reached from the planes before it.",
                                 int(slices[k].frame));
                    return false;
                }
                umin = std::min(umin, uv.x);
                umax = std::max(umax, uv.x);
                vmin = std::min(vmin, uv.y);
                vmax = std::max(vmax, uv.y);
            }
    }
    if (!(umin <= umax) || !(vmin <= vmax))
        return false;  // no plane encloses anything
    // One node beyond the maps all round, held outside.
    const double i0 = std::floor(umin / step) - 1.0, i1 = std::ceil(umax / step) + 1.0;
    const double j0 = std::floor(vmin / step) - 1.0, j1 = std::ceil(vmax / step) + 1.0;
    if (std::max({std::fabs(i0), std::fabs(i1), std::fabs(j0), std::fabs(j1)}) > max_box_steps) {
        wxLogWarning("The outlines of frames %i to %i span too large a grid for a surface.",
                     int(slices.front().frame), int(slices.back().frame));
        return false;
    }
    const auto nu = static_cast<std::int64_t>(i1 - i0) + 1, nv = static_cast<std::int64_t>(j1 - j0) + 1;
    grid->u0 = i0 * step;
    grid->v0 = j0 * step;
    grid->nu = static_cast<std::size_t>(nu);
    grid->nv = static_cast<std::size_t>(nv);
    // Enough layers between two planes that no node line steps much farther
    // than one grid step: a tenth over is let pass, rather than a whole layer
    // more for planes a hair farther apart than a whole number of steps.
    std::int64_t total = 2;
    grid->layers.clear();
    for (std::size_t k = 0; k + 1 < slices.size(); ++k) {
        double longest = 0.0;
        for (double u : {grid->u0, grid->u0 + double(nu - 1) * step})
            for (double v : {grid->v0, grid->v0 + double(nv - 1) * step})
                longest = std::max(longest, length(sub(grid->fibres[k + 1].at(u, v), grid->fibres[k].at(u, v))));
        const double wanted = std::ceil(longest / (step * pixel) - 0.1);
        grid->layers.push_back(std::isfinite(wanted) ? std::clamp(int(wanted), 1, max_layers_per_pair)
                                                     : max_layers_per_pair);
        total += grid->layers.back();
    }
    if (nu * nv > max_layer_nodes || total > max_layers) {
        wxLogError("Unable to allocate surface interpolation grid");
        return false;
    }
    return true;
}

float no_outline_value(const grid_t& grid) { return -float(std::min(32000.0, 48.0 * grid.step)); }

bool on_rim(const grid_t& grid, std::size_t i, std::size_t j)
{
    return i == 0 || j == 0 || i + 1 == grid.nu || j + 1 == grid.nv;
}

node_window_t merged(const node_window_t& a, const node_window_t& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return {std::min(a.i0, b.i0), std::max(a.i1, b.i1), std::min(a.j0, b.j0), std::max(a.j1, b.j1)};
}

constexpr node_window_t no_nodes{1, 0, 1, 0};

// The nodes within `margin` grid steps of where plane k is inside its
// outlines (a pixel more for the reads between pixels): elsewhere the plane
// is negative.
node_window_t map_window(const grid_t& grid, const image_slice_t& slice, std::size_t k, double margin)
{
    if (slice.map.empty() || slice.inside_x0 > slice.inside_x1)
        return no_nodes;
    double i0 = HUGE_VAL, i1 = -HUGE_VAL, j0 = HUGE_VAL, j1 = -HUGE_VAL;
    for (double x : {double(slice.inside_x0 - 1), double(slice.inside_x1 + 1)})
        for (double y : {double(slice.inside_y0 - 1), double(slice.inside_y1 + 1)}) {
            vertex2d uv;
            if (!grid_position(grid.fibres[k], slice.plane, {x, y}, &uv))
                return {0, grid.nu - 1, 0, grid.nv - 1};
            i0 = std::min(i0, (uv.x - grid.u0) / grid.step);
            i1 = std::max(i1, (uv.x - grid.u0) / grid.step);
            j0 = std::min(j0, (uv.y - grid.v0) / grid.step);
            j1 = std::max(j1, (uv.y - grid.v0) / grid.step);
        }
    const auto clamp_index = [](double v, std::size_t n) {
        return static_cast<std::size_t>(std::clamp(v, 0.0, double(n - 1)));
    };
    return {clamp_index(std::floor(i0 - margin), grid.nu), clamp_index(std::ceil(i1 + margin), grid.nu),
            clamp_index(std::floor(j0 - margin), grid.nv), clamp_index(std::ceil(j1 + margin), grid.nv)};
}

// The field of one plane at the nodes of `window`, negative elsewhere. The
// rim is held outside, so the surface closes within the grid whatever the outlines.
void plane_values(const grid_t& grid, const image_slice_t& slice, std::size_t k, const node_window_t& window,
                  std::vector<float>& values)
{
    values.assign(grid.nu * grid.nv, no_outline_value(grid));
    if (slice.map.empty() || window.empty())
        return;  // outside everywhere
    // The field where each node line crosses the plane.
    const fibre_pixels_t& pixels = grid.pixels[k];
    const std::size_t i0 = std::max<std::size_t>(window.i0, 1), i1 = std::min(window.i1, grid.nu - 2);
    for (std::size_t j = std::max<std::size_t>(window.j0, 1); j <= std::min(window.j1, grid.nv - 2); ++j) {
        const double v = grid.v0 + double(j) * grid.step;
        for (std::size_t i = i0; i <= i1; ++i) {
            const vertex2d p = pixels.at(grid.u0 + double(i) * grid.step, v);
            values[j * grid.nu + i] = float(distance_field(slice.map, p.x, p.y));
        }
    }
}

std::vector<grid_peak_t> peaks_in_grid(const grid_t& grid, const image_slice_t& slice, std::size_t k)
{
    std::vector<grid_peak_t> out;
    for (const peak_t& p : slice.peaks) {
        grid_peak_t g;
        g.value = p.value;
        if (grid_position(grid.fibres[k], slice.plane, {p.x, p.y}, &g.uv))
            out.push_back(g);
    }
    return out;
}

// The peaks of planes k and k + 1, paired.
struct paired_peaks_t {
    std::vector<grid_peak_t> a, b;
    double longest = 0.0;  // the longest peak vector, in grid steps
};

paired_peaks_t pair_peaks(const grid_t& grid, const std::vector<image_slice_t>& slices, std::size_t k, int connect)
{
    paired_peaks_t p{peaks_in_grid(grid, slices[k], k), peaks_in_grid(grid, slices[k + 1], k + 1)};
    peak_overlap(p.a, p.b, connect);
    for (const auto* list : {&p.a, &p.b})
        for (const grid_peak_t& g : *list)
            p.longest = std::max(p.longest, std::hypot(g.vector.x, g.vector.y) / grid.step);
    return p;
}

// How far each node's sampling moves from plane k to plane k + 1, following
// the paired peaks, at the nodes of `window`; left empty when no peaks pair.
void peak_displacements(const grid_t& grid, const paired_peaks_t& peaks, const std::vector<float>& a,
                        const std::vector<float>& b, const node_window_t& window,
                        const std::vector<std::uint8_t>& needed, std::vector<vertex2d>& out)
{
    const std::vector<grid_peak_t>& pa = peaks.a;
    const std::vector<grid_peak_t>& pb = peaks.b;
    const auto paired = [](const grid_peak_t& p) { return p.matched; };
    out.clear();
    if (std::none_of(pa.begin(), pa.end(), paired))
        return;
    out.assign(grid.nu * grid.nv, vertex2d{});
    for (std::size_t j = window.j0; j <= window.j1 && !window.empty(); ++j)
        for (std::size_t i = window.i0; i <= window.i1; ++i) {
            const std::size_t n = j * grid.nu + i;
            if (!needed.empty() && !needed[n])
                continue;  // no displaced read there
            const vertex2d uv{grid.u0 + double(i) * grid.step, grid.v0 + double(j) * grid.step};
            const peak_average_t from_a = peak_vector_avg(pa, uv, a[n]);
            peak_average_t from_b = peak_vector_avg(pb, uv, b[n]);
            from_b.vector = {-from_b.vector.x, -from_b.vector.y};  // B's vectors point back to A
            if (!from_a.weighted && from_b.weighted)
                out[n] = from_b.vector;
            else if (from_a.weighted && from_b.weighted)
                out[n] = {(from_a.vector.x + from_b.vector.x) / 2.0, (from_a.vector.y + from_b.vector.y) / 2.0};
            else
                out[n] = from_a.vector;
        }
}

// Which nodes of pair k's window need their displaced reads. A displaced
// read differs from the plain one at the node by at most the map's slope
// times how far the displacement moves it on the plane, so between the
// planes the field differs from the plain blend (1 - s) a + s b by at most
// s (1 - s) times the two together (a quarter at most), plus the maps' jumps.
// A node whose blend is farther from zero than that has the blend's sign on
// every layer of the pair. Where a node and all eight around it have one sure
// sign, no cell touching the node can hold surface, its value is never used
// beyond its sign, and the blend serves. A displacement, a weighted mean of
// peak vectors, is never longer than the longest of them: the bound holds
// before the displacements are known, and they are then worked out only
// where needed. Empty when no peaks pair (nothing is displaced).
void mark_needed(const grid_t& grid, const std::vector<image_slice_t>& slices, std::size_t k,
                 const std::vector<float>& a, const std::vector<float>& b, const paired_peaks_t& peaks,
                 const node_window_t& window, std::vector<std::int8_t>& sure, std::vector<std::uint8_t>& needed)
{
    needed.clear();
    const auto paired = [](const grid_peak_t& p) { return p.matched; };
    if (std::none_of(peaks.a.begin(), peaks.a.end(), paired) || window.empty())
        return;
    const image_slice_t& sa = slices[k];
    const image_slice_t& sb = slices[k + 1];
    const auto stretch = [](const fibre_pixels_t& p) {
        return std::sqrt(p.xu * p.xu + p.xv * p.xv + p.yu * p.yu + p.yv * p.yv);
    };
    const double per_step = 0.25 * (sa.slope * stretch(grid.pixels[k]) + sb.slope * stretch(grid.pixels[k + 1]));
    const double margin = std::max(sa.jump, sb.jump) + 1.0;
    const double longest = peaks.longest * grid.step * (1.0 + 1e-9);  // grid units, rounding allowed for
    // Outside the window every layer is held at the outside value.
    sure.assign(grid.nu * grid.nv, -1);
    for (std::size_t j = window.j0; j <= window.j1; ++j)
        for (std::size_t i = window.i0; i <= window.i1; ++i) {
            const std::size_t n = j * grid.nu + i;
            const double bound = on_rim(grid, i, j) ? 0.0 : per_step * longest + margin;
            const double lo = std::min(a[n], b[n]), hi = std::max(a[n], b[n]);
            sure[n] = lo > bound ? 1 : hi < -bound ? -1 : 0;  // a NaN bound is never sure
        }
    needed.assign(grid.nu * grid.nv, 0);
    for (std::size_t j = window.j0; j <= window.j1; ++j)
        for (std::size_t i = window.i0; i <= window.i1; ++i) {
            const std::size_t n = j * grid.nu + i;
            bool need = sure[n] == 0;
            for (std::size_t jj = j > 0 ? j - 1 : 0; jj <= std::min(j + 1, grid.nv - 1) && !need; ++jj)
                for (std::size_t ii = i > 0 ? i - 1 : 0; ii <= std::min(i + 1, grid.nu - 1); ++ii)
                    need = need || sure[jj * grid.nu + ii] != sure[n];
            needed[n] = need ? 1 : 0;
        }
}

// A layer a fraction s of the way from plane k to plane k + 1. With
// displacements, plane k is read s of the way back along them and plane
// k + 1 the rest of the way forward, so a shape that moves is carried along.
//
// Only the nodes of `window` can be inside; the rest of `fill` is written
// outside, so the slabs either side of this layer, whose windows `fill`
// covers, never read a stale value.
void fill_layer(const grid_t& grid, const std::vector<image_slice_t>& slices, std::size_t k, double s,
                const std::vector<float>& a, const std::vector<float>& b, const std::vector<vertex2d>& shift,
                const std::vector<std::uint8_t>& needed, const node_window_t& window, const node_window_t& fill,
                field_layer_t* layer)
{
    const std::size_t kb = std::min(k + 1, grid.fibres.size() - 1);
    const fibre_map_t& fa = grid.fibres[k];
    const fibre_map_t& fb = grid.fibres[kb];
    // The node lines' crossing with the layer is affine in (u, v) like theirs with the planes.
    const fibre_map_t at_s{lerp(fa.p, fb.p, s), lerp(fa.a, fb.a, s), lerp(fa.b, fb.b, s)};
    const float outside = no_outline_value(grid);
    const bool displaced = !shift.empty() && s != 0.0;
    // The field of a plane where the node line of grid position (u, v) crosses it.
    const auto read = [&](std::size_t plane, double u, double v) {
        const distance_map_t& map = slices[plane].map;
        if (map.empty())
            return outside;
        const vertex2d p = grid.pixels[plane].at(u, v);
        return float(distance_field(map, p.x, p.y));
    };
    for (std::size_t j = fill.j0; j <= fill.j1 && !fill.empty(); ++j) {
        float* const value = layer->value.data() + j * grid.nu;
        const bool row_in = !window.empty() && j >= window.j0 && j <= window.j1;
        const std::size_t from = row_in ? std::max(window.i0, fill.i0) : fill.i1 + 1;
        const std::size_t to = row_in ? std::min(window.i1, fill.i1) : fill.i1;
        // Outside the window, held outside.
        for (std::size_t i = fill.i0; i <= fill.i1 && i < from; ++i)
            value[i] = outside;
        for (std::size_t i = to + 1; row_in && i <= fill.i1; ++i)
            value[i] = outside;
        if (!row_in)
            continue;
        // The plain blend for the whole row first, which the compiler
        // vectorises; the few nodes that read displaced then overwrite theirs.
        const float* const ar = a.data() + j * grid.nu;
        const float* const br = b.data() + j * grid.nu;
        for (std::size_t i = from; i <= to; ++i)
            value[i] = float((1.0 - s) * ar[i] + s * br[i]);
        if (!displaced || j == 0 || j + 1 == grid.nv)
            continue;  // nothing displaced, or a rim row
        const std::uint8_t* const need = needed.empty() ? nullptr : needed.data() + j * grid.nu;
        const vertex2d* const moved = shift.data() + j * grid.nu;
        const double v = grid.v0 + double(j) * grid.step;
        for (std::size_t i = std::max<std::size_t>(from, 1); i <= std::min(to, grid.nu - 2); ++i) {
            if (need != nullptr && !need[i]) {
                // Skip to the next node that reads displaced.
                const void* next = std::memchr(need + i, 1, std::min(to, grid.nu - 2) + 1 - i);
                if (next == nullptr)
                    break;
                i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - need);
            }
            const vertex2d d = moved[i];
            if (d.x == 0.0 && d.y == 0.0)
                continue;
            const double u = grid.u0 + double(i) * grid.step;
            const double va = read(k, u - s * d.x, v - s * d.y);
            const double vb = read(kb, u + (1.0 - s) * d.x, v + (1.0 - s) * d.y);
            value[i] = float((1.0 - s) * va + s * vb);
        }
    }
    layer->kind = s == 0.0 ? SURF_POINT_ON_OUTLINE_PLANE : SURF_POINT_ORDINARY;
    // The mesher places the few nodes it needs on the node lines itself.
    layer->on_lines = true;
    layer->origin = at_s.p, layer->across = at_s.a, layer->down = at_s.b;
    layer->u0 = grid.u0, layer->v0 = grid.v0, layer->step = grid.step;
}

// The layer that closes an end: beyond the end plane (from its neighbour
// `inner`) by `reach` plane spacings, and outside everywhere. The surface
// then ends about halfway there.
void fill_end_layer(const grid_t& grid, std::size_t end, std::size_t inner, double reach,
                    const std::vector<float>& values, field_layer_t* layer)
{
    for (std::size_t j = 0; j < grid.nv; ++j)
        for (std::size_t i = 0; i < grid.nu; ++i) {
            const double u = grid.u0 + double(i) * grid.step, v = grid.v0 + double(j) * grid.step;
            const std::size_t n = j * grid.nu + i;
            const vertex3d e = grid.fibres[end].at(u, v);
            layer->position[n] = lerp(e, grid.fibres[inner].at(u, v), -reach);
            layer->value[n] = -std::fabs(values[n]) - 1.0f;
        }
    layer->kind = SURF_POINT_ORDINARY;
    layer->on_lines = false;
}

enum class mesh_status { done, refused, cancelled };

// Whether the node lines inside the object run backwards between planes k and
// k + 1: planes that cross within the object, or a sweep that turns back on
// itself. The surface then passes through itself. `previous` holds each
// node's step over the pair before.
bool folds(const grid_t& grid, const std::vector<image_slice_t>& slices, std::size_t k, const std::vector<float>& a,
           const std::vector<float>& b, const node_window_t& window, std::vector<vertex3d>& previous)
{
    const plane_t& pa = slices[k].plane;
    const plane_t& pb = slices[k + 1].plane;
    const vertex3d forward = add(pa.normal, mul(pb.normal, dot(pa.normal, pb.normal) < 0.0 ? -1.0 : 1.0));
    bool folded = false;
    for (std::size_t j = window.j0; j <= window.j1 && !window.empty(); ++j)
        for (std::size_t i = window.i0; i <= window.i1; ++i) {
            const std::size_t n = j * grid.nu + i;
            const double u = grid.u0 + double(i) * grid.step, v = grid.v0 + double(j) * grid.step;
            const vertex3d step = sub(grid.fibres[k + 1].at(u, v), grid.fibres[k].at(u, v));
            if ((a[n] > 0.0f || b[n] > 0.0f) &&
                (dot(step, forward) < 0.0 || (k > 0 && a[n] > 0.0f && dot(step, previous[n]) < 0.0)))
                folded = true;
            previous[n] = step;
        }
    return folded;
}

mesh_status mesh_sequence(const std::vector<image_slice_t>& slices, const frame_placements& placements,
                          const surface_settings_t& settings, surface_progress_t& progress, surface_mesh_t* mesh,
                          bool* folded)
{
    grid_t grid;
    const double pixel = 0.5 * (placements.sx + placements.sy);
    if (!plan_grid(slices, double(settings.resolution), pixel, &grid))
        return mesh_status::refused;
    try {
        const std::size_t n = grid.nu * grid.nv;
        field_layer_t lower, upper;
        for (field_layer_t* layer : {&lower, &upper}) {
            layer->position.resize(n);
            layer->value.resize(n);
        }
        tetra_mesher_t mesher(grid.nu, grid.nv, *mesh);
        long layers_done = 0, layers_total = 0;
        for (int l : grid.layers)
            layers_total += l;
        std::vector<vertex3d> steps(n);
        // Each pair of planes can put surface only near its two distance
        // maps, widened by how far its peaks carry the sampling: the work of
        // a pair stays within that window of the sequence's grid.
        const std::size_t pairs = slices.size() - 1;
        std::vector<paired_peaks_t> peaks;
        std::vector<node_window_t> windows;
        for (std::size_t k = 0; k < pairs; ++k) {
            peaks.push_back(pair_peaks(grid, slices, k, settings.connect));
            const double margin = peaks.back().longest + 2.0;
            windows.push_back(
                merged(map_window(grid, slices[k], k, margin), map_window(grid, slices[k + 1], k + 1, margin)));
        }
        const auto window_of = [&](std::size_t k) { return k < pairs ? windows[k] : no_nodes; };
        const auto around = [&](std::size_t k) {  // every slab a layer of pair k takes part in
            return merged(merged(k > 0 ? window_of(k - 1) : no_nodes, window_of(k)), window_of(k + 1));
        };
        // Without cover the ends reach a whole plane spacing out, so the
        // surface closes about half a spacing beyond the end outlines; with
        // it they close at the end outlines themselves.
        const double reach = settings.cover ? 1.0 / 256.0 : 1.0;
        std::vector<float> a, b;
        std::vector<vertex2d> shift;
        std::vector<std::int8_t> sure;
        std::vector<std::uint8_t> needed;
        plane_values(grid, slices[0], 0, window_of(0), a);
        fill_end_layer(grid, 0, 1, reach, a, &lower);
        for (std::size_t k = 0; k < pairs; ++k) {
            plane_values(grid, slices[k + 1], k + 1, merged(window_of(k), window_of(k + 1)), b);
            if (folds(grid, slices, k, a, b, windows[k], steps))
                *folded = true;
            mark_needed(grid, slices, k, a, b, peaks[k], windows[k], sure, needed);
            peak_displacements(grid, peaks[k], a, b, windows[k], needed, shift);
            for (int m = 0; m < grid.layers[k]; ++m) {
                fill_layer(grid, slices, k, double(m) / grid.layers[k], a, b, shift, needed, windows[k], around(k),
                           &upper);
                if (!mesher.add_slab(lower, upper, m == 0 && k > 0 ? merged(windows[k - 1], windows[k]) : windows[k])) {
                    wxLogError("Surface interp: Not enough room for point list.");
                    return mesh_status::refused;
                }
                std::swap(lower, upper);
                if (!progress.still_working(long(mesh->points.size()), long(mesh->triangles.size())))
                    return mesh_status::cancelled;
            }
            std::swap(a, b);
            // Growing the mesh point by point costs more than the meshing:
            // once the first pair shows how many points a layer makes, room
            // for the rest is made at once.
            layers_done += grid.layers[k];
            if (k == 0 && layers_done > 0) {
                const double per_layer = double(mesh->points.size()) / double(layers_done);
                mesh->points.reserve(std::size_t(1.25 * per_layer * double(layers_total + 2)) + 1024);
                mesh->triangles.reserve(2 * mesh->points.capacity());
            }
            if (!progress.plane_done(long(mesh->points.size()), long(mesh->triangles.size())))
                return mesh_status::cancelled;
        }
        const std::size_t last = slices.size() - 1;
        const node_window_t end_window = window_of(last - 1);
        fill_layer(grid, slices, last, 0.0, a, a, {}, {}, end_window, end_window, &upper);
        if (!mesher.add_slab(lower, upper, end_window))
            return mesh_status::refused;
        std::swap(lower, upper);
        fill_end_layer(grid, last, last - 1, reach, a, &upper);
        if (!mesher.add_slab(lower, upper, end_window))
            return mesh_status::refused;
    } catch (const std::bad_alloc&) {
        wxLogError("Unable to allocate surface interpolation grid");
        mesh->points.clear();
        mesh->triangles.clear();
        return mesh_status::refused;
    }
    return mesh_status::done;
}

}  // namespace

int surface_resolution_step(int selection)
{
    static constexpr int steps[] = {24, 16, 10, 6, 4, 2, 1};
    return selection >= 0 && selection < 7 ? steps[selection] : 2;
}

std::unique_ptr<surface_interp> surface_interp::build(const contour_object& object, int object_index,
                                                      const frame_placements& placements,
                                                      const surface_settings_t& settings, landmarks* problems,
                                                      surface_progress_t* shared_progress)
{
    if (!placements.scales_usable() || settings.resolution < 1 || settings.resolution > 64) {
        wxLogWarning("No surface for %s: the pixel scales or the resolution cannot be used.", object.name);
        return nullptr;
    }
    // A build of its own opens its own dialog.
    std::optional<surface_progress_t> own_progress;
    if (shared_progress == nullptr)
        own_progress.emplace(outlined_frames(object));
    surface_progress_t& progress = shared_progress ? *shared_progress : *own_progress;
    progress.begin_object(object.name, outlined_frames(object));
    struct object_done_t {
        surface_progress_t& p;
        ~object_done_t() { p.end_object(); }
    } object_done{progress};

    std::vector<std::vector<image_slice_t>> sequences;
    bool cancelled = false;
    try {
        sequences = collect_sequences(object, placements, settings.resolution, problems, progress, &cancelled);
    } catch (const std::bad_alloc&) {
        wxLogError("Failed to allocate buffer for surface sequences.");
        return nullptr;
    }
    if (cancelled) {
        wxLogMessage("Surface of %s cancelled.", object.name);
        return nullptr;
    }
    long total = 0;
    for (const auto& s : sequences)
        total += s.size() > 1 ? long(s.size()) - 1 : 0;
    if (total == 0) {
        wxLogMessage("No surface for %s: it needs outlines on at least two frames of one sweep.", object.name);
        return nullptr;
    }
    auto surface = std::make_unique<surface_interp>();
    surface->object = object_index;
    surface->assoc_object_ = settings.assoc_object;
    bool refused = false;              // the reason is logged already
    std::vector<enclosed_t> measures;  // of each kept sequence
    for (const auto& slices : sequences) {
        if (slices.size() < 2)
            continue;
        surface_sequence_t seq;
        seq.first_frame = slices.front().frame;
        seq.last_frame = slices.back().frame;
        seq.sweep = slices.front().sweep;
        bool folded = false;
        const mesh_status status = mesh_sequence(slices, placements, settings, progress, &seq.mesh, &folded);
        if (status == mesh_status::cancelled) {
            wxLogMessage("Surface of %s cancelled.", object.name);
            return nullptr;
        }
        refused = refused || status == mesh_status::refused;
        if (status == mesh_status::done && !seq.mesh.triangles.empty()) {
            if (folded && !surface->self_intersecting) {
                surface->self_intersecting = true;
                wxLogWarning(" The interpolated surface for " + object.name +
                             " contains self-intersecting regions.\n\n In general a better surface can be generated "
                             "by using fewer contours\nand/or ensuring that the segmented images do not sweep out the "
                             "same\nvolume more than once.");
            }
            // Measured once and turned outwards with its normals: flipping
            // every triangle negates the volume exactly and keeps the centre.
            enclosed_t e = outward_with_normals(seq.mesh);
            // A thickness surface keeps its points on the outline planes where they were drawn.
            if (settings.smooth_strength > 0) {
                smooth_surface(seq.mesh, settings.smooth_strength, settings.smooth_type, settings.surface_type == 3);
                // Smoothing can turn a thin or folded mesh inside out: a volume is never negative.
                e = enclosed(seq.mesh);
                if (e.volume < 0.0) {
                    flip_triangles(seq.mesh);
                    recalc_normals(seq.mesh);
                    e.volume = -e.volume;
                }
            }
            measures.push_back(e);
            surface->sequences_.push_back(std::move(seq));
        }
    }
    surface->sum_volumes(measures);
    if (surface->volume == 0.0) {
        if (!refused)
            wxLogMessage("No surface for %s: the outlines enclose no volume.", object.name);
        return nullptr;
    }
    return surface;
}

void surface_interp::triangle_volume()
{
    std::vector<enclosed_t> measures;
    for (const surface_sequence_t& s : sequences_)
        measures.push_back(enclosed(s.mesh));
    sum_volumes(measures);
}

void surface_interp::sum_volumes(const std::vector<enclosed_t>& measures)
{
    double v = 0.0;
    vertex3d moment;
    for (const enclosed_t& e : measures) {
        v += e.volume;
        moment = add(moment, mul(e.centre, e.volume));
    }
    volume = std::isfinite(v) ? v : 0.0;
    centre = volume != 0.0 ? mul(moment, 1.0 / volume) : vertex3d{};
}

std::vector<contour> surface_interp::intersection_contour(const plane_t& plane, double tolerance) const
{
    std::vector<contour> out;
    for (const surface_sequence_t& s : sequences_)
        for (contour& c : cut_mesh(s.mesh, plane)) {
            if (!c.closed)
                continue;
            if (tolerance > 0.0)
                c.simplify(tolerance);
            if (c.points.size() >= 3)
                out.push_back(std::move(c));
        }
    return out;
}

bool surface_interp::surface_intersection(const vertex3d& p, const vertex3d& q, mesh_hit_t* hit) const
{
    bool found = false;
    for (const surface_sequence_t& s : sequences_) {
        mesh_hit_t h;
        if (segment_hit(s.mesh, p, q, &h) && (!found || h.t < hit->t)) {
            *hit = h;
            found = true;
        }
    }
    return found;
}

bool surface_interp::colour_with_data(const reslice_source& frames, const surface_colouring_t& how,
                                      const byte_cmap_t* map)
{
    std::vector<std::vector<std::uint8_t>> values;
    bool any = false;
    for (const surface_sequence_t& s : sequences_) {
        values.push_back(data_along_normals(s.mesh, frames, how));
        any = any || std::any_of(values.back().begin(), values.back().end(), [](std::uint8_t v) { return v != 0; });
    }
    // A surface with no data anywhere keeps its object's colour.
    if (!any)
        return false;
    for (std::size_t i = 0; i < sequences_.size(); ++i)
        sequences_[i].mesh.colours = grey_colours(values[i], map);
    return true;
}

std::unique_ptr<surface_interp> surface_interp::from_mesh(surface_mesh_t mesh, int object_index)
{
    auto surface = std::make_unique<surface_interp>();
    surface->object = object_index;
    orient_outwards(mesh);
    recalc_normals(mesh);
    surface_sequence_t seq;
    seq.mesh = std::move(mesh);
    surface->sequences_.push_back(std::move(seq));
    surface->triangle_volume();
    if (!(surface->volume > 0.0))
        return nullptr;
    return surface;
}

surface_mesh_t surface_interp::joined() const
{
    surface_mesh_t mesh;
    for (const surface_sequence_t& s : sequences_) {
        const auto offset = std::uint32_t(mesh.points.size());
        mesh.points.insert(mesh.points.end(), s.mesh.points.begin(), s.mesh.points.end());
        for (surface_triangle_t t : s.mesh.triangles) {
            for (auto& p : t.points)
                p += offset;
            mesh.triangles.push_back(t);
        }
    }
    return mesh;
}
