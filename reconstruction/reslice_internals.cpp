#include "reslice_internals.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <wx/log.h>

#include "frame_sampling.h"
#include "reslice_compound.h"
#include "slab_section.h"

namespace {

// Empty-depth markers; a slab farther than 100 m from a pixel never counts.
constexpr float far_front = 10000.0f;
constexpr float far_back = -10000.0f;
constexpr double depth_tolerance = 1e-6;  // cm beyond the slab still accepted, for rounding
// A slab thicker than this many planes a side would stall the program for no gain.
constexpr long max_planes_a_side = 128;

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

vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
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

void reslice_internals::set_slab_sampling(int factor)
{
    slab_sampling_ = std::max(1, factor);
    up_to_date_ = false;
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
    }
    return ok;
}

bool reslice_internals::build_reslice(const reslice_source& source)
{
    if (!settings_.enabled || building_)
        return false;
    building_ = true;
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
        const long k = static_cast<long>(std::min<double>(std::floor(t / step) + 1.0, max_planes_a_side));
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
    for (const reslice_frame& f : source.frames) {
        const long fw = f.image.width(), fh = f.image.height();
        const std::vector<vertex2d> polygon =
            slab_section(plane_, offset, f.image_to_world, fw * source.sx, fh * source.sy, bscan_h);
        if (polygon.empty())
            continue;
        const std::vector<reslice_span> spans = row_spans(polygon, w, h);
        if (spans.empty())
            continue;
        matrix16d to_image = f.image_to_world;
        to_image.invert();
        const double side = dot(column(f.image_to_world, 2), reference) < 0.0 ? -1.0 : 1.0;
        // Reslice pixel (x, y) maps to frame (u, v, d) affinely: a base and two steps.
        const vertex3d base = to_image * plane_.reslice_to_world(0.0, 0.0, offset);
        const vertex3d dx = to_image * plane_.reslice_to_world(1.0, 0.0, offset) - base;
        const vertex3d dy = to_image * plane_.reslice_to_world(0.0, 1.0, offset) - base;
        for (const reslice_span& span : spans) {
            const vertex3d row = base + static_cast<double>(span.row) * dy;
            for (long x = span.first; x <= span.last; ++x) {
                const vertex3d q = row + static_cast<double>(x) * dx;
                const double d = side * q.z;
                if (!(std::fabs(d) <= bscan_h + depth_tolerance))
                    continue;
                const std::size_t i = static_cast<std::size_t>(span.row) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
                const auto fd = static_cast<float>(d);
                // Sample only where this frame would be kept: the depth test is cheaper than the sample.
                const bool front = !linear || fd > 0.0f;
                const float depth = linear ? fd : std::fabs(fd);
                if (front ? !(depth < front_depth_[i]) : !(fd > back_depth_[i]))
                    continue;
                const int v = sampler.sample(f.image, q.x / source.sx, q.y / source.sy);
                if (v < 0)
                    continue;
                if (front) {
                    front_depth_[i] = depth;
                    values[i] = static_cast<std::uint8_t>(v);
                } else {
                    back_depth_[i] = fd;
                    back_value_[i] = static_cast<std::uint8_t>(v);
                }
            }
        }
    }
    if (!linear)
        return;
    const std::size_t n = values.size();
    for (std::size_t i = 0; i < n; ++i) {
        const bool has_front = front_depth_[i] < far_front;
        const bool has_back = back_depth_[i] > far_back;
        if (has_back && !has_front) {
            values[i] = back_value_[i];
        } else if (has_back && has_front && source.doppler) {
            // Colour codes do not blend linearly: take the nearer side.
            if (-back_depth_[i] < front_depth_[i])
                values[i] = back_value_[i];
        } else if (has_back && has_front) {
            const double df = front_depth_[i], db = back_depth_[i];
            const double blended = (back_value_[i] * df - values[i] * db) / (df - db);
            values[i] = static_cast<std::uint8_t>(std::clamp(std::lround(blended), 1L, 255L));
        }
    }
}

std::vector<vertex2d> reslice_internals::bscan_intersection(const reslice_source& source, std::size_t frame) const
{
    if (frame >= source.frames.size())
        return {};
    const reslice_frame& f = source.frames[frame];
    return slab_section(plane_, 0.0, f.image_to_world, f.image.width() * source.sx, f.image.height() * source.sy,
                        settings_.bscan_half_thickness);
}

reslice_extent reslice_internals::find_reslice_extent(const reslice_source& source, const reslice_plane& plane)
{
    reslice_extent e;
    for (const reslice_frame& f : source.frames) {
        const double wcm = f.image.width() * source.sx, hcm = f.image.height() * source.sy;
        for (int c = 0; c < 4; ++c) {
            const vertex3d r = plane.world_to_reslice(f.image_to_world * vertex3d{(c & 1) ? wcm : 0.0, (c & 2) ? hcm : 0.0, 0.0});
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
    trial.width = static_cast<std::int64_t>(std::clamp(std::trunc(e.x1 - e.x0 + 2.0), 1.0, double(reslice_max_size)));
    trial.height = static_cast<std::int64_t>(std::clamp(std::trunc(e.y1 - e.y0 + 2.0), 1.0, double(reslice_max_size)));
    pixel_size_ = s;
    set_settings(trial);
    build_reslice(source);
    return true;
}
