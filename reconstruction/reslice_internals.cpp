#include "reslice_internals.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <wx/log.h>

#include "display/cmap_fill.h"
#include "display/globcmap.h"
#include "frame_sampling.h"
#include "reslice_compound.h"
#include "reslice_sweeps.h"
#include "slab_section.h"

namespace {

// Empty-depth markers; a slab farther than 100 m from a pixel never counts.
constexpr float far_front = 10000.0f;
constexpr float far_back = -10000.0f;
constexpr double depth_tolerance = 1e-6;  // cm beyond the slab still accepted, for rounding
constexpr std::size_t prefetch_ahead = 16;  // spans
// A slab thicker than this many planes a side would stall the program for no gain.
constexpr long max_planes_a_side = 128;
constexpr int max_pixel_step = 64;

template <typename T>
bool try_assign(std::vector<T>& v, std::size_t n, T value, const char* failure)
{
    try {
        v.assign(n, value);
    } catch (const std::bad_alloc&) {
        v.clear();
        wxLogError("%s", failure);
        return false;
    }
    return true;
}

template <typename T>
void release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
}


// One frame's contribution to one plane, over the rows its section covers.
struct frame_paint_t {
    const std::uint8_t* pixels = nullptr;  // the window's first pixel
    long stride = 0;                       // the whole frame's width
    long fw = 0, fh = 0;                   // the window's size
    vertex3d base, dx, dy;  // reslice pixel (0,0) and its steps, as frame pixel (u, v) and depth (cm)
    double side = 1.0;      // turns depth to the side all frames share
    double reach = 0.0;     // slab half thickness, with the rounding allowance
    long width = 0, step = 1;
    frame_sampler sampler;
    // Plain pointers: byte stores may alias anything, so vectors' own
    // pointers would be read again after every pixel.
    float* front_depth = nullptr;
    float* back_depth = nullptr;
    std::uint8_t* front_value = nullptr;
    std::uint8_t* back_value = nullptr;
};

template <bool linear>
void paint_frame(const frame_paint_t& p, const std::vector<reslice_span>& spans)
{
    const long step = p.step;
    for (std::size_t j = 0; j < spans.size(); ++j) {
        const reslice_span& span = spans[j];
        if (span.row % step != 0)
            continue;
        // Rows of a section land far apart in the frame: ask for the frame
        // rows a few spans ahead now, so their misses overlap.
        if (j + prefetch_ahead < spans.size()) {
            const reslice_span& ahead = spans[j + prefetch_ahead];
            const vertex3d a = p.base + static_cast<double>(ahead.row) * p.dy + static_cast<double>(ahead.first) * p.dx;
            if (a.x >= 0.0 && a.y >= 0.0 && a.x < static_cast<double>(p.fw - 1) && a.y < static_cast<double>(p.fh - 1)) {
                const std::uint8_t* at = p.pixels + static_cast<long>(a.y) * p.stride + static_cast<long>(a.x);
                __builtin_prefetch(at);
                __builtin_prefetch(at + p.stride);
            }
        }
        const vertex3d row = p.base + static_cast<double>(span.row) * p.dy;
        const std::size_t row_start = static_cast<std::size_t>(span.row) * static_cast<std::size_t>(p.width);
        for (long x = (span.first + step - 1) / step * step; x <= span.last; x += step) {
            const vertex3d q = row + static_cast<double>(x) * p.dx;
            const double d = p.side * q.z;
            if (!(std::fabs(d) <= p.reach))
                continue;
            const std::size_t i = row_start + static_cast<std::size_t>(x);
            const auto fd = static_cast<float>(d);
            // Sample only where this frame would be kept: the depth test is cheaper than the sample.
            const bool front = !linear || fd > 0.0f;
            const float depth = linear ? fd : std::fabs(fd);
            if (front ? !(depth < p.front_depth[i]) : !(fd > p.back_depth[i]))
                continue;
            const int v = p.sampler.sample_valid(p.pixels, p.stride, p.fw, p.fh, q.x, q.y);
            if (v < 0)
                continue;
            if (front) {
                p.front_depth[i] = depth;
                p.front_value[i] = static_cast<std::uint8_t>(v);
            } else {
                p.back_depth[i] = fd;
                p.back_value[i] = static_cast<std::uint8_t>(v);
            }
        }
    }
}

}  // namespace

reslice_internals::reslice_internals(int window) : window_(window)
{
    set_settings(settings_);
}

void reslice_internals::set_settings(const reslice_settings& settings)
{
    const bool reshape = frame_buffer_.empty() || clamp_reslice_size(settings.width) != width() ||
                         clamp_reslice_size(settings.height) != height() || settings.linear != settings_.linear;
    settings_ = settings;
    settings_.width = clamp_reslice_size(settings.width);
    settings_.height = clamp_reslice_size(settings.height);
    plane_ = reslice_plane(settings_, pixel_size_);
    up_to_date_ = false;
    if (reshape)
        allocate();
}

void reslice_internals::set_pixel_size(double s)
{
    if (std::isfinite(s) && s > 0.0 && s != pixel_size_) {
        pixel_size_ = s;
        plane_ = reslice_plane(settings_, pixel_size_);
        up_to_date_ = false;
    }
}

void reslice_internals::set_reslice_surface(int surface)
{
    settings_.surface = surface < 0 ? -1 : surface;
    up_to_date_ = false;
}

void reslice_internals::set_slab_sampling(int factor)
{
    slab_sampling_ = std::max(1, factor);
    up_to_date_ = false;
}

void reslice_internals::set_pixel_step(int step)
{
    pixel_step_ = std::clamp(step, 1, max_pixel_step);
    up_to_date_ = false;
}

bool reslice_internals::set_rot_slab(bool on, bool colour_map)
{
    if (!on) {
        rot_slab_on_ = false;
        release(rot_slab_);
        return true;
    }
    const std::size_t n = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    if (rot_slab_on_ && rot_slab_.size() == n && rot_slab_colour_map_ == colour_map)
        return true;
    rot_slab_on_ = true;
    rot_slab_colour_map_ = colour_map;
    up_to_date_ = false;  // the new buffer is empty until the next build
    return allocate_rot_slab();
}

bool reslice_internals::allocate_rot_slab()
{
    const std::size_t n = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    if (!try_assign<rot_slab_texel>(rot_slab_, n, rot_slab_texel{}, "Failed to allocate rotating slab buffer for reslice window.")) {
        rot_slab_on_ = false;
        return false;
    }
    return true;
}

void reslice_internals::fill_rot_slab()
{
    const byte_cmap_t& map = rot_slab_colour_map_ && colourmap ? colourmap->byte_maps() : identity_grey_bytes();
    const long w = width(), h = height();
    const vertex3d base = plane_.reslice_to_world(0.0, 0.0, 0.0);
    const vertex3d dx = plane_.reslice_to_world(1.0, 0.0, 0.0) - base;
    const vertex3d dy = plane_.reslice_to_world(0.0, 1.0, 0.0) - base;
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
            const std::uint8_t v = frame_buffer_[i];
            const vertex3d p = base + static_cast<double>(x) * dx + static_cast<double>(y) * dy;
            rot_slab_[i] = {{map.red8[v], map.green8[v], map.blue8[v], static_cast<std::uint8_t>(v ? 255 : 0)},
                            {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), 1.0f}};
        }
}

bool reslice_internals::allocate()
{
    const std::size_t n = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    bool ok = try_assign<std::uint8_t>(frame_buffer_, n, 0, "Failed to allocate frame buffer for reslice window.");
    ok = ok && try_assign<float>(front_depth_, n, far_front, "Failed to allocate depth buffer for reslice window.");
    if (ok && settings_.linear) {
        ok = try_assign<std::uint8_t>(back_value_, n, 0, "Failed to allocate depth buffer for reslice window.") &&
             try_assign<float>(back_depth_, n, far_back, "Failed to allocate depth buffer for reslice window.");
    } else {
        release(back_value_);
        release(back_depth_);
    }
    // The thick-slab buffers are sized when a thick build needs them.
    release(temp_buffer_);
    release(plane_count_);
    if (!ok) {
        release(frame_buffer_);
        release(front_depth_);
        release(rot_slab_);
    } else if (rot_slab_on_) {
        allocate_rot_slab();
    }
    return ok;
}

bool reslice_internals::build_reslice(const reslice_source& source)
{
    if (!settings_.enabled || building_)
        return false;
    building_ = true;
    clip_overflow_ = false;
    set_pixel_size(source.pixel_size);
    const std::size_t n = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    const bool sized = frame_buffer_.size() == n && front_depth_.size() == n &&
                       (!settings_.linear || (back_value_.size() == n && back_depth_.size() == n));
    if (!sized && !allocate()) {
        building_ = false;
        return false;
    }

    const double t = settings_.slice_half_thickness;
    if (!(std::isfinite(t) && t > 0.0)) {
        reslice_plane_into(source, 0.0, frame_buffer_);
    } else {
        const double step = static_cast<double>(slab_sampling_) * plane_.pixel_size();
        const long k = static_cast<long>(std::min<double>(whole_steps(t / step) + 1.0, max_planes_a_side));
        const bool average = settings_.compounding == reslice_compounding_t::average;
        if (!try_assign<std::uint8_t>(temp_buffer_, n, 0, "Failed to allocate temporary frame buffer for reslice window.") ||
            (average && !try_assign<std::uint16_t>(plane_count_, n, 0, "Failed to allocate temporary frame buffer for reslice window."))) {
            building_ = false;
            return false;
        }
        std::fill(frame_buffer_.begin(), frame_buffer_.end(), std::uint8_t{0});
        for (long i = -k; i <= k; ++i) {
            reslice_plane_into(source, t * static_cast<double>(i) / static_cast<double>(k), temp_buffer_);
            compound_into_frame(source.doppler);
        }
        release(plane_count_);
    }
    if (clip_overflow_)
        wxLogError("Too many points in reslice clipped polygon - must be using a very large number of sweeps");
    if (rot_slab_on_ && (rot_slab_.size() == n || allocate_rot_slab()))
        fill_rot_slab();
    up_to_date_ = true;
    building_ = false;
    return true;
}

void reslice_internals::compound_into_frame(bool doppler)
{
    const std::size_t n = frame_buffer_.size();
    const bool counting = !plane_count_.empty();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t next = temp_buffer_[i];
        if (next == 0)
            continue;
        const unsigned seen = counting ? plane_count_[i] : 0;
        frame_buffer_[i] = doppler ? compound_doppler(settings_.compounding, frame_buffer_[i], next, seen)
                                   : compound_grey(settings_.compounding, frame_buffer_[i], next, seen);
        if (counting)
            plane_count_[i] = static_cast<std::uint16_t>(seen + 1);
    }
}

void reslice_internals::reslice_plane_into(const reslice_source& source, double offset,
                                           std::vector<std::uint8_t>& values)
{
    const long w = width(), h = height();
    const bool linear = settings_.linear;
    std::fill(values.begin(), values.end(), std::uint8_t{0});
    std::fill(front_depth_.begin(), front_depth_.end(), far_front);
    if (linear) {
        std::fill(back_value_.begin(), back_value_.end(), std::uint8_t{0});
        std::fill(back_depth_.begin(), back_depth_.end(), far_back);
    }
    const double bscan_h = std::isfinite(settings_.bscan_half_thickness) ? std::max(0.0, settings_.bscan_half_thickness) : 0.0;
    if (!(source.sx > 0.0) || !(source.sy > 0.0) || !std::isfinite(source.sx) || !std::isfinite(source.sy))
        return;

    // Frames of one sweep may face either way; measuring every frame's depth
    // along the same side keeps "in front" and "behind" meaning one thing.
    vertex3d reference{};
    for (const reslice_frame& f : source.frames)
        if (unit(column(f.image_to_world, 2), &reference))
            break;

    const frame_sampler sampler{source.zero_is_no_data, source.bilinear};
    const long step = pixel_step_;
    const bool partitioned = partitioning_active(source);
    std::vector<std::vector<vertex2d>> cuts;
    if (partitioned)
        cuts = partition_sections(plane_, offset, source);
    std::vector<reslice_span> spans;
    for (const reslice_frame& f : source.frames) {
        const frame_window window = data_window(source, f);
        if (window.empty())
            continue;
        const long fw = window.width, fh = window.height;
        std::vector<vertex2d> polygon =
            slab_section(plane_, offset, window.window_to_world, frame_grid{fw, fh, source.sx, source.sy}, bscan_h);
        if (polygon.empty())
            continue;
        if (partitioned) {
            // A frame paints only its own sweep's part of the plane.
            const auto sweep = static_cast<std::size_t>(f.sweep);
            if (f.sweep < 0 || sweep >= cuts.size() || cuts[sweep].empty())
                continue;
            if (!clip_intersection_to_poly(polygon, cuts[sweep])) {
                clip_overflow_ = true;
                continue;
            }
            if (polygon.empty())
                continue;
        }
        row_spans(polygon, w, h, spans);
        if (spans.empty())
            continue;
        matrix16d to_image = window.window_to_world;
        to_image.invert();
        const double side = dot(column(f.image_to_world, 2), reference) < 0.0 ? -1.0 : 1.0;
        // Reslice pixel (x, y) maps affinely to frame pixel (u, v) and depth d
        // (cm): a base and two steps.
        const auto to_pixels = [&](vertex3d p) { return vertex3d{p.x / source.sx, p.y / source.sy, p.z}; };
        const vertex3d origin = to_image * plane_.reslice_to_world(0.0, 0.0, offset);
        const vertex3d base = to_pixels(origin);
        const vertex3d dx = to_pixels(to_image * plane_.reslice_to_world(1.0, 0.0, offset) - origin);
        const vertex3d dy = to_pixels(to_image * plane_.reslice_to_world(0.0, 1.0, offset) - origin);
        const std::uint8_t* pixels = f.image.pixels();
        if (!pixels || fw < 1 || fh < 1 || !finite(base) || !finite(dx) || !finite(dy))
            continue;
        frame_paint_t paint;
        paint.pixels = pixels + window.y0 * f.image.width() + window.x0;
        paint.stride = f.image.width();
        paint.fw = fw;
        paint.fh = fh;
        paint.base = base;
        paint.dx = dx;
        paint.dy = dy;
        paint.side = side;
        paint.reach = bscan_h + depth_tolerance;
        paint.width = w;
        paint.step = step;
        paint.sampler = sampler;
        paint.front_depth = front_depth_.data();
        paint.back_depth = back_depth_.data();
        paint.front_value = values.data();
        paint.back_value = back_value_.data();
        if (linear)
            paint_frame<true>(paint, spans);
        else
            paint_frame<false>(paint, spans);
    }
    if (linear)
        blend_front_and_back(source.doppler, values);
    if (step > 1)
        repeat_skipped_pixels(values);
    // Each sampled plane is cropped by its own section, so a thick reslice
    // compounds only what lies inside the surface.
    if (settings_.surface >= 0 && source.surface_sections)
        if (const auto sections = source.surface_sections(settings_.surface, plane_, offset))
            crop_outside(values, w, h, *sections);
}

void reslice_internals::repeat_skipped_pixels(std::vector<std::uint8_t>& values) const
{
    const long w = width(), h = height(), step = pixel_step_;
    for (long y = 0; y < h; ++y) {
        const std::uint8_t* built = values.data() + static_cast<std::size_t>(y - y % step) * static_cast<std::size_t>(w);
        std::uint8_t* row = values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (long x = 0; x < w; ++x)
            row[x] = built[x - x % step];
    }
}

void reslice_internals::blend_front_and_back(bool doppler, std::vector<std::uint8_t>& values)
{
    const std::size_t n = values.size();
    for (std::size_t i = 0; i < n; ++i) {
        const bool has_front = front_depth_[i] < far_front;
        const bool has_back = back_depth_[i] > far_back;
        if (has_back && !has_front) {
            values[i] = back_value_[i];
        } else if (has_back && has_front && doppler) {
            // Colour codes do not blend linearly: take the nearer side.
            if (-back_depth_[i] < front_depth_[i])
                values[i] = back_value_[i];
        } else if (has_back && has_front) {
            const double df = front_depth_[i], db = back_depth_[i];
            const double blended = (back_value_[i] * df - values[i] * db) / (df - db);
            // Both values and weights are positive: adding a half rounds as lround does, faster.
            values[i] = static_cast<std::uint8_t>(std::clamp(static_cast<long>(blended + 0.5), 1L, 255L));
        }
    }
}

std::vector<vertex2d> reslice_internals::bscan_intersection(const reslice_source& source, std::size_t frame) const
{
    if (frame >= source.frames.size())
        return {};
    const reslice_frame& f = source.frames[frame];
    return slab_section(plane_, 0.0, f.image_to_world,
                        frame_grid{f.image.width(), f.image.height(), source.sx, source.sy},
                        settings_.bscan_half_thickness);
}

landmark_snap reslice_internals::snap_landmark(const reslice_source& source, vertex2d& point) const
{
    landmark_snap best;
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        return best;
    const vertex3d p = plane_.reslice_to_world(point.x, point.y, 0.0);
    const double bscan_h = std::isfinite(settings_.bscan_half_thickness) ? std::max(0.0, settings_.bscan_half_thickness) : 0.0;
    // Only frames that could have painted the point are candidates, so the
    // landmark lands on data the user sees there.
    const bool partitioned = partitioning_active(source);
    std::vector<std::vector<vertex2d>> cuts;
    if (partitioned)
        cuts = partition_sections(plane_, 0.0, source);
    double nearest = INFINITY;
    for (std::size_t i = 0; i < source.frames.size(); ++i) {
        const reslice_frame& f = source.frames[i];
        if (partitioned) {
            const auto sweep = static_cast<std::size_t>(f.sweep);
            if (f.sweep < 0 || sweep >= cuts.size() || !inside_convex(cuts[sweep], point, 1e-6))
                continue;
        }
        matrix16d to_image = f.image_to_world;
        to_image.invert();
        const vertex3d q = to_image * p;
        const double wcm = f.image.width() * source.sx, hcm = f.image.height() * source.sy;
        if (!(q.x >= 0.0 && q.x <= wcm && q.y >= 0.0 && q.y <= hcm))
            continue;
        const double d = std::fabs(q.z);
        if (!(d <= bscan_h + depth_tolerance) || !(d < nearest))
            continue;
        const vertex3d on_frame = f.image_to_world * vertex3d{q.x, q.y, 0.0};
        if (!finite(on_frame))
            continue;
        nearest = d;
        best = {true, i, f.number, on_frame};
    }
    if (best.snapped) {
        const vertex3d r = plane_.world_to_reslice(best.world);
        point = {r.x, r.y};
    }
    return best;
}

reslice_extent reslice_internals::find_reslice_extent(const reslice_source& source, const reslice_plane& plane,
                                                      long sweep)
{
    reslice_extent e;
    for (const reslice_frame& f : source.frames) {
        if (sweep >= 0 && f.sweep != sweep)
            continue;
        const frame_window window = data_window(source, f);
        if (window.empty())
            continue;
        const double wcm = window.width * source.sx, hcm = window.height * source.sy;
        for (int c = 0; c < 4; ++c) {
            const vertex3d r = plane.world_to_reslice(window.window_to_world *
                                                      vertex3d{(c & 1) ? wcm : 0.0, (c & 2) ? hcm : 0.0, 0.0});
            if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.z))
                continue;
            if (!e.found) {
                e = {true, r.x, r.y, r.x, r.y, r.z, r.z};
            } else {
                e.x0 = std::min(e.x0, r.x);
                e.y0 = std::min(e.y0, r.y);
                e.x1 = std::max(e.x1, r.x);
                e.y1 = std::max(e.y1, r.y);
                e.z0 = std::min(e.z0, r.z);
                e.z1 = std::max(e.z1, r.z);
            }
        }
    }
    return e;
}

bool reslice_internals::set_reslice_for_min_voxels(const reslice_source& source)
{
    vertex3d reference{}, normal_sum{}, up_sum{}, centre_sum{};
    long used = 0;
    for (const reslice_frame& f : source.frames) {
        vertex3d n;
        if (!unit(column(f.image_to_world, 2), &n))
            continue;
        if (used == 0)
            reference = n;
        // Opposite-facing frames would cancel each other's normals otherwise.
        normal_sum = normal_sum + (dot(n, reference) < 0.0 ? -1.0 : 1.0) * n;
        up_sum = up_sum + column(f.image_to_world, 1);
        centre_sum = centre_sum + f.image_to_world * vertex3d{0.5 * f.image.width() * source.sx, 0.5 * f.image.height() * source.sy, 0.0};
        ++used;
    }
    vertex3d normal, up;
    if (used == 0 || !unit(normal_sum, &normal))
        return false;
    if (!unit(up_sum - dot(up_sum, normal) * normal, &up))
        up = any_perpendicular(normal);

    reslice_settings trial = settings_;
    trial.normal = normal;
    trial.centre = (1.0 / static_cast<double>(used)) * centre_sum;
    trial.up = trial.centre + up;
    trial.width = trial.height = 1;
    const double s = std::isfinite(source.pixel_size) && source.pixel_size > 0.0 ? source.pixel_size : pixel_size_;
    const reslice_plane probe(trial, s);
    const reslice_extent e = find_reslice_extent(source, probe);
    if (!e.found)
        return false;
    trial.centre = probe.reslice_to_world(0.5 * (e.x0 + e.x1), 0.5 * (e.y0 + e.y1), 0.0);
    trial.up = trial.centre + up;
    // Sizes in floating point first: a frame far away must not overflow the cast.
    trial.width = static_cast<std::int64_t>(std::clamp(whole_steps(e.x1 - e.x0) + 2.0, 1.0, double(reslice_max_size)));
    trial.height = static_cast<std::int64_t>(std::clamp(whole_steps(e.y1 - e.y0) + 2.0, 1.0, double(reslice_max_size)));
    pixel_size_ = s;
    set_settings(trial);
    build_reslice(source);
    return true;
}
