// Builds the image of one reslice window straight from the placed frames,
// without a voxel volume: each frame is a thin slab, each reslice pixel takes
// the nearest slab's value (or blends the nearest in front and behind), and a
// thick reslice compounds several parallel planes.
#pragma once

#include <cstdint>
#include <vector>

#include "reslice_frames.h"
#include "reslice_geometry.h"

// Where the frames lie in a plane, in its reslice pixels.
struct reslice_extent {
    bool found = false;
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
    double z0 = 0.0, z1 = 0.0;  // cm along the normal, from the plane
};

class reslice_internals {
public:
    explicit reslice_internals(int window = 0);

    int window() const { return window_; }

    // Stores the settings (sizes clamped), reallocates the buffers when the
    // size or the linear flag changed, and marks the image out of date.
    void set_settings(const reslice_settings& settings);
    const reslice_settings& settings() const { return settings_; }
    void set_pixel_size(double s);  // cm per reslice pixel
    void set_slab_sampling(int factor);

    // Fills the image from the frames; false when disabled, already running,
    // or the buffers could not be had.
    bool build_reslice(const reslice_source& source);

    const reslice_plane& plane() const { return plane_; }
    vertex3d reslice_to_world(double x, double y, double z) const { return plane_.reslice_to_world(x, y, z); }
    vertex3d world_to_reslice(const vertex3d& in) const { return plane_.world_to_reslice(in); }

    long width() const { return plane_.width(); }
    long height() const { return plane_.height(); }
    // Row-major, 0 means no data.
    const std::vector<std::uint8_t>& image() const { return frame_buffer_; }
    std::uint8_t pixel(long x, long y) const { return frame_buffer_[static_cast<std::size_t>(y * width() + x)]; }
    bool up_to_date() const { return up_to_date_; }
    // The rotating-slab 3D buffer is not drawn here, so it is never held.
    bool holds_rotating_slab_buffer() const { return false; }

    // The outline of one frame's slab in the plane, in reslice pixels; empty
    // when it misses the plane or there is no such frame.
    std::vector<vertex2d> bscan_intersection(const reslice_source& source, std::size_t frame) const;

    // The frames' outline extent in `plane` (and across it), corners only.
    static reslice_extent find_reslice_extent(const reslice_source& source, const reslice_plane& plane);
    // Orients the plane along the mean frame and sizes it to hold every frame,
    // then builds. False (settings untouched) when no frame is usable.
    bool set_reslice_for_min_voxels(const reslice_source& source);

private:
    bool allocate();
    void reslice_plane_into(const reslice_source& source, double offset, std::vector<std::uint8_t>& values);
    void compound_into_frame(bool doppler);

    int window_ = 0;
    reslice_settings settings_;
    reslice_plane plane_;
    double pixel_size_ = 0.01;
    int slab_sampling_ = 1;
    bool up_to_date_ = false;
    bool building_ = false;

    std::vector<std::uint8_t> frame_buffer_;
    std::vector<std::uint8_t> temp_buffer_;   // one plane of a thick reslice
    std::vector<float> front_depth_;
    std::vector<std::uint8_t> back_value_;    // linear mode only
    std::vector<float> back_depth_;           // linear mode only
    std::vector<std::uint16_t> plane_count_;  // planes with data per pixel, average compounding
};
